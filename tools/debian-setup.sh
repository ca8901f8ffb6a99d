#!/bin/sh
# Installs what building, running and testing the show needs on Debian 12.
# Runs apt-get directly as root, through sudo otherwise, with the packages'
# recommended companions (Xvfb and Wine need some of theirs). mingw-w64 cross-builds
# the Windows executables; wine64 runs the x86-64 ones in the tests, with the
# fonts its dialogs use and the X libraries its X11 driver loads at run time
# (Debian only recommends them). ninja-build runs the builds; libpng-dev gives the
# tools their PNG files; ffmpeg encodes ostrel-capture's videos (and its
# tests read them back with ffprobe). openbox (a window manager) and pulseaudio
# with its utilities (a sound server, parec to record it) are started by the
# end-to-end tests; clang builds the fuzz harnesses with libFuzzer
# (libclang-rt-dev); strace shows the capture's tests that every file is
# flushed to the disk before its rename; libimgui-dev (Dear ImGui with its
# SDL2 and OpenGL 3 backends) draws the studio's timeline and panels;
# slurm-wlm and munge give the one-machine Slurm cluster that ostrel-farm's
# tests start (tools/slurm-cluster.sh; iproute2 gives it ss, to find free
# ports).
#
# The 32-bit Windows programs run under wine32, an i386 package: the script
# adds the i386 architecture to dpkg first. Beside it come the 32-bit
# libraries that Wine only recommends but the programs need: Mesa's GL driver
# (libgl1-mesa-dri:i386 with its GLX, llvmpipe for the OpenGL 4 context) and
# the X libraries Wine's X11 driver loads, the same ones as for 64-bit. Where
# the architecture cannot be added, the script says so in one line and goes
# on without them; the 32-bit Wine tests then skip (and fail in CI, which
# sets OSTREL_REQUIRE_WINDOWS).
set -eu
packages="build-essential cmake ninja-build libgtest-dev libsdl2-dev libx11-dev libpng-dev
  libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  xvfb xdotool x11-utils libxfixes-dev openbox pulseaudio pulseaudio-utils ffmpeg strace
  clang libclang-rt-dev libimgui-dev slurm-wlm munge iproute2
  mingw-w64 wine64 fonts-wine libxcursor1 libxrandr2 libxrender1 libxi6
  libxinerama1 libxcomposite1 libxxf86vm1"
packages_i386="wine32:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386 libxcursor1:i386
  libxrandr2:i386 libxrender1:i386 libxi6:i386 libxinerama1:i386 libxcomposite1:i386
  libxxf86vm1:i386"
if [ "$(id -u)" -eq 0 ]; then run=""; else run="sudo"; fi
# Skip apt entirely when everything is there already.
missing=""
for p in $packages $packages_i386; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
without_i386() {
  for p in $missing; do
    case $p in *:i386) ;; *) printf ' %s' "$p" ;; esac
  done
}
no_i386="debian-setup: cannot add the i386 architecture here: no 32-bit Wine, so the 32-bit Windows tests skip"
if [ -n "$missing" ] && [ "$missing" != "$(without_i386)" ] &&
   ! dpkg --print-foreign-architectures | grep -qx i386 &&
   ! $run dpkg --add-architecture i386 2>/dev/null; then
  echo "$no_i386" >&2
  missing=$(without_i386)
fi
if [ -n "$missing" ]; then
  $run apt-get update -qq
  if ! DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq $missing; then
    # A mirror without the i386 packages: everything else still goes in.
    [ "$missing" != "$(without_i386)" ] || exit 1
    echo "$no_i386" >&2
    DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq $(without_i386)
  fi
fi
