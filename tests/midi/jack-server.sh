#!/bin/sh
# Starts or stops the named JACK server (dummy driver: real-time MIDI and audio ports without
# sound hardware) that the MIDI tests use; CTest runs it as the tests' fixture.
#   jack-server.sh start NAME PIDFILE [PERIOD]   |   jack-server.sh stop NAME PIDFILE
# PERIOD is the frames of one cycle (default 256).
set -u
action=$1 name=$2 pidfile=$3 period=${4:-256}
case "$action" in
start)
  if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then
    kill "$(cat "$pidfile")"
    sleep 1
  fi
  # Synchronous, with a long client timeout: on a busy machine without real-time scheduling a
  # client may be late for its cycle, and the server then waits for it instead of running the
  # graph without it (which loses what it was to pass on).
  jackd -n "$name" --no-realtime --sync -t 10000 -d dummy -r 44100 -p "$period" >"$pidfile.log" 2>&1 &
  echo $! >"$pidfile"
  if ! JACK_DEFAULT_SERVER="$name" jack_wait -w -t 10 >/dev/null; then
    echo "jackd did not start:" >&2
    cat "$pidfile.log" >&2
    exit 1
  fi
  ;;
stop)
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    rm -f "$pidfile"
  fi
  ;;
esac
