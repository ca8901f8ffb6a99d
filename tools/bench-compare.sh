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
#   - start-up and first frame at show time 0 with a warm shader cache
#     (ostrel-frames, the second of two runs sharing one cache folder)
# Each figure is the quickest of ROUNDS rounds (default 2): on a shared
# machine other work only ever adds time. Last, the three moments at 512x384
# must be the same picture in both builds (ostrel-frames --compare).
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
    $1 == "scene" && $2 != "program" { scene = $3 }
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

# Warm shader cache: a second start with the cache the first one filled.
for build in old new; do
  eval "bin=\$$build"
  mkdir -p "$tmp/cache-$build"
  for run in cold warm; do
    MESA_SHADER_CACHE_DISABLE=false MESA_SHADER_CACHE_DIR="$tmp/cache-$build" \
      "$bin/ostrel-frames" -o "$tmp/$build-start.png" --size 512x384 --times 0 |
      sed -n 's/^start-up \(.*\) ms, first frame \(.*\) ms$/\1 \2/p' >"$tmp/$build-$run"
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
printf "%-44s %10s %10s %9s\n" "warm shader cache, 512x384, 0 ms" "old" "new" "old/new"
row "start-up_(resources),_second_start" "$(cut -d' ' -f1 "$tmp/old-warm")" \
  "$(cut -d' ' -f1 "$tmp/new-warm")"
row "first_frame,_second_start" "$(cut -d' ' -f2 "$tmp/old-warm")" "$(cut -d' ' -f2 "$tmp/new-warm")"
row "start-up_(resources),_first_start" "$(cut -d' ' -f1 "$tmp/old-cold")" \
  "$(cut -d' ' -f1 "$tmp/new-cold")"
row "first_frame,_first_start" "$(cut -d' ' -f2 "$tmp/old-cold")" "$(cut -d' ' -f2 "$tmp/new-cold")"
echo
echo "The same picture at 512x384 (new against old, ostrel-frames --compare):"
"$old/ostrel-frames" -o "$tmp/old-512.png" --size 512x384 --times 8000,60000,80000 >/dev/null
status=0
"$new/ostrel-frames" --compare "$tmp/old-512.png" >"$tmp/same" || status=1
sed "s|$tmp/||" "$tmp/same"
exit $status
