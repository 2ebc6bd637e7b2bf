#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a time box (seconds, default
# 120) on a scratch copy of its corpus. Any crash, sanitizer report, timeout,
# memory blow-up or broken promise of a harness fails the run; the input that
# caused it is kept in the scratch folder, whose path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
scripts/build.sh fuzz
work=$(mktemp -d "${TMPDIR:-/tmp}/qola-fuzz.XXXXXX")
echo "fuzzing in $work, ${seconds} s per harness"
status=0
for harness in SegmentDecoderFuzzer FileDecoderFuzzer RoundTripFuzzer SeekingDecoderFuzzer; do
  mkdir -p "$work/$harness"
  cp fuzz/corpus/"$harness"/* "$work/$harness/"
  if ! (cd "$work" && "$OLDPWD/build/fuzz/fuzz/$harness" -max_total_time="$seconds" -timeout=20 \
          -rss_limit_mb=2048 -max_len=20000 -print_final_stats=1 "$harness" > "$work/$harness.log" 2>&1); then
    echo "$harness: FINDING (see $work/$harness.log)"
    tail -n 30 "$work/$harness.log"
    status=1
  else
    echo "$harness: $(grep -E '^stat::number_of_executed_units' "$work/$harness.log" | awk '{print $2}') runs, no finding"
  fi
done
exit $status
