#!/bin/sh
# Installs what building, testing and packaging need on Debian 12, and
# nothing when it is all there already. As root it runs apt-get itself; as
# another user it runs it through sudo, and without sudo it says how to run
# this script as root and stops.
set -e

# Building: compiler, CMake, Qt 6 Widgets, GoogleTest, zlib.
BUILD="build-essential cmake qt6-base-dev libgtest-dev libgmock-dev zlib1g-dev"
# Tests: ISO 9660 authoring and CD image tools, the sample containers'
# helpers, strace for the crash tests.
TESTS="genisoimage xorriso python3 python3-pil bchunk libcdio-utils strace"
# The clang build, the fuzzers and the formatting check.
CLANG="clang libclang-rt-14-dev clang-format"
# The man page, the Debian package's dependencies, the menu entries' check.
PACKAGING="help2man dpkg-dev file desktop-file-utils"
# Windows on a machine without a display: a virtual X display, a window
# manager, and the screenshot and window tools.
DISPLAYLESS="xvfb xauth openbox x11-utils x11-apps"

PACKAGES="$BUILD $TESTS $CLANG $PACKAGING $DISPLAYLESS"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup.sh: these Debian packages are missing:$missing" >&2
    echo "setup.sh: installing them needs root, and there is no sudo here. Run this script as root:" >&2
    echo "  su -c ./tools/setup.sh" >&2
    echo "then run the command again as yourself." >&2
    exit 1
  fi
  SUDO=sudo
fi
$SUDO apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
