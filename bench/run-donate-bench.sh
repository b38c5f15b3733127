#!/usr/bin/env bash
# Builds the release and Windows trees and runs the donation benchmark under
# Wine against the reference server, printing its figures: 41 files of 1 MB
# through the transfer instance against a plain Winsock sender, and the
# transfer instance's processor time while the server stalls.
#   bench/run-donate-bench.sh [STALL_SECONDS]   (default 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/xvfb.sh
need_display 100 149
. bench/server-bench-lib.sh
bench_build donate_bench Velmorw

work="$root/build/win/bench/donate-bench-work"
content="$work/content"
rm -rf "$work"
mkdir -p "$content/categories" "$content/quotes"
printf 'Bench\nPlain\n' > "$content/categories/sound.txt"
printf 'Quotes\n' > "$content/categories/quote.txt"
: > "$content/categories/picture.txt"
printf 'A quote.\n' > "$content/quotes/0.txt"
: > "$work/faults.txt"

bench_start_server "$content" "$work" --faults "$work/faults.txt"

timeout 900 scripts/wine-run.sh build/win/bench/donate_bench.exe "$port" "$(winpath "$work/faults.txt")" \
  "$(winpath "$work")" "$(winpath "$root/build/win/app/Velmorw.exe")" "${1:-30}"
