#!/usr/bin/env bash
# Builds every tree and runs every test: the portable code natively under
# AddressSanitizer and UBSan (with bounded fuzzing runs), the server, and the
# Windows client and its tests under Wine. Safe to run again and again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

# Under CI the whole run happens in a copy of the checkout whose path is 150
# characters long and holds spaces, as a new user's may: test data, install
# stages and the paths built into the programs must not depend on where the
# checkout lives. The copy replaces the run in place, so CI does the work
# only once.
if [ "${CI:-}" = true ] && [ -z "${VELMOR_LONG_PATH_RUN:-}" ]; then
  top=$(mktemp -d "${TMPDIR:-/tmp}/velmor long path.XXXXXX")
  copy=$top
  while [ ${#copy} -lt 128 ]; do copy="$copy/checkout with spaces"; done
  copy="$copy/$(printf '%*s' $((150 - ${#copy} - 1)) '' | tr ' ' v)"
  mkdir -p "$copy"
  git ls-files -z --cached --others --exclude-standard |
    tar -c --null --ignore-failed-read -T - 2>/dev/null | tar -x -C "$copy"
  ln -s "$root/.cache" "$copy/.cache"   # the libjpeg-turbo source, only read
  echo "== tests: from a copy at $copy (${#copy} characters)"
  status=0
  VELMOR_LONG_PATH_RUN=1 "$copy/scripts/test.sh" || status=$?
  rm -rf "$top"
  exit $status
fi

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
. scripts/xvfb.sh
cleanup() {
  WINEPREFIX="$root/build/win/wineprefix" wineserver -k 2>/dev/null || true
  stop_xvfb
}
trap cleanup EXIT
need_display 150 199 || { echo "test: no X display" >&2; exit 1; }

status=0
echo "== tests: native (ASan/UBSan, fuzzers)"
ctest --preset native || status=1
echo "== tests: Windows client under Wine"
ctest --preset win || status=1
exit $status
