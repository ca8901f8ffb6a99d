#!/bin/sh
# Builds the libFuzzer harnesses (clang, the fuzz preset) and runs each one
# for a while: tools/fuzz.sh [SECONDS] [--runs N] [HARNESS...]
#   SECONDS   time per harness (default 300); CI runs 20
#   --runs N  stop a harness after N inputs instead (the time still bounds it)
#   HARNESS   wave track-keys tweak-blob track-text tweak-text score options
#             track-edits (default: all)
# Each harness starts from its seeds (tests/fuzz/corpus/NAME) and the inputs
# earlier runs found (build-fuzz/corpus/NAME). A crash, a leak, a timeout
# (10 s) or running out of memory (2 GB) is saved under build-fuzz/findings/
# NAME/; copy it to tests/fuzz/findings/NAME/ once it is fixed, and the
# ordinary tests run it from then on. Prints the executions and findings per
# harness; exits 1 if any harness found something. Inputs are at most 4 KiB.
set -eu
cd "$(dirname "$0")/.."

seconds=300
runs=""
harnesses=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="-runs=$2"; shift 2 ;;
    --help|-h) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    [0-9]*) seconds="$1"; shift ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) harnesses="$harnesses $1"; shift ;;
  esac
done
[ -n "$harnesses" ] || harnesses="wave track-keys tweak-blob track-text tweak-text score options track-edits"

cmake --preset fuzz >/dev/null && cmake --build --preset fuzz

found=0
for name in $harnesses; do
  program="build-fuzz/bin/ostrel-fuzz-$name"
  [ -x "$program" ] || { echo "fuzz.sh: no harness $name" >&2; exit 2; }
  work="build-fuzz/corpus/$name"
  findings="build-fuzz/findings/$name"
  log="build-fuzz/logs/$name.log"
  mkdir -p "$work" "$findings" "build-fuzz/logs"
  # Crashes, leaks, timeouts and running out of memory count; a slow input
  # (libFuzzer's slow-unit, over 10 s on a busy machine) is only noted.
  count() { ls "$findings" | grep -c -E '^(crash|leak|timeout|oom)-' || true; }
  before=$(count)
  # A finding ends the run with a non-zero status; the script goes on.
  "$program" -max_total_time="$seconds" $runs -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$work" "tests/fuzz/corpus/$name" \
    >"$log" 2>&1 || true
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  new=$(( $(count) - before ))
  echo "$name: ${executions:-?} executions${took:+ in $took s}, $new new findings (log: $log)"
  [ "$new" -eq 0 ] || found=1
done
exit $found
