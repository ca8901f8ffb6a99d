#!/bin/sh
# Installs what building, running and testing the show needs on Debian 12.
# Runs apt-get directly as root, through sudo otherwise, with the packages'
# recommended companions (Xvfb and Wine need some of theirs). mingw-w64 cross-builds
# the Windows executables; wine64 runs them in the tests, with the fonts its
# dialogs use and the X libraries its X11 driver loads at run time (Debian
# only recommends them). ninja-build runs the builds; libpng-dev gives the
# tools their PNG files; ffmpeg encodes ostrel-capture's videos (and its
# tests read them back with ffprobe). openbox (a window manager) and pulseaudio
# with its utilities (a sound server, parec to record it) are started by the
# end-to-end tests; clang builds the fuzz harnesses with libFuzzer
# (libclang-rt-dev); strace shows the capture's tests that every file is
# flushed to the disk before its rename. slurm-wlm and munge give the
# one-machine Slurm cluster that ostrel-farm's tests start
# (tools/slurm-cluster.sh; iproute2 gives it ss, to find free ports).
set -eu
packages="build-essential cmake ninja-build libgtest-dev libsdl2-dev libx11-dev libpng-dev
  libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  xvfb xdotool x11-utils libxfixes-dev openbox pulseaudio pulseaudio-utils ffmpeg strace
  clang libclang-rt-dev slurm-wlm munge iproute2
  mingw-w64 wine64 fonts-wine libxcursor1 libxrandr2 libxrender1 libxi6
  libxinerama1 libxcomposite1 libxxf86vm1"
if [ "$(id -u)" -eq 0 ]; then run=""; else run="sudo"; fi
# Skip apt entirely when everything is there already.
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  $run apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq $missing
fi
