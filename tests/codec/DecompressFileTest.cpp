// Decoder behaviour on hand-made files: worked examples, reports and refusals.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

// A segment our encoder never writes, and the reports of each file version and platform.
TEST(DecompressFile, WorkedExamplesAndReports) {
  const struct {
    Bytes file, output;
    std::string report;  // its start
  } cases[] = {
      {{0x11, 0x00, 0, 0, 0, 0x80, 0x00},
       Bytes(256, 0),
       "\nQOLA file version\t: 1.7 DOS\naudio data type\t: 128 samples"},
      {{0x11, 0x00, 0, 0, 0, 0x80, 0x80, 0x80, 0x02, 0x1E}, Bytes(256, 0), ""},  // an all-zero transform segment
      {{0x11, 0x85, 0, 0, 0, 0}, {}, "\nQOLA file version\t: 1.7 DOS\naudio data type\t: 2 x 0 samples (16 bit)"},
      {{0x90, 0x20, 0, 0, 0, 0}, {}, "\nQOLA file version\t: 1.6 Solaris\naudio data type\t: 0 samples (8 bit)"},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    EXPECT_EQ(decompressBytes(c.file, false, &sink), c.output);
    EXPECT_EQ(decompressBytes(c.file, true), c.output) << "with swap bytes";
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].rfind(c.report, 0), 0u) << sink.reports[0];
  }
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
  EXPECT_EQ(message, "Old file version");
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
      // Mono, adaptive, N = 256, four blocks: zero, constant 5, two halves,
      // then a half and a whole block: what comes before the damage is written.
      {{0x11, 0x41, 0, 0, 0x04, 0x00, 0x01, 0x41, 0x00, 0x05, 0x00, 0x40, 0x00, 0x07, 0x00, 0x01},
       "the segments of a block overrun its length"},
  };
  std::vector<Bytes> written;
  for (const auto& item : damaged) {  // no structured binding: clang 14 cannot capture one
    const auto& file = std::get<0>(item);
    written.clear();
    for (const int threads : {1, 2}) {  // blocks in flight are written before the error, as by one thread
      CodecSettings settings;
      settings.mode = Mode::Decompress;
      settings.threads = threads;
      Bytes& output = written.emplace_back();
      EXPECT_EQ(fatalMessageOf([&] {
                  InputStream in(file);
                  OutputStream out(output);
                  RecordingSink sink;
                  decompressFile(settings, in, out, sink);
                }),
                "Damaged file: " + std::get<1>(item))
          << threads << " threads";
    }
    EXPECT_EQ(written[0], written[1]);
  }
  EXPECT_EQ(written[0].size(), 2u * (3 * 256 + 128)) << "the last case: three blocks and the half before the damage";
}

}  // namespace
}  // namespace qola::test
