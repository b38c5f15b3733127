#!/usr/bin/env bash
# Builds every tree and runs every test: the portable code natively under
# AddressSanitizer and UBSan (with bounded fuzzing runs), the server, and the
# Windows client and its tests under Wine. Safe to run again and again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

jobs=$(nproc)
for preset in native release win; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
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
  for n in $(seq 150 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    break
  done
fi

status=0
echo "== tests: native (ASan/UBSan, fuzzers)"
ctest --preset native || status=1
echo "== tests: Windows client under Wine"
ctest --preset win || status=1
exit $status
