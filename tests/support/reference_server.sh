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
#       stops the server and waits until it has gone (after about ten seconds
#       it is killed), then leaves STATE_DIR/stopped, which the tests wait
#       for: they cannot wait for a Linux process either, and a server that
#       is still stopping when the test program ends outlives it.
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
    # A short drain: a stop must not wait for connections a test left open.
    timeout 900 "$server" --port 0 --content "$content" --ready-file "$state/port" \
      --log "$state/server.log" --drain-timeout 2 "$@" &
    echo $! > "$state/pid"
    ;;
  stop)
    state=$2
    if [ -f "$state/pid" ]; then
      # The pid is timeout's, which leads a process group of its own and
      # passes the signal on to the server.
      pid=$(cat "$state/pid")
      kill -TERM "$pid"
      i=0
      while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do
        sleep 0.1
        i=$((i + 1))
      done
      kill -0 "$pid" 2>/dev/null && kill -KILL -- "-$pid"
    fi
    rm -f "$state/pid"
    : > "$state/stopped"
    ;;
esac
