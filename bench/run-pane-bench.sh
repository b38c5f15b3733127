#!/usr/bin/env bash
# Builds the Windows tree's text-pane benchmark and runs it under Wine: very
# long lines into the real main window's pane, filled piece by piece, against
# one WM_SETTEXT of the same display form into a bare edit control.
#   bench/run-pane-bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/xvfb.sh
need_display 100 149
cmake --preset win >/dev/null
cmake --build build/win -j2 --target pane_bench
timeout 600 scripts/wine-run.sh build/win/bench/pane_bench.exe
