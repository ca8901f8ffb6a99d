#!/bin/sh
# Installs what building, running and testing the show needs on Debian 12.
# Runs apt-get directly as root, through sudo otherwise.
set -eu
packages="build-essential cmake libgtest-dev libsdl2-dev libx11-dev
  libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  xvfb xdotool x11-utils libxfixes-dev"
if [ "$(id -u)" -eq 0 ]; then run=""; else run="sudo"; fi
# Skip apt entirely when everything is there already.
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  $run apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq --no-install-recommends $missing
fi
