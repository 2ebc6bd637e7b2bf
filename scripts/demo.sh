#!/usr/bin/env bash
# The main job on the bundled sample: compress it, restore it, show both
# reports and confirm that the restored file equals the original byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
qola=build/release/cli/qola
sample=samples/demo.wav
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== Compressing $sample"
"$qola" -f -o "$work/demo.wav.qla" "$sample"
echo
echo "== Restoring"
"$qola" -d -f -o "$work/demo.wav" "$work/demo.wav.qla"
echo
if cmp "$sample" "$work/demo.wav"; then
  echo "Round trip is bit-exact: $(stat -c %s "$sample") bytes -> $(stat -c %s "$work/demo.wav.qla") bytes -> identical"
else
  echo "ROUND TRIP FAILED: the restored file differs" >&2
  exit 1
fi
