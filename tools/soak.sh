#!/bin/sh
# Runs the quarter-size build's whole show N times in a row (default 10),
# each on a fresh 160 x 120 Xvfb with SDL's dummy audio driver, and prints
# when each run ended after the show said the soundtrack started, against
# the 101.334 s the tracks give: tools/soak.sh [N]
# Exits 1 when a run fails, hangs (over 200 s) or ends more than 0.5 s off.
# Needs a build (cmake --build --preset default); takes about 105 s a run.
set -eu
cd "$(dirname "$0")/.."
case "${1:-10}" in
  --help|-h) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *[!0-9]*|'') echo "soak.sh: N is a whole number of runs, not \"$1\"" >&2; exit 2 ;;
esac
runs=${1:-10}
show=build/bin/ostrel-full-quarter
[ -x "$show" ] || { echo "soak.sh: no $show; build first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
bad=0
i=1
while [ "$i" -le "$runs" ]; do
  Xvfb -displayfd 3 -screen 0 160x120x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  server=$!
  while [ ! -s "$work/display" ]; do sleep 0.05; done
  # The show's lines, each with the time it arrived.
  : >"$work/started"
  DISPLAY=":$(head -n 1 "$work/display")" SDL_AUDIODRIVER=dummy timeout 200 "$show" 2>"$work/err" |
    while IFS= read -r line; do
      case "$line" in *"soundtrack started"*) now >"$work/started" ;; esac
      echo "$line" >"$work/last"
    done
  ended=$(now)
  kill "$server" && wait "$server" 2>/dev/null || true
  rm -f "$work/display"
  if [ -s "$work/started" ] && grep -q "show ended" "$work/last" && [ ! -s "$work/err" ]; then
    echo "$ended $(cat "$work/started")" | awk -v i="$i" -v n="$runs" -v line="$(cat "$work/last")" '{
      took = $1 - $2; off = took - 101.334
      printf "run %d of %d: ended %.3f s after the soundtrack started (%+.3f s); %s\n",
             i, n, took, off, line
      exit (off > 0.5 || off < -0.5) }' || bad=1
  else
    echo "run $i of $runs: failed: $(cat "$work/err" "$work/last" 2>/dev/null | tr '\n' ' ')"
    bad=1
  fi
  i=$((i + 1))
done
exit $bad
