// The block index through whole files: every unit decodes alone, from its
// bytes and place only, to exactly its part of the full restore; an index that
// does not fit its file is not used (a damaged unit's message is
// checked through the seeking decoder). When a file carries the index, and its
// bytes, are pinned by the golden files; its restore from a pipe by TrailerJobTest.
#include "codec/BlockIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "TestSupport.h"
#include "codec/FileRecords.h"
#include "codec/Trailer.h"

namespace qola::test {
namespace {

struct Shape {
  const char* name;
  int channels, bits, blockIndex;
  Adaptation level;
  bool joint;
  int frames;
};

// Music-like samples with silent and constant stretches (zero and constant
// segments) and, in stereo, a right channel that is often the left one
// shifted (lagged segments whose lag the zero segments after them keep).
Bytes pcmOf(const Shape& shape) {
  Bytes bytes;
  std::uint32_t state = 7;
  for (int t = 0; t < shape.frames; ++t) {
    for (int c = 0; c < shape.channels; ++c) {
      const int at = c == 1 && (t / 3000) % 2 == 0 ? t + 5 : t;
      state = state * 1103515245u + 12345u;
      double v = 9000 * std::sin(at * 0.013) + 2000 * std::sin(at * 0.31) + (c == 1 ? (state >> 25) : 0);
      if ((t / 1700) % 5 == 1) v = 0;
      if ((t / 1700) % 5 == 3) v = -2;
      const auto sample = static_cast<std::int16_t>(v);
      if (shape.bits == 8) {
        bytes.push_back(static_cast<std::uint8_t>((sample >> 8) + 128));
      } else {
        bytes.push_back(static_cast<std::uint8_t>(sample & 0xff));
        bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(sample) >> 8));
      }
    }
  }
  return bytes;
}

CodecSettings settingsOf(const Shape& shape) {
  return {.channelCount = shape.channels,
          .sampleBits = shape.bits,
          .blockLengthIndex = shape.blockIndex,
          .adaptation = shape.level,
          .jointStereo = shape.joint,
          .threads = 1};
}

BlockLayout layoutOf(const Shape& shape) {
  BlockLayout layout;
  layout.N = 128 << shape.blockIndex;
  layout.channels = shape.channels;
  layout.adaptive = shape.level != Adaptation::None;
  layout.jointStereo = shape.joint;
  layout.eightBit = shape.bits == 8;
  layout.finalFrames = finalBlockFrames(shape.frames, layout.N);
  return layout;
}

using enum Adaptation;
const Shape kShapes[] = {
    {"stereo16_n4096_full_joint", 2, 16, 5, Full, true, 4096 * 5 + 1000},
    {"stereo16_n4096_full_joint_whole_units", 2, 16, 5, Full, true, 4096 * 4},
    {"stereo16_n128_none_joint", 2, 16, 0, None, true, 4096 * 3 + 77},
    {"stereo8_n2048_medium_joint_final_1025", 2, 8, 4, Medium, true, 4096 * 2 + 1025},
    {"mono16_n512_full", 1, 16, 2, Full, false, 4096 * 3 + 300},
    {"mono8_n1024_none", 1, 8, 3, None, false, 4096 * 2 + 4000},
};

class BlockIndexFile : public ::testing::TestWithParam<Shape> {};

TEST_P(BlockIndexFile, EveryUnitDecodesAloneToItsPartOfTheRestore) {
  const Shape& shape = GetParam();
  const Bytes pcm = pcmOf(shape);
  const Bytes file = roundTrip(settingsOf(shape), pcm);
  const int N = 128 << shape.blockIndex;
  InputStream input(file);
  const std::vector<UnitPlace> units = readFileIndex(input, shape.frames, N, format::kFileHeaderSize);
  ASSERT_EQ(static_cast<std::int64_t>(units.size()), indexUnitCount(shape.frames, indexUnitFrames(N)));
  const auto frameBytes = static_cast<std::size_t>(shape.channels * shape.bits / 8);
  UnitDecoder decoder(layoutOf(shape), shape.frames);
  // Last unit first, so that nothing a unit leaves behind can help the next.
  for (auto unit = units.rbegin(); unit != units.rend(); ++unit) {
    std::vector<std::uint8_t> out;
    const auto bytes = std::span(file).subspan(static_cast<std::size_t>(unit->offset), unit->length);
    ASSERT_TRUE(unitIntact(*unit, bytes)) << "unit at frame " << unit->firstFrame;
    decodeUnitBlocks(decoder, *unit, bytes, out);
    const auto from = static_cast<std::size_t>(unit->firstFrame) * frameBytes;
    ASSERT_EQ(out.size(), static_cast<std::size_t>(unit->frames) * frameBytes) << unit->firstFrame;
    EXPECT_TRUE(std::equal(out.begin(), out.end(), pcm.begin() + static_cast<std::ptrdiff_t>(from)))
        << "unit at frame " << unit->firstFrame;
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, BlockIndexFile, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

TEST(BlockIndex, AnIndexThatDoesNotFitItsFileIsNotUsed) {
  BlockIndex index;
  index.unitFrames = 8192;
  index.units = {{100, 1}, {60, 2}, {50, 3}};
  const std::int64_t frames = 8192 * 2 + 5;
  const auto units = placeUnits(index, frames, 4096, 6, 216);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[2].offset, 166);
  EXPECT_EQ(units[2].firstFrame, 16384);
  EXPECT_EQ(units[2].frames, 5);
  EXPECT_TRUE(placeUnits(index, frames, 4096, 6, 215).empty()) << "the audio is a byte shorter";
  EXPECT_TRUE(placeUnits(index, frames + 8192, 4096, 6, 216).empty()) << "another frame count";
  EXPECT_TRUE(placeUnits(index, frames, 4096 * 4, 6, 216).empty()) << "units of part of a block";
  index.units[2].length = 0;
  index.units[1].length = 110;
  EXPECT_TRUE(placeUnits(index, frames, 4096, 6, 216).empty()) << "a unit too short for its blocks";
}

}  // namespace
}  // namespace qola::test
