#!/bin/sh
# termination_signal.sh PROGRAM...: each windowed program, started with no
# display, ends by itself with status 0 within two seconds of SIGTERM,
# SIGINT and SIGHUP (a killed program would end with 128 + the signal).
set -u
export QT_QPA_PLATFORM=offscreen
failed=0
for program in "$@"; do
  for signal in TERM INT HUP; do
    "$program" 2>/dev/null &
    pid=$!
    # The window is up once the program has been running a moment.
    sleep 1
    kill -s "$signal" "$pid"
    waited=0
    while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 20 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "$(basename "$program"): still running 2 s after SIG$signal" >&2
      kill -9 "$pid"
      failed=1
    fi
    wait "$pid"
    status=$?
    if [ "$status" -ne 0 ]; then
      echo "$(basename "$program"): SIG$signal ended it with status $status" >&2
      failed=1
    else
      echo "$(basename "$program"): SIG$signal: closed, status 0"
    fi
  done
done
exit "$failed"
