#!/usr/bin/env bash
# Builds the Windows tree's tick benchmark and runs it under Wine: a tick
# with nothing due over all 199 rows against one over the 3 fixed rows.
#   bench/run-tick-bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/xvfb.sh
need_display 100 149
cmake --preset win >/dev/null
cmake --build build/win -j2 --target tick_bench
work="$root/build/win/bench/tick-bench-work"
rm -rf "$work"
mkdir -p "$work"
timeout 600 scripts/wine-run.sh build/win/bench/tick_bench.exe "Z:$(echo "$work" | tr / '\\')\\"
