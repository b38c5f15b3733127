#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh PROGRAM.exe [ARGS...]
#
# - The Wine prefix lives in the build tree that holds the program (the
#   nearest directory upwards with a CMakeCache.txt), or in $VELMOR_WINEPREFIX.
# - Without a DISPLAY an Xvfb display is started once and reused
#   (its number is kept beside the prefix).
# - Wine is quiet (WINEDEBUG=-all), asks for no mono or gecko, and the
#   wineserver stays up between programs of a test run.
# - VELMOR_LOGPIXELS=N gives the prefix that screen DPI ("LogPixels"; the
#   prefix should be one of its own, since every program in it sees it).
# - VELMOR_WINE_DESKTOP=WxH runs the program inside a Wine desktop window of
#   that size, which shows the desktop's wallpaper behind it.
# - Without a sound device on the machine, Wine's audio driver is turned off
#   in the prefix, so that no driver error reaches the terminal.
# The exit code is the program's.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGS...]" >&2; exit 2; }
exe=$1; shift

find_tree() {
  local d
  d=$(cd "$(dirname "$1")" && pwd)
  while [ "$d" != "/" ]; do
    [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return; }
    d=$(dirname "$d")
  done
  echo "${TMPDIR:-/tmp}/velmor-wine"
}

if [ -z "${VELMOR_WINEPREFIX:-}" ]; then
  VELMOR_WINEPREFIX="$(find_tree "$exe")/wineprefix"
fi
export WINEPREFIX="$VELMOR_WINEPREFIX"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$(dirname "$WINEPREFIX")"
lock="$WINEPREFIX.lock"

# A display for the prefix, kept beside it ("N PID") and reused by the next
# programs; whoever removes the prefix stops it (tests/installer/run_fresh.sh).
# Scripts that run many programs start one of their own instead (xvfb.sh).
prefix_display() {
  local state="$WINEPREFIX.display" n pid
  if [ -f "$state" ]; then
    read -r n pid < "$state" || true
    if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then export DISPLAY=":$n"; return; fi
  fi
  . "$(dirname "$0")/xvfb.sh"
  start_xvfb 90 140 || { echo "wine-run: could not start Xvfb" >&2; exit 1; }
  echo "${DISPLAY#:} $xvfb_pid" > "$state"
}

# Is a wineserver serving this prefix? Its working directory is named after
# the prefix's device and inode.
server_running() {
  local tag p
  tag=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
  for p in $(pgrep -x wineserver64 2>/dev/null; pgrep -x wineserver 2>/dev/null); do
    [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$tag" ] && return 0
  done
  return 1
}

. "$(dirname "$0")/sound.sh"

{
  flock 9
  [ -n "${DISPLAY:-}" ] || prefix_display
  export DISPLAY
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 9>&- || true
    wineserver -w 9>&- || true
  fi
  # The wineserver and the Wine services it starts outlive this program.
  # They must not inherit our standard output (a test runner would wait on
  # that pipe for ever) nor the lock descriptor, so start them here, quietly,
  # and keep the server up between the programs of a test run.
  if ! server_running; then
    wineserver -p 60 </dev/null >/dev/null 2>&1 9>&- || true
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
  fi
  # The screen DPI takes effect when the wineserver starts again.
  if [ -n "${VELMOR_LOGPIXELS:-}" ] && [ ! -f "$WINEPREFIX/.logpixels-$VELMOR_LOGPIXELS" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$VELMOR_LOGPIXELS" /f \
      </dev/null >/dev/null 2>&1 9>&- || true
    wineserver -k 9>&- || true
    wineserver -w 9>&- || true
    rm -f "$WINEPREFIX"/.logpixels-*
    touch "$WINEPREFIX/.logpixels-$VELMOR_LOGPIXELS"
    wineserver -p 60 </dev/null >/dev/null 2>&1 9>&- || true
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
  fi
  if ! sound_device && [ ! -f "$WINEPREFIX/.no-audio" ]; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d "" /f \
      </dev/null >/dev/null 2>&1 9>&- && touch "$WINEPREFIX/.no-audio"
  fi
  # A program that crashes must fail its test at once, not wait behind
  # Wine's crash dialog until the test runner's time-out.
  if [ ! -f "$WINEPREFIX/.no-crash-dialog" ]; then
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      </dev/null >/dev/null 2>&1 9>&- && touch "$WINEPREFIX/.no-crash-dialog"
  fi
} 9>"$lock"

# The desktop process (explorer.exe /desktop) is started by the first program
# of a session that uses a window, and keeps that program's standard error
# until the desktop ends, after the last program of the session. A test
# runner waiting on that pipe would count the first program as running for
# the whole run (towards its time-out). So, unless it is a terminal, the
# program's standard error goes to a file that is passed on when it exits.
launch=(wine)
[ -n "${VELMOR_WINE_DESKTOP:-}" ] && launch=(wine explorer "/desktop=Velmor,$VELMOR_WINE_DESKTOP")
if [ -t 2 ]; then
  exec "${launch[@]}" "$exe" "$@"
fi
err=$(mktemp "${TMPDIR:-/tmp}/wine-run-stderr.XXXXXX")
status=0
"${launch[@]}" "$exe" "$@" 2>"$err" || status=$?
cat "$err" >&2
rm -f "$err"
exit $status
