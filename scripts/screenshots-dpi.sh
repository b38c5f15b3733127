#!/usr/bin/env bash
# The pictures of the README's "At any scaling": the main window, the
# Configure, donate and data-directory dialogs and the transfer pop-up at
# 96, 144 and 192 DPI (100, 150 and 200 %), each DPI in a Wine prefix of its
# own, saved as docs/dpi/<picture>-<dpi>.png.
#   Usage: scripts/screenshots-dpi.sh [DPI...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/docs/dpi"
mkdir -p "$out"
for dpi in "${@:-96 144 192}"; do
  for d in $dpi; do
    VELMOR_LOGPIXELS=$d "$root/scripts/screenshot.sh" "$out/main-$d.png" "$out/configure-$d.png" \
      "$out/donate-$d.png" "$root/build/screenshot/list-$d.png" "$out/datadir-$d.png" "$out/popup-$d.png"
  done
done
