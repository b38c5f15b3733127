#!/usr/bin/env bash
# Builds and runs the shell benchmark under Wine: start-up with "/Q" until
# the tray icon exists, shutdown after a close, and the idle working set of
# Velmorw.exe, each against a bare window-and-tray program measured in the
# same run.  Usage: bench/run-shell-bench.sh [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/xvfb.sh
need_display 100 149
cmake --preset win >/dev/null
cmake --build build/win -j2 --target shell_bench >/dev/null
exec timeout 600 scripts/wine-run.sh build/win/bench/shell_bench.exe "${1:-10}"
