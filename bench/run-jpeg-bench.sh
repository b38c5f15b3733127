#!/usr/bin/env bash
# Builds the release and Windows trees and runs the picture-conversion
# benchmark natively and under Wine: ConvertJpegToBmp against the djpeg
# program of the same libjpeg-turbo build on a 1920x1080 and a 4000x3000
# photo-like JPEG, and the Wine figures against native djpeg too.
#   bench/run-jpeg-bench.sh [REPEATS]   (default 9)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/xvfb.sh
need_display 100 149
for preset in release win; do
  cmake --preset "$preset" >/dev/null
done
cmake --build build/release -j2 --target jpeg_bench
cmake --build build/win -j2 --target jpeg_bench

work="$root/build/win/bench/jpeg-bench-work"
rm -rf "$work"
mkdir -p "$work"
# The timed djpeg -version runs print their banner on stderr: keep it quiet.
build/release/bench/jpeg_bench "$work" "${1:-9}" 2>/dev/null
timeout 900 scripts/wine-run.sh build/win/bench/jpeg_bench.exe "Z:$(echo "$work" | tr / '\\')" "${1:-9}" 2>/dev/null
