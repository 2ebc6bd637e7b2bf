#!/usr/bin/env bash
# Injects plausible coding faults one at a time into a scratch copy of the
# tree, builds the unit tests, runs them as a fresh clone would (no shared
# vectors or corpus) and prints for each fault whether a test caught it.
# A fault the tests miss is one a user's clone could ship unnoticed.
#
# Usage: scripts/inject-faults.sh [PATTERN]  (uses $TMPDIR for the scratch tree)
# PATTERN (an extended regular expression) keeps only the faults whose name
# matches it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${TMPDIR:-/tmp}/qola-faults
tree=$work/tree
build=$work/build
rm -rf "$work"
mkdir -p "$tree"
# The working copy as it is, committed or not, without build folders.
(cd "$root" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) | tar -xf - -C "$tree"

# name | file | sed program that breaks it
faults=(
  "lag +20 never tried in the stereo decision|src/dsp/StereoDecision.cpp|s/d <= kMaxLag; ++d/d < kMaxLag; ++d/"
  "residual model's peak one place off|src/entropy/BlockCoding.cpp|s/(magnitude - 3) + k/(magnitude - 2) + k/"
  "right channel's final partial block left unpadded|src/codec/CompressFile.cpp|s/if (job.layout.channels == 2)\$/if (false)/"
  "lag byte read as unsigned|src/codec/FileRecords.cpp|s/static_cast<std::int8_t>(readFileByte(input, \"inside a segment\"))/readFileByte(input, \"inside a segment\")/"
  "mono final segment as long as the frames left refused|src/codec/BlockDecoder.cpp|s/if ((1 << segment.s) < remaining) damagedFile/if ((1 << segment.s) <= remaining) damagedFile/"
  "stereo final segment as long as the frames left refused|src/codec/BlockDecoder.cpp|s/m < layout.finalFrames)) damagedFile/m <= layout.finalFrames)) damagedFile/"
  "restore's MD5 taken in the order blocks finish|src/common/WorkerPool.cpp|/turnTaken_.wait(lock, /d"
  "CRC-32 skips its last byte in writer and reader|src/common/Checksums.cpp|s/for (; count > 0; ++bytes, --count) c = t/for (; count > 1; ++bytes, --count) c = t/"
  "trailer magic changed in writer and reader|src/common/FormatConstants.h|s/{'Q', 'L', 'T', 'R'}/{'Q', 'L', 'T', 'S'}/"
  "default mode drops the lag carrier|src/codec/BlockEncoder.cpp|s/mode != EncoderMode::Reference) costD = carryLag/mode == EncoderMode::Best) costD = carryLag/"
  "best mode stops rounding toward zero|src/codec/BestSearch.h|s/bool roundingByBytes = true;/bool roundingByBytes = false;/"
  "fast mode splits blocks|src/codec/CompressFile.cpp|s/EncoderMode::Fast ? Adaptation::None/EncoderMode::Fast ? Adaptation::Medium/"
  "pair code costed at three bits a pair|src/dsp/Analysis.cpp|s/values\\[i + 1\\] == 0) ? 1 : 4;/values[i + 1] == 0) ? 1 : 3;/"
  "probe reads the channel mask two bytes early|src/codec/Probe.cpp|s/chunk.held.data() + kChannelMaskOffset)/chunk.held.data() + kChannelMaskOffset - 2)/"
  "compression ratio inverted|src/codec/Report.cpp|s/static_cast<double>(r.original_size) \\/ static_cast<double>(compressedSize)/static_cast<double>(compressedSize) \\/ static_cast<double>(r.original_size)/"
  "last index unit one frame short|src/codec/BlockIndex.cpp|s/static_cast<int>(std::min(U, frames - first))/static_cast<int>(std::min(U, frames - first - 1))/"
)

configure() {
  cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOLA_BUILD_GUI=OFF \
    -DQOLA_BUILD_BENCH=OFF -DQOLA_BUILD_PYTHON=OFF -DQOLA_BUILD_GSTREAMER=OFF > "$work/configure.log"
}
build_tests() { cmake --build "$build" --target qola_tests qola_shared qola_unload_test -j "$(nproc)" > "$work/build.log" 2>&1; }
# A directory that does not exist: the tests must not find the shared folder.
run_tests() {
  (cd "$build" && QOLA_SHARED_DIR="$work/no-shared" ctest -j "$(nproc)" --timeout 300 > "$work/ctest.log" 2>&1)
}

configure
build_tests || { echo "the unchanged tree does not build; see $work/build.log"; exit 2; }
run_tests || { echo "the unchanged tree fails its tests; see $work/ctest.log"; exit 2; }
echo "unchanged tree: $(grep -E 'tests passed' "$work/ctest.log")"

caught=0
tried=0
for entry in "${faults[@]}"; do
  IFS='|' read -r name file program <<< "$entry"
  [[ -z "${1:-}" || "$name" =~ $1 ]] || continue
  tried=$((tried + 1))
  cp "$tree/$file" "$work/original"
  sed -i -e "$program" "$tree/$file"
  if cmp -s "$tree/$file" "$work/original"; then
    echo "NOT APPLIED  $name (pattern not found in $file)"
  elif ! build_tests; then
    echo "NO BUILD     $name (see $work/build.log)"
  elif run_tests; then
    echo "MISSED       $name"
  else
    caught=$((caught + 1))
    failed=$(sed -n '/tests FAILED/,$p' "$work/ctest.log" | grep -oE '[0-9]+ - [^ ]+' | cut -d' ' -f3 | head -4 | paste -sd' ')
    echo "CAUGHT       $name  by: $failed"
  fi
  cp "$work/original" "$tree/$file"
done
echo "caught $caught of $tried faults"
[ "$caught" -eq "$tried" ]
