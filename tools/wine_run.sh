#!/bin/sh
# wine_run.sh PREFIX PROGRAM.exe [ARGUMENTS...]: runs a program of the
# Windows build under Wine in the prefix PREFIX, made on first use. Wine is
# kept quiet and asks nothing (no Mono or Gecko installs). The exit status
# is the program's.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  # Two programs started at once make the prefix once.
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then wine wineboot -i >/dev/null 2>&1; fi
  ) 9>"$prefix.lock"
fi
# One server for all of a test run's programs, kept 30 seconds after the
# last one ends: a program started while a server shuts down fails to start.
wineserver -p30 >/dev/null 2>&1 || true
exec wine "$@"
