#!/usr/bin/env bash
# Starts Velmorw.exe under Wine inside a private Xvfb display, talking to
# the reference server over its sample content, and saves four PNGs: its
# main window; the Configure dialog with the quote item selected and the
# server's quote categories listed; the donate dialog with the Picture type
# clicked and the server's picture categories listed; and, after its OK, the
# list of files to donate (a few picture files put on the list beforehand);
# when named, also the data-directory dialog (opened from Configure) and the
# transfer pop-up (a quote asked of the server while it stays silent).
#   Usage: scripts/screenshot.sh [MAIN.png [CONFIGURE.png [DONATE.png [LIST.png [DATADIR.png [POPUP.png]]]]]]
# (default docs/main-window.png, docs/configure-dialog.png,
# docs/donate-dialog.png and docs/donate-list.png). Builds the trees when
# needed; uses a Wine prefix of its own under build/screenshot/, one per
# screen DPI: VELMOR_LOGPIXELS=144 takes the pictures at 144 DPI (150 %).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/main-window.png}")
out_config=$(realpath -m "${2:-$root/docs/configure-dialog.png}")
out_donate=$(realpath -m "${3:-$root/docs/donate-dialog.png}")
out_list=$(realpath -m "${4:-$root/docs/donate-list.png}")
out_datadir=${5:+$(realpath -m "$5")}
out_popup=${6:+$(realpath -m "$6")}
dpi=${VELMOR_LOGPIXELS:-96}
cd "$root"

cmake --preset win >/dev/null
cmake --build build/win -j2 --target Velmorw configure_poke donate_poke >/dev/null
cmake --preset release >/dev/null
cmake --build build/release -j2 --target velmor-server >/dev/null

work="$root/build/screenshot"
data="$work/data"
mkdir -p "$data"
winpath() { echo "Z:$1" | tr '/' '\\'; }
content="$work/content"
[ -d "$content" ] || build/release/server/velmor-server --make-sample "$content" >/dev/null

. "$root/scripts/xvfb.sh"
app_pid="" server_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  WINEPREFIX="$work/wineprefix-$dpi" wineserver -k 2>/dev/null || true
  stop_xvfb
}
trap cleanup EXIT

rm -f "$work/port"
faults="$work/faults"
: > "$faults"
build/release/server/velmor-server --port 0 --content "$content" --ready-file "$work/port" --log none \
  --faults "$faults" &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "screenshot: the server did not start" >&2; exit 1; }
printf 'Directory  =  %s\r\nTrailer  =  Server news: 12 new pictures today\r\nVServerID  =  127.0.0.1\r\nPort  =  %s\r\nIntervalQuote  =  65\r\nSELECTQuote  =  0 2\r\n' \
  "$(winpath "$data")" "$(cat "$work/port")" > "$data/velmor.cfg"
# Picture files chosen earlier, as the file-list dialog keeps them.
printf 'DONATE-2-1  =  C:\\My Pictures\\harbour at dusk.jpg\r\nDONATE-2-2  =  C:\\My Pictures\\old mill.bmp\r\nDONATE-2-3  =  C:\\My Pictures\\winter garden.gif\r\n' \
  >> "$data/velmor.cfg"

start_xvfb ${VELMOR_XVFB_RANGE:-200 250} || { echo "screenshot: no free display" >&2; exit 1; }

export VELMOR_WINEPREFIX="$work/wineprefix-$dpi" VELMOR_LOGPIXELS="$dpi"
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

# Waits for the largest window titled $1 and saves its part of the screen
# to $2; $3 names it in the messages.
shoot() {
  local geometry=""
  for _ in $(seq 1 100); do
    geometry=$(largest_window "$1")
    [ -n "$geometry" ] && break
    sleep 0.2
  done
  [ -n "$geometry" ] || { echo "screenshot: the $3 did not appear" >&2; exit 1; }
  sleep 2  # let it paint
  mkdir -p "$(dirname "$2")"
  import -display "$DISPLAY" -window root "$work/root.png"
  convert "$work/root.png" -crop "$geometry" +repage "$2"
  echo "screenshot: $2 ($geometry)"
}

# The Configure dialog: opened and given its first item by a small helper,
# as the menu command and a click would.
poke() { timeout 120 "$root/scripts/wine-run.sh" "$root/build/win/tests/ui/$1.exe" "${@:2}" >/dev/null; }
poke configure_poke
shoot "Configure Velmor" "$out_config" "Configure dialog"

if [ -n "$out_datadir" ]; then
  poke configure_poke setdir
  shoot "Set Velmor Data Directory" "$out_datadir" "data-directory dialog"
  poke configure_poke closedir
fi

# The donate dialog: the helper closes the Configure dialog, opens this one
# from the menu and clicks its Picture type.
poke donate_poke
shoot "Donate a file to a Velmor server" "$out_donate" "donate dialog"
# Its OK, with the first picture category selected, opens the file list.
poke donate_poke list
shoot "List of files to donate" "$out_list" "file-list dialog"

if [ -n "$out_popup" ]; then
  # The list is closed first: the main window takes commands again.
  poke configure_poke closelist
  # The server reads the request and stays silent: the pop-up stays up.
  echo '* no-answer' > "$faults"
  popup=$(timeout 120 "$root/scripts/wine-run.sh" "$root/build/win/tests/ui/configure_poke.exe" quote | tr -d '\r')
  sleep 2  # let it paint
  import -display "$DISPLAY" -window root "$work/root.png"
  convert "$work/root.png" -crop "$popup" +repage "$out_popup"
  echo "screenshot: $out_popup ($popup)"
  : > "$faults"
  poke configure_poke cancel || true
fi
