#include "codec/Report.h"

#include <gtest/gtest.h>

namespace qola {
namespace {

TEST(Report, CompressionTextIsExact) {
  const struct {
    std::int64_t frames;
    int channels, bytesPerSample, headerLength;
    std::int64_t compressedSize;
    const char* text;
  } cases[] = {
      {100000, 2, 2, 0, 200000,
       "\nprocessed data\t: 2 x 100000 samples (16 bit)\noriginal size\t: 400000 bytes"
       "\ncompressed file\t: 200000 bytes\ncompression ratio\t: 2.000\naverage bit rate\t: 8.000 bps"},
      {1000, 1, 1, 44, 522,
       "\nprocessed data\t: 1000 samples (8 bit)\noriginal size\t: 1044 bytes"
       "\ncompressed file\t: 522 bytes\ncompression ratio\t: 2.000\naverage bit rate\t: 4.000 bps"},
      {0, 2, 2, 0, 6,
       "\nprocessed data\t: 2 x 0 samples (16 bit)\noriginal size\t: 0 bytes"
       "\ncompressed file\t: 6 bytes\ncompression ratio\t: 0.000\naverage bit rate\t: 0.000 bps"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        reportText(compressionResult(c.frames, c.channels, c.bytesPerSample, c.headerLength, c.compressedSize)),
        c.text);
  }
}

}  // namespace
}  // namespace qola
