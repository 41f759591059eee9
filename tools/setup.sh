#!/bin/sh
# Installs what building and testing need on Debian 12, and nothing when it
# is all there already. Runs apt-get through sudo unless run as root.
set -e
PACKAGES="build-essential cmake qt6-base-dev libgtest-dev libgmock-dev zlib1g-dev
genisoimage xorriso python3 python3-pil bchunk libcdio-utils"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
