#!/bin/sh
# bench-compare.sh [REV]: the working tree's build against revision REV, side
# by side, on this machine's GL (llvmpipe where there is no GPU).
#
# REV defaults to 5d93fa3, the last commit before the speed work. The script
# builds REV in build-compare/ (tools/build-revision.sh) and the working
# tree's build/ (configured with the default preset if need be), then
# alternates the two builds' programs, old and new by turns, and prints both
# columns and old / new:
#   - ostrel-bench at show times 8000, 60000 and 80000 ms at 512x384 and
#     128x96 (3 measured frames): the scene pass and the whole frame (wall
#     ms, median of the frames) and start-up to the first presented frame
#     (createRenderResources plus the first frame); the shader cache off
#   - the whole-show contact sheet, ostrel-sheet -o FILE (wall seconds)
#   - one frame from the process's start, ostrel-sheet --times 0 at
#     512x384, with Mesa's shader cache on as in the show: a first start
#     into an empty cache folder, then a second start with the cache warm
# Each figure is the quickest of ROUNDS rounds (default 2): on a shared
# machine other work only ever adds time. Last, the three moments at 512x384
# must be the same picture in both builds: REV's contact sheet of them, in
# one column, cut into frames and compared with this build's (ostrel-frames).
#
#   ROUNDS=3 tools/bench-compare.sh [REV]
set -eu
default_rev=5d93fa3552f9cc142fcd8274ef93060dc9250fca
if [ "${1:-}" = "--help" ]; then
  echo "usage: [ROUNDS=n] tools/bench-compare.sh [REV]   (REV defaults to $default_rev)"
  exit 0
fi
rev=${1:-$default_rev}
rounds=${ROUNDS:-2}
case $rounds in '' | *[!0-9]* | 0) echo "bench-compare: ROUNDS must be a positive number" >&2; exit 2 ;; esac
top=$(git rev-parse --show-toplevel)
cd "$top"

old=$(tools/build-revision.sh "$rev")
[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default --target ostrel-bench ostrel-sheet ostrel-frames >/dev/null
new=$top/build/bin
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# bench OUT BIN SIZE TIME: one ostrel-bench run, as "scene frame startup"
# (wall ms), appended to OUT.
bench() {
  "$2/ostrel-bench" --size "$3" --time "$4" --frames 3 | awk '
    $1 == "scene" && $2 ~ /^[0-9.]+$/ { scene = $3 }
    $1 == "createRenderResources," { resources = $3 }
    $1 == "frame," { frame = $5; first = $6 }
    END { printf "%s %s %.1f\n", scene, frame, resources + first }' >>"$1"
}

# seconds BIN...: wall seconds the command takes.
seconds() {
  s=$(date +%s.%N)
  "$@" >/dev/null
  e=$(date +%s.%N)
  echo "$s $e" | awk '{ printf "%.2f\n", $2 - $1 }'
}

# lowest FILE COLUMN: the smallest number in that column.
lowest() {
  awk -v c="$2" 'NR == 1 || $c < m { m = $c } END { print m }' "$1"
}

# row WHAT OLD NEW
row() {
  echo "$1 $2 $3" | awk '{ printf "%-44s %10s %10s %8.2fx\n", $1, $2, $3, $2 / $3 }' |
    sed 's/_/ /g'
}

renderer=$("$new/ostrel-bench" --size 64x48 --time 0 --frames 1 | sed -n 's/^renderer: //p')
i=0
while [ "$i" -lt "$rounds" ]; do
  i=$((i + 1))
  echo "bench-compare: round $i of $rounds" >&2
  for size in 512x384 128x96; do
    for time in 8000 60000 80000; do
      # Old first in odd rounds, new first in even ones.
      if [ $((i % 2)) -eq 1 ]; then
        bench "$tmp/old-$size-$time" "$old" "$size" "$time"
        bench "$tmp/new-$size-$time" "$new" "$size" "$time"
      else
        bench "$tmp/new-$size-$time" "$new" "$size" "$time"
        bench "$tmp/old-$size-$time" "$old" "$size" "$time"
      fi
    done
  done
  seconds "$old/ostrel-sheet" -o "$tmp/old-sheet.png" >>"$tmp/old-sheet"
  seconds "$new/ostrel-sheet" -o "$tmp/new-sheet.png" >>"$tmp/new-sheet"
done

# A first start that fills an empty shader cache, then a second one.
for build in old new; do
  eval "bin=\$$build"
  mkdir -p "$tmp/cache-$build"
  for run in first second; do
    seconds env MESA_SHADER_CACHE_DISABLE=false MESA_SHADER_CACHE_DIR="$tmp/cache-$build" \
      "$bin/ostrel-sheet" -o "$tmp/$build-start.png" --size 512x384 --times 0 >"$tmp/$build-$run"
  done
done

echo "bench-compare: this tree ($(git describe --always --dirty)) against $rev"
echo "renderer: $renderer; $(nproc) cores; quickest of $rounds rounds, old and new by turns"
echo
printf "%-44s %10s %10s %9s\n" "ostrel-bench, wall ms" "old" "new" "old/new"
for size in 512x384 128x96; do
  for time in 8000 60000 80000; do
    o=$tmp/old-$size-$time
    n=$tmp/new-$size-$time
    row "scene_pass,_${time}_ms,_$size" "$(lowest "$o" 1)" "$(lowest "$n" 1)"
    row "whole_frame,_${time}_ms,_$size" "$(lowest "$o" 2)" "$(lowest "$n" 2)"
    row "start-up_to_first_frame,_${time}_ms,_$size" "$(lowest "$o" 3)" "$(lowest "$n" 3)"
  done
done
echo
printf "%-44s %10s %10s %9s\n" "wall s" "old" "new" "old/new"
row "whole-show_contact_sheet" "$(lowest "$tmp/old-sheet" 1)" "$(lowest "$tmp/new-sheet" 1)"
echo
printf "%-44s %10s %10s %9s\n" "one frame from start, 512x384, wall s" "old" "new" "old/new"
row "first_start,_empty_shader_cache" "$(cat "$tmp/old-first")" "$(cat "$tmp/new-first")"
row "second_start,_warm_shader_cache" "$(cat "$tmp/old-second")" "$(cat "$tmp/new-second")"
echo
echo "The same picture at 512x384 (this build against $rev's contact sheet):"
"$old/ostrel-sheet" -o "$tmp/old-sheet-512.png" --size 512x384 --columns 1 --dof 1 \
  --times 8000,60000,80000 >/dev/null
"$new/ostrel-frames" --from-sheet "$tmp/old-sheet-512.png" --size 512x384 \
  -o "$tmp/old-512.png" >/dev/null
status=0
"$new/ostrel-frames" --compare "$tmp/old-512.png" --size 512x384 --times 8000,60000,80000 \
  >"$tmp/same" || status=1
sed "s|$tmp/||" "$tmp/same"
exit $status
