// Decoder behaviour on hand-made files: worked examples, reports and refusals.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

TEST(DecompressFile, ZeroSegmentAndAllZeroTransformSegmentGiveSilence) {
  const Bytes zeroSegment = {0x11, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00};
  const Bytes transformSegment = {0x11, 0x00, 0x00, 0x00, 0x00, 0x80, 0x80, 0x80, 0x02, 0x1E};
  EXPECT_EQ(decompressBytes(zeroSegment), Bytes(256, 0));
  EXPECT_EQ(decompressBytes(transformSegment), Bytes(256, 0));
}

TEST(DecompressFile, ConstantSegmentsInStereoEightBit) {
  // Stereo 8-bit, N = 128, n = 128: left constant -2, right constant 5.
  const Bytes file = {0x11, 0xA0, 0x00, 0x00, 0x00, 0x80, 0x40, 0xFF, 0xFE, 0x40, 0x00, 0x05};
  Bytes expected;
  for (int i = 0; i < 128; ++i) {
    expected.push_back(126);
    expected.push_back(133);
  }
  EXPECT_EQ(decompressBytes(file), expected);
  EXPECT_EQ(decompressBytes(file, true), expected) << "swap bytes has no effect on 8-bit output";
}

TEST(DecompressFile, EmptyFilesWriteOnlyTheHeaderCopyAndReport) {
  RecordingSink sink;
  EXPECT_TRUE(decompressBytes(Bytes{0x11, 0x85, 0, 0, 0, 0}, false, &sink).empty());
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0].first, "\nQOLA file version\t: 1.7 DOS\naudio data type\t: 2 x 0 samples (16 bit)");
  EXPECT_EQ(sink.reports[0].second, "Ready");
  EXPECT_EQ(sink.progress, (std::vector<int>{0, 0}));

  Bytes withCopy = {0x11, 0x10, 0, 0, 0, 0, 3, 'a', 'b', 'c'};
  EXPECT_EQ(decompressBytes(withCopy), (Bytes{'a', 'b', 'c'}));
}

TEST(DecompressFile, PlatformBitSelectsSolarisInTheReport) {
  RecordingSink sink;
  decompressBytes(Bytes{0x90, 0x20, 0, 0, 0, 0}, false, &sink);
  EXPECT_EQ(sink.reports.at(0).first, "\nQOLA file version\t: 1.6 Solaris\naudio data type\t: 0 samples (8 bit)");
}

TEST(DecompressFile, OldVersionIsRefusedBeforeAnythingIsWritten) {
  Bytes output;
  const Bytes file = {0x0E, 0x10, 0, 0, 0, 0, 3, 'a', 'b', 'c'};
  const auto message = fatalMessageOf([&] {
    InputStream in(file);
    OutputStream out(output);
    RecordingSink sink;
    decompressFile(CodecSettings{}, in, out, sink);
  });
  EXPECT_EQ(message, "Old file version, program terminated");
  EXPECT_TRUE(output.empty());
}

TEST(DecompressFile, DamagedStructuresAreRefused) {
  const std::vector<std::pair<Bytes, std::string>> damaged = {
      {{0x11, 0x00, 0, 0, 0, 0x80}, "the file ends before its last segment"},
      {{0x11, 0x00, 0, 0, 0x01, 0x00, 0x00}, "the file ends before its last segment"},
      {{0x11, 0x00, 0, 0, 0, 0x80, 0x01}, "a segment is longer than its block"},  // 256 samples in 128
      {{0x11, 0xC1, 0, 0, 0x01, 0x00, 0x00, 0x01}, "the segments of a block overrun its length"},  // 128 + 256
      {{0x11, 0x00, 0, 0, 0, 0x80, 0x40, 0x12}, "the file ends inside a constant segment"},
      {{0x11, 0x10, 0, 0, 0, 0x00, 5, 1, 2}, "the file ends inside the header copy"},
      {{0x11, 0x00}, "the file is too short for a file header"},
      {{0x11, 0x00, 0x80, 0, 0, 0}, "the sample count is out of range"},
      // Segments that contradict the block layout the flags describe.
      {{0x11, 0x01, 0, 0, 0x02, 0x00, 0x00, 0x00}, "a segment is shorter than its block without adaptation"},
      {{0x11, 0x81, 0, 0, 0x02, 0x00, 0x00, 0x00}, "a segment is shorter than its block without adaptation"},
      {{0x11, 0x01, 0, 0, 0, 0xC8, 0x00}, "the segments do not match the sample count"},
      {{0x11, 0x41, 0, 0, 0x02, 0x00, 0x00, 0x01}, "the segments of a block overrun its length"},
      {{0x11, 0xC1, 0, 0, 0, 0x64, 0x00, 0x01}, "the channels of the final block differ in length"},
  };
  for (const auto& item : damaged) {  // no structured binding: clang 14 cannot capture one
    const auto& file = std::get<0>(item);
    EXPECT_EQ(fatalMessageOf([&] { decompressBytes(file); }),
              "Damaged file: " + std::get<1>(item) + ", program terminated");
  }
}

TEST(DecompressFile, MonoFinalSegmentWritesOnlyTheRemainingSamples) {
  // Mono 16-bit, N = 4096, n = 10000: two zero blocks and a final constant segment.
  const Bytes file = {0x11, 0x05, 0x00, 0x00, 0x27, 0x10, 0x05, 0x05, 0x45, 0x00, 0x07};
  const Bytes out = decompressBytes(file);
  ASSERT_EQ(out.size(), 20000u);
  EXPECT_EQ(out[2 * 8192], 7);
  EXPECT_EQ(out[2 * 9999], 7);
}

}  // namespace
}  // namespace qola::test
