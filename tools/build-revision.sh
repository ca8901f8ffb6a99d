#!/bin/sh
# build-revision.sh REV [DIR]: builds ostrel-bench, ostrel-sheet and
# ostrel-frames of revision REV of this repository, for comparing it with the
# working tree, and prints the folder that holds the three programs.
#
# The revision's files are exported with git archive into DIR/<full hash>/src
# (DIR defaults to build-compare/ beside the working tree's build, which git
# ignores) and built in DIR/<full hash>/build with the Release settings; a
# finished build is kept and reused. A revision from before ostrel-frames
# existed gets this tree's tools/frames.cpp and tools/picture.cpp compiled
# against its own headers and libraries: they use only what every revision
# of the render pipeline offers.
set -eu
if [ $# -lt 1 ] || [ "$1" = "--help" ]; then
  echo "usage: tools/build-revision.sh REV [DIR]" >&2
  [ $# -ge 1 ] && exit 0
  exit 2
fi
top=$(git rev-parse --show-toplevel)
rev=$(git -C "$top" rev-parse --verify --quiet "$1^{commit}") || {
  echo "build-revision: $1 is no revision of this repository" >&2
  exit 2
}
dir=${2:-$top/build-compare}/$rev
bin=$dir/build/bin
log=$dir/build.log
fail() {
  tail -n 20 "$log" >&2
  echo "build-revision: the build of $rev failed; see $log" >&2
  exit 1
}
if [ ! -f "$dir/built" ]; then
  rm -rf "$dir"
  mkdir -p "$dir/src"
  git -C "$top" archive "$rev" | tar -x -C "$dir/src"
  echo "build-revision: building $rev in $dir (log: $log)" >&2
  cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DOSTREL_TESTS=OFF \
    >"$log" 2>&1 || fail
  targets="ostrel-bench ostrel-sheet"
  [ -f "$dir/src/tools/frames.cpp" ] && targets="$targets ostrel-frames"
  # shellcheck disable=SC2086
  cmake --build "$dir/build" -j 2 --target $targets >>"$log" 2>&1 || fail
  touch "$dir/built"
fi
# This tree's ostrel-frames on that revision's pipeline, made again whenever
# its sources here change.
if [ ! -f "$dir/src/tools/frames.cpp" ]; then
  sources="$top/tools/frames.cpp $top/tools/picture.cpp $top/tools/picture.h"
  # shellcheck disable=SC2086
  if [ ! -f "$bin/ostrel-frames" ] || [ -n "$(find $sources -newer "$bin/ostrel-frames")" ]; then
    b=$dir/build
    # Headers of the revision first; tools/picture.h only exists here.
    c++ -O2 -std=c++17 -I"$dir/src" -I"$b/content" -I"$top" \
      "$top/tools/frames.cpp" "$top/tools/picture.cpp" \
      "$b/host/libostrel_show.a" "$b/host/libostrel_headless.a" "$b/render/libostrel_render.a" \
      "$b/sync/libostrel_sync.a" "$b/host/libostrel_pages.a" "$b/content/libostrel_content_512.a" \
      -lEGL -lOpenGL -lpng -o "$bin/ostrel-frames" >>"$log" 2>&1 || fail
  fi
fi
echo "$bin"
