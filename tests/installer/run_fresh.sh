#!/usr/bin/env bash
# run_fresh.sh PREFIX PROGRAM.exe [ARGS...]: runs a Windows test program in a
# Wine prefix made fresh for it, then stops that prefix's wineserver and
# removes the prefix (and the Xvfb display the Wine runner may have started
# for it).
set -uo pipefail
prefix=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
stop() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  if [ -f "$prefix.display" ]; then
    read -r _ pid < "$prefix.display" || true
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
  fi
  rm -rf "$prefix" "$prefix.display" "$prefix.lock"
}
stop
VELMOR_WINEPREFIX="$prefix" "$here/../../scripts/wine-run.sh" "$@"
status=$?
stop
exit $status
