#include "codec/FileRecords.h"

#include <gtest/gtest.h>

#include <tuple>

#include "TestSupport.h"

namespace qola::test {
namespace {

TEST(FileRecords, SegmentHeadersAndConstantValue) {
  using enum format::SegmentKind;
  // header written, its bytes, whether the file has the joint flag, header read back
  const std::vector<std::tuple<SegmentHeader, Bytes, bool, SegmentHeader>> cases = {
      {{Zero, 7}, {0x00}, true, {Zero, 7}},
      {{Constant, 12}, {0x45}, false, {Constant, 12}},
      {transformHeader(9, format::kNoJointStereo), {0x82}, true, {Transform, 9}},
      {transformHeader(10, -20), {0xC3, 0xEC}, true, {LaggedTransform, 10, -20}},
      {transformHeader(7, 20), {0xC0, 0x14}, true, {LaggedTransform, 7, 20}},
      {transformHeader(8, 3), {0xC1, 0x03}, false, {Transform, 8}},  // no lag byte is read back
  };
  for (const auto& [written, bytes, joint, read] : cases) {
    Bytes out;
    OutputStream output(out);
    writeSegmentHeader(output, written);
    EXPECT_EQ(out, bytes);
    InputStream input(bytes);
    const SegmentHeader header = readSegmentHeader(input, joint);
    EXPECT_TRUE(header.kind == read.kind && header.s == read.s && header.lag == read.lag) << int{bytes[0]};
  }
  const Bytes ignored = {0x78};  // bits 3-5 are ignored
  InputStream input(ignored);
  EXPECT_EQ(readSegmentHeader(input, false).kind, Constant);

  Bytes out;
  OutputStream output(out);
  writeConstantSegment(output, 8, -2);
  EXPECT_EQ(out, (Bytes{0x41, 0xFF, 0xFE}));
  InputStream constant(std::span<const std::uint8_t>(out).subspan(1));
  EXPECT_EQ(readConstantValue(constant), -2);
}

TEST(FileRecords, TheFinalSegmentRule) {
  // (N, frames in the final block, adaptive, the final segment's length); N/4 only from N = 512 on.
  for (const auto& [N, frames, adaptive, length] :
       std::vector<std::tuple<int, int, bool, int>>{{4096, 1808, false, 4096},
                                                    {4096, 1000, true, 1024},
                                                    {4096, 1024, true, 1024},
                                                    {4096, 1025, true, 2048},
                                                    {4096, 3000, true, 4096},
                                                    {512, 100, true, 128},
                                                    {256, 60, true, 128},
                                                    {128, 10, true, 128}}) {
    EXPECT_EQ(finalSegmentLength(N, frames, adaptive), length) << N << " " << frames;
  }
}

}  // namespace
}  // namespace qola::test
