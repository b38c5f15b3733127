#!/usr/bin/env bash
# Builds every tree and runs every test: the portable code natively under
# AddressSanitizer and UBSan (with bounded fuzzing runs), the server, and the
# Windows client and its tests under Wine. Safe to run again and again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

# The folders' layering first: it needs no build.
python3 scripts/check-layers.py

jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
for preset in native release win; do
  echo "== build: $preset"
  # The Windows tests talk to the native server of the release tree.
  server_option=()
  [ "$preset" = win ] && server_option=(-DVELMOR_REFERENCE_SERVER="$root/build/release/server/velmor-server")
  cmake --preset "$preset" "${server_option[@]}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# One X display for the whole Windows run when there is none.
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  WINEPREFIX="$root/build/win/wineprefix" wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  . scripts/xvfb.sh
  start_xvfb 150 199 || { echo "test: no free X display" >&2; exit 1; }
fi

status=0
echo "== tests: native (ASan/UBSan, fuzzers)"
ctest --preset native || status=1
echo "== tests: Windows client under Wine"
ctest --preset win || status=1
exit $status
