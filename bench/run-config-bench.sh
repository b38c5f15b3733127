#!/usr/bin/env bash
# Builds the release and Windows trees and runs the Configure dialog
# benchmark under Wine against the reference server serving 1,000 quote
# categories: opening the dialog with 199 items, selecting an item whose
# categories are cached, filling the list with 1,000 names.
#   bench/run-config-bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/xvfb.sh
need_display 100 149
. bench/server-bench-lib.sh
bench_build config_bench

work="$root/build/win/bench/config-bench-work"
content="$work/content"
rm -rf "$work"
mkdir -p "$content/categories" "$content/quotes"
for i in $(seq 0 999); do echo "Quote category number $i"; done > "$content/categories/quote.txt"
: > "$content/categories/picture.txt"
: > "$content/categories/sound.txt"

bench_start_server "$content" "$work"

timeout 600 scripts/wine-run.sh build/win/bench/config_bench.exe "$port" "$(winpath "$work")"
