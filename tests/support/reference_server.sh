#!/bin/sh
# Starts and stops the reference server for the Windows tests, which run
# under Wine and cannot wait for a Linux process themselves.
#
#   reference_server.sh start STATE_DIR SERVER CONTENT_DIR [OPTION...]
#       makes sample content first when CONTENT_DIR does not exist yet, then
#       starts SERVER on a free loopback port in the background; STATE_DIR/port
#       appears once it listens (the tests wait for it). The server runs for at
#       most 15 minutes, so that a crashed test cannot leave it behind.
#   reference_server.sh stop STATE_DIR
exec >/dev/null 2>&1 </dev/null
case "$1" in
  start)
    state=$2 server=$3 content=$4
    shift 4
    mkdir -p "$state"
    rm -f "$state/port" "$state/pid"
    if [ ! -d "$content" ]; then
      "$server" --make-sample "$content.tmp" && mv "$content.tmp" "$content"
    fi
    timeout 900 "$server" --port 0 --content "$content" --ready-file "$state/port" \
      --log "$state/server.log" "$@" &
    echo $! > "$state/pid"
    ;;
  stop)
    [ -f "$2/pid" ] && kill -TERM "$(cat "$2/pid")"
    rm -f "$2/pid"
    ;;
esac
