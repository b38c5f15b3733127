#!/usr/bin/env bash
# Builds the release and Windows trees and runs the transport benchmark under
# Wine against the reference server, printing its figures: 10 MB into a file
# against a plain Winsock loop, processor time while waiting on a silent
# server, and the delay of messages posted during a transfer.
#   bench/run-net-bench.sh [WAIT_SECONDS]   (default 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/xvfb.sh
need_display 100 149
. bench/server-bench-lib.sh
bench_build net_bench

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

bench_start_server "$content" "$work" --faults "$work/faults.txt"

timeout 600 scripts/wine-run.sh build/win/bench/net_bench.exe "$port" "$(winpath "$work/faults.txt")" \
  "$(winpath "$work")" "${1:-30}"
