#!/bin/sh
# screenshots.sh [BUILD_DIR]: a picture of each window as docs/*.png. Starts
# the programs already built in BUILD_DIR (default: build) one by one on a
# virtual X display (Xvfb), grabs each window with xwd and writes it as PNG
# (python3-pil). Needs xvfb, x11-apps, x11-utils and python3-pil
# (tools/setup.sh installs them). A Windows build (build-win) is run under
# Wine, in its own prefix, and gives docs/*-windows.png.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
# Debian's python3, which python3-pil belongs to.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
for tool in Xvfb xwd xwininfo "$python"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "screenshots.sh: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
i=0
while [ ! -s "$work/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -s "$work/display" ] || { echo "screenshots.sh: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(cat "$work/display")"
export DISPLAY

mkdir -p docs
windows=""
[ -f "$build/cli/qorlu.exe" ] && windows=yes
for entry in unpacker/qorlu_unpacker texture/qorlu_bitmapper packer/qorlu_packer; do
  name=${entry#*/}
  if [ -n "$windows" ]; then
    [ -f "$build/$name.exe" ] || { echo "screenshots.sh: $build/$name.exe is not built" >&2; exit 1; }
    sh tools/wine_run.sh "$PWD/$build/wineprefix" "$build/$name.exe" &
    picture=docs/$name-windows.png
  else
    [ -x "$build/$entry" ] || { echo "screenshots.sh: $build/$entry is not built" >&2; exit 1; }
    QT_QPA_PLATFORM=xcb "$build/$entry" &
    picture=docs/$name.png
  fi
  program_pid=$!
  # The window carries the program's name as its title.
  i=0
  while ! xwininfo -name "$name" >/dev/null 2>&1; do
    [ $i -lt 300 ] || { echo "screenshots.sh: no window of $name" >&2; exit 1; }
    sleep 0.1
    i=$((i + 1))
  done
  sleep 1 # painted
  xwd -silent -name "$name" -out "$work/$name.xwd"
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
  "$python" tools/xwd_to_png.py "$work/$name.xwd" "$picture"
  echo "$picture"
done
