#!/usr/bin/env bash
# Sizes and encoding CPU time of QOLA's encoder modes on the shared corpus, with a restore check of every
# file. Prints one TSV row per file and mode: file, mode, input bytes, output bytes, encode CPU seconds, check.
# Extra qola options (e.g. -a none) go after the corpus folder.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
qola=${QOLA:-$repo/build/release/cli/qola}
corpus=${1:-$repo/../shared/corpus}
shift || true
modes=${MODES:-reference default best fast}
files=${FILES:-p01 p02 p03 p04 p05 p06 p07 p08 p09 p10 p11 p15}
work=$(mktemp -d "${TMPDIR:-/tmp}/encoder-modes.XXXXXX")
trap 'rm -rf "$work"' EXIT
printf 'file\tmode\tin_bytes\tout_bytes\tencode_cpu_s\tcheck\n'
for f in $files; do
  input=$(ls "$corpus"/"$f"_*.wav)
  for mode in $modes; do
    flag="--$mode"
    [[ $mode == default ]] && flag=""
    TIMEFORMAT='%3U %3S'
    { time "$qola" -q -f $flag "$@" -o "$work/out.qla" "$input"; } 2>"$work/time"
    cpu=$(awk '{ printf "%.3f", $1 + $2 }' "$work/time")
    "$qola" -d -q -f -o "$work/back.wav" "$work/out.qla"
    # Bytes after the last whole frame are not stored: the restored file is then a prefix of the input.
    have=$(stat -c %s "$work/back.wav")
    want=$(stat -c %s "$input")
    check=identical
    if ((have > want)) || ! cmp -s -n "$have" "$work/back.wav" "$input"; then check=DIFFERENT
    elif ((have < want)); then check="identical, $((want - have)) trailing bytes not stored"; fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$f" "$mode" "$(stat -c %s "$input")" "$(stat -c %s "$work/out.qla")" \
      "$cpu" "$check"
  done
done
