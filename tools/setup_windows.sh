#!/bin/sh
# Installs what the Windows cross build and its tests under Wine need on
# Debian 12, and nothing when it is all there already (as tools/setup.sh:
# apt-get as root, through sudo otherwise): mingw-w64 (GCC 12 for
# x86_64-w64-mingw32), zlib built for it, GoogleTest's sources, Wine, unzip
# to list the package, and the virtual display with a window manager that
# the window tests run on.
set -e
PACKAGES="mingw-w64 libz-mingw-w64-dev googletest wine wine64 unzip xvfb xauth openbox x11-utils x11-apps"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup_windows.sh: these Debian packages are missing:$missing" >&2
    echo "setup_windows.sh: run this script as root: su -c ./tools/setup_windows.sh" >&2
    exit 1
  fi
  SUDO=sudo
fi
$SUDO apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
