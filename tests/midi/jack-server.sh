#!/bin/sh
# Starts or stops the named JACK server (dummy driver: real-time MIDI and audio ports without
# sound hardware) that the MIDI tests use; CTest runs it as the tests' fixture.
#   jack-server.sh start NAME PIDFILE [PERIOD]   |   jack-server.sh stop NAME PIDFILE
# PERIOD is the frames of one cycle (default 256).
set -u
action=$1 name=$2 pidfile=$3 period=${4:-256}

# Ends the server of the pid file and waits until it is gone: a server still shutting down
# keeps its name, so a new one of the same name would not start, and waiting for the name
# would find the old one just before it goes. On a loaded machine that can take seconds.
stop_server() {
  [ -f "$pidfile" ] || return 0
  pid=$(cat "$pidfile")
  kill "$pid" 2>/dev/null
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
  if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
  fi
  rm -f "$pidfile"
}

# One JACK test run at a time on this machine. A JACK client's notification socket is named
# after the client alone (/dev/shm/jack_<client>_<uid>_0), not after its server, so two builds
# whose tests open clients of the same name on their own servers at the same moment take each
# other's socket: a client then fails to open or its server drops it. The lock is held by a
# watcher that lives as long as this server; a run whose server was never stopped elsewhere
# delays ours by the wait at most.
lock=${TMPDIR:-/tmp}/tolvane-jack-tests.lock
take_machine_lock() {
  rm -f "$pidfile.locked"
  (
    exec 9>>"$lock"
    flock -w 480 9 || echo "another JACK test run still holds $lock; going on" >>"$pidfile.log"
    : >"$pidfile.locked"
    i=0
    while [ ! -s "$pidfile" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    held=$(cat "$pidfile" 2>/dev/null)
    while [ -n "$held" ] && kill -0 "$held" 2>/dev/null; do sleep 0.5; done
  ) </dev/null >/dev/null 2>&1 &
  i=0
  while [ ! -f "$pidfile.locked" ] && [ $i -lt 5000 ]; do sleep 0.1; i=$((i + 1)); done
}

case "$action" in
start)
  stop_server
  take_machine_lock
  # Synchronous, with a long client timeout: on a busy machine without real-time scheduling a
  # client may be late for its cycle, and the server then waits for it instead of running the
  # graph without it (which loses what it was to pass on).
  # The log is appended to, so that a server which went away during the tests leaves its last
  # words behind even after the next start.
  echo "=== jackd $name started $(date -u '+%F %T')" >>"$pidfile.log"
  jackd -n "$name" --no-realtime --sync -t 10000 -d dummy -r 44100 -p "$period" >>"$pidfile.log" 2>&1 &
  pid=$!
  echo $pid >"$pidfile"
  # The server that answers must be this one, still running (not another of the same name).
  if ! JACK_DEFAULT_SERVER="$name" jack_wait -w -t 30 >/dev/null || ! kill -0 "$pid" 2>/dev/null; then
    echo "jackd did not start:" >&2
    tail -n 40 "$pidfile.log" >&2
    exit 1
  fi
  ;;
stop)
  stop_server
  echo "=== jackd $name stopped $(date -u '+%F %T')" >>"$pidfile.log"
  ;;
esac
