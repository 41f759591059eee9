#!/bin/sh
# under_window_manager.sh PROGRAM [ARGUMENTS...]: runs PROGRAM on a virtual X
# display (Xvfb) with a window manager (openbox), as a desktop would show its
# windows. Exit status 77 when Xvfb or openbox is missing.
set -u
for tool in Xvfb openbox; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "under_window_manager.sh: skipped, $tool is not installed (tools/setup.sh installs it)" >&2
    exit 77
  fi
done

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
wm=""
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb writes the display number it took once it accepts connections.
i=0
while [ ! -s "$work/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if [ ! -s "$work/display" ]; then
  echo "under_window_manager.sh: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
DISPLAY=":$(cat "$work/display")"
export DISPLAY

openbox >"$work/wm.log" 2>&1 &
wm=$!
# The window manager is up once it has claimed the screen.
i=0
while ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && [ $i -lt 100 ]; do
  sleep 0.1
  i=$((i + 1))
done

status=0
QT_QPA_PLATFORM=xcb "$@" || status=$?
exit $status
