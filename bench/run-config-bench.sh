#!/usr/bin/env bash
# Builds the release and Windows trees and runs the Configure dialog
# benchmark under Wine against the reference server serving 1,000 quote
# categories: opening the dialog with 199 items, selecting an item whose
# categories are cached, filling the list with 1,000 names.
#   bench/run-config-bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
for preset in release win; do
  cmake --preset "$preset" >/dev/null
done
cmake --build build/release -j2 --target velmor-server
cmake --build build/win -j2 --target config_bench

work="$root/build/win/bench/config-bench-work"
content="$work/content"
rm -rf "$work"
mkdir -p "$content/categories" "$content/quotes"
for i in $(seq 0 999); do echo "Quote category number $i"; done > "$content/categories/quote.txt"
: > "$content/categories/picture.txt"
: > "$content/categories/sound.txt"

server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }
trap cleanup EXIT
build/release/server/velmor-server --port 0 --content "$content" --ready-file "$work/port" --log none &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

winpath() { echo "Z:$1" | tr / '\\'; }
timeout 600 scripts/wine-run.sh build/win/bench/config_bench.exe "$port" "$(winpath "$work")"
