#!/usr/bin/env bash
# Runs the whole system: builds the reference server and the client, makes
# sample content once, starts the server on a free loopback port, points the
# client's velmor.cfg at it and starts the client under Wine, inside a Wine
# desktop window (in an Xvfb display when there is none). The server stops
# when the client exits.
# Safe to run again and again; the client's settings are kept between runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
for preset in release win; do
  cmake --preset "$preset" >/dev/null
done
cmake --build build/release -j 2 --target velmor-server
cmake --build build/win -j 2 --target Velmorw

run="$root/build/run"
data="$run/client"
content="$run/content"
server="$root/build/release/server/velmor-server"
mkdir -p "$data"
if [ ! -d "$content" ]; then
  "$server" --make-sample "$content.tmp" && mv "$content.tmp" "$content"
fi

rm -f "$run/port"
"$server" --port 0 --content "$content" --ready-file "$run/port" --log "$run/server.log" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do [ -s "$run/port" ] && break; sleep 0.1; done
[ -s "$run/port" ] || { echo "run: the server did not start; see $run/server.log" >&2; exit 1; }
port=$(cat "$run/port")

# velmor.cfg is written as the client writes it: a line whose key matches
# (without regard to case; every duplicate) becomes the key, spaces to
# column 20 (none for a longer key), "=", the value, CR LF; a key that is
# absent is appended as the key, "  =  ", the value, CR LF. Lines without
# "=" are dropped, the others kept as they are.
cfg="$data/velmor.cfg"
touch "$cfg"
set_key() {
  local key=$1 value=$2
  awk -v key="$key" -v value="$value" '
    BEGIN { lkey = tolower(key) }
    { line = $0; sub(/\r$/, "", line) }
    index(line, "=") == 0 { next }
    {
      k = substr(line, 1, index(line, "=") - 1)
      gsub(/^ +| +$/, "", k)
      if (tolower(k) == lkey) { printf "%-20s=%s\r\n", key, value; found = 1 }
      else printf "%s\r\n", line
    }
    END { if (!found) printf "%s  =  %s\r\n", key, value }
  ' "$cfg" > "$cfg.tmp"
  mv "$cfg.tmp" "$cfg"
}
has_key() { grep -q -i "^ *$1 *=" "$cfg"; }
set_key Directory "Z:$(echo "$data" | tr / '\\')\\"
set_key VServerID 127.0.0.1
set_key Port "$port"
# A new user starts with every sample category selected and each fixed item
# due hourly: "Get New Quote" works at once, and the first tick (a minute
# after start) brings a quote, a wallpaper (Backgrou.bmp) and a sound
# (Randomsound.wav) into the data directory.
select_sample() {
  local item=$1 selection=$2
  if ! has_key "SELECT$item"; then
    set_key "SELECT$item" "$selection"
    set_key "Interval$item" 60
  fi
}
select_sample Quote "0 1 2"
select_sample Background "0 1 2"
select_sample Randomsound "0 1"

# The donate dialog starts the transfer instance as Velmorw.exe in the data
# directory: the client runs from there, so the two are always the same.
cp -f "$root/build/win/app/Velmorw.exe" "$data/Velmorw.exe"

echo "run: server on 127.0.0.1:$port (log $run/server.log), client data directory $data"
echo "run: donated files arrive in $content/donations"
# The client runs inside a Wine desktop window, where the wallpaper it sets
# shows behind it, in a Wine prefix of the run's own.
export VELMOR_WINEPREFIX="$run/wineprefix"
export VELMOR_WINE_DESKTOP="${VELMOR_WINE_DESKTOP:-1024x768}"
. "$root/scripts/sound.sh"
if ! sound_device; then
  echo "run: this machine has no sound device: the client's sounds cannot be played"
fi
cd "$data"
. "$root/scripts/xvfb.sh"
need_display 100 149 || exit 1
status=0
"$root/scripts/wine-run.sh" "$data/Velmorw.exe" "$@" || status=$?
exit $status
