#!/usr/bin/env bash
# Builds the release and Windows trees and runs the donation benchmark under
# Wine against the reference server, printing its figures: 41 files of 1 MB
# through the transfer instance against a plain Winsock sender, and the
# transfer instance's processor time while the server stalls.
#   bench/run-donate-bench.sh [STALL_SECONDS]   (default 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
for preset in release win; do
  cmake --preset "$preset" >/dev/null
done
cmake --build build/release -j2 --target velmor-server
cmake --build build/win -j2 --target donate_bench Velmorw

work="$root/build/win/bench/donate-bench-work"
content="$work/content"
rm -rf "$work"
mkdir -p "$content/categories" "$content/quotes"
printf 'Bench\nPlain\n' > "$content/categories/sound.txt"
printf 'Quotes\n' > "$content/categories/quote.txt"
: > "$content/categories/picture.txt"
printf 'A quote.\n' > "$content/quotes/0.txt"
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
timeout 900 scripts/wine-run.sh build/win/bench/donate_bench.exe "$port" "$(winpath "$work/faults.txt")" \
  "$(winpath "$work")" "$(winpath "$root/build/win/app/Velmorw.exe")" "${1:-30}"
