#!/usr/bin/env bash
# Starts Velmorw.exe under Wine inside a private Xvfb display, talking to
# the reference server over its sample content, and saves two PNGs: its main
# window, and the Configure dialog with the quote item selected and the
# server's quote categories listed.
#   Usage: scripts/screenshot.sh [MAIN.png [CONFIGURE.png]]
# (default docs/main-window.png and docs/configure-dialog.png). Builds the
# trees when needed; uses a Wine prefix of its own under build/screenshot/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/main-window.png}")
out_config=$(realpath -m "${2:-$root/docs/configure-dialog.png}")
cd "$root"

cmake --preset win >/dev/null
cmake --build build/win -j2 --target Velmorw configure_poke >/dev/null
cmake --preset release >/dev/null
cmake --build build/release -j2 --target velmor-server >/dev/null

work="$root/build/screenshot"
data="$work/data"
mkdir -p "$data"
winpath() { echo "Z:$1" | tr '/' '\\'; }
content="$work/content"
[ -d "$content" ] || build/release/server/velmor-server --make-sample "$content" >/dev/null

xvfb_pid="" app_pid="" server_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  WINEPREFIX="$work/wineprefix" wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

rm -f "$work/port"
build/release/server/velmor-server --port 0 --content "$content" --ready-file "$work/port" --log none &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "screenshot: the server did not start" >&2; exit 1; }
printf 'Directory  =  %s\r\nTrailer  =  Server news: 12 new pictures today\r\nVServerID  =  127.0.0.1\r\nPort  =  %s\r\nIntervalQuote  =  65\r\nSELECTQuote  =  0 2\r\n' \
  "$(winpath "$data")" "$(cat "$work/port")" > "$data/velmor.cfg"

. "$root/scripts/xvfb.sh"
start_xvfb 200 250 || { echo "screenshot: no free display" >&2; exit 1; }

export VELMOR_WINEPREFIX="$work/wineprefix"
( cd "$data" && exec timeout 300 "$root/scripts/wine-run.sh" "$root/build/win/app/Velmorw.exe" /Q ) &
app_pid=$!

# The largest window titled VelmorW (Wine also makes small helper windows
# under the same title).
largest_window() {
  xwininfo -root -tree 2>/dev/null | grep "\"$1\"" | grep -oE '[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+' |
    awk -Fx '{ split($2, r, "+"); a = $1 * r[1]; if (a > best && $1 > 50 && r[1] > 50) { best = a; g = $0 } } END { print g }' ||
    true
}
geometry=""
for _ in $(seq 1 600); do
  geometry=$(largest_window VelmorW)
  [ -n "$geometry" ] && break
  sleep 0.2
done
[ -n "$geometry" ] || { echo "screenshot: the main window did not appear" >&2; exit 1; }
sleep 2  # let it paint
mkdir -p "$(dirname "$out")"
import -display "$DISPLAY" -window root "$work/root.png"
convert "$work/root.png" -crop "$geometry" +repage "$out"
echo "screenshot: $out ($geometry)"

# The Configure dialog: opened and given its first item by a small helper,
# as the menu command and a click would.
timeout 120 "$root/scripts/wine-run.sh" "$root/build/win/tests/ui/configure_poke.exe" >/dev/null
geometry=""
for _ in $(seq 1 100); do
  geometry=$(largest_window "Configure Velmor")
  [ -n "$geometry" ] && break
  sleep 0.2
done
[ -n "$geometry" ] || { echo "screenshot: the Configure dialog did not appear" >&2; exit 1; }
sleep 2  # let it paint
mkdir -p "$(dirname "$out_config")"
import -display "$DISPLAY" -window root "$work/root.png"
convert "$work/root.png" -crop "$geometry" +repage "$out_config"
echo "screenshot: $out_config ($geometry)"
