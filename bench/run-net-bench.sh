#!/usr/bin/env bash
# Builds the release and Windows trees and runs the transport benchmark under
# Wine against the reference server, printing its figures: 10 MB into a file
# against a plain Winsock loop, processor time while waiting on a silent
# server, and the delay of messages posted during a transfer.
#   bench/run-net-bench.sh [WAIT_SECONDS]   (default 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
for preset in release win; do
  cmake --preset "$preset" >/dev/null
done
cmake --build build/release -j2 --target velmor-server
cmake --build build/win -j2 --target net_bench

work="$root/build/win/bench/net-bench-work"
content="$work/content"
rm -rf "$work"
mkdir -p "$content/categories" "$content/pictures/0" "$content/quotes"
printf 'Big\n' > "$content/categories/picture.txt"
printf 'Quotes\n' > "$content/categories/quote.txt"
: > "$content/categories/sound.txt"
printf 'A quote.\n' > "$content/quotes/0.txt"
head -c 10000000 /dev/urandom > "$content/pictures/0/big.bin"
: > "$work/faults.txt"

server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }
trap cleanup EXIT
build/release/server/velmor-server --port 0 --content "$content" --faults "$work/faults.txt" \
  --ready-file "$work/port" --log none &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

winpath() { echo "Z:$1" | tr / '\\'; }
timeout 600 scripts/wine-run.sh build/win/bench/net_bench.exe "$port" "$(winpath "$work/faults.txt")" \
  "$(winpath "$work")" "${1:-30}"
