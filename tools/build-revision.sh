#!/bin/sh
# build-revision.sh REV [DIR]: builds ostrel-bench and ostrel-sheet of
# revision REV of this repository, for comparing it with the working tree,
# and prints the folder that holds the two programs.
#
# The revision's files are exported with git archive into DIR/<full hash>/src
# (DIR defaults to build-compare/ beside the working tree's build, which git
# ignores) and built in DIR/<full hash>/build with the Release settings; a
# finished build is kept and reused. The build's output goes to build.log
# there, and its last lines to stderr when it fails.
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
  cmake --build "$dir/build" -j 2 --target ostrel-bench ostrel-sheet >>"$log" 2>&1 || fail
  touch "$dir/built"
fi
echo "$dir/build/bin"
