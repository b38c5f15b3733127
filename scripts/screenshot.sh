#!/usr/bin/env bash
# Starts Velmorw.exe under Wine inside a private Xvfb display and saves a
# PNG of its main window.  Usage: scripts/screenshot.sh [OUTPUT.png]
# (default docs/main-window.png). Builds the Windows tree when needed; uses
# a Wine prefix of its own under build/screenshot/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/main-window.png}")
cd "$root"

cmake --preset win >/dev/null
cmake --build build/win -j2 --target Velmorw >/dev/null

work="$root/build/screenshot"
data="$work/data"
mkdir -p "$data"
winpath() { echo "Z:$1" | tr '/' '\\'; }
printf 'Directory  =  %s\r\nTrailer  =  Server news: 12 new pictures today\r\n' "$(winpath "$data")" > "$data/velmor.cfg"

xvfb_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  WINEPREFIX="$work/wineprefix" wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

. "$root/scripts/xvfb.sh"
start_xvfb 200 250 || { echo "screenshot: no free display" >&2; exit 1; }

export VELMOR_WINEPREFIX="$work/wineprefix"
( cd "$data" && exec timeout 300 "$root/scripts/wine-run.sh" "$root/build/win/app/Velmorw.exe" /Q ) &
app_pid=$!

geometry=""
for _ in $(seq 1 600); do
  line=$(xwininfo -root -tree 2>/dev/null | grep '"VelmorW"' | head -n 1 || true)
  if [ -n "$line" ]; then geometry=$(echo "$line" | grep -oE '[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+' | head -n 1); fi
  [ -n "$geometry" ] && break
  sleep 0.2
done
[ -n "$geometry" ] || { echo "screenshot: the main window did not appear" >&2; exit 1; }
sleep 2  # let it paint
mkdir -p "$(dirname "$out")"
import -display "$DISPLAY" -window root "$work/root.png"
convert "$work/root.png" -crop "$geometry" +repage "$out"
echo "screenshot: $out ($geometry)"
