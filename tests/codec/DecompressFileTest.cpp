// Decoder behaviour on hand-made files: worked examples, reports and refusals.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "codec/BlockIndex.h"

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

TEST(DecompressFile, DamagedStructuresAreRefused) {
  const std::vector<std::pair<Bytes, std::string>> damaged = {
      {{0x11, 0x00, 0, 0, 0, 0x80}, "the file ends before its last segment"},
      {{0x11, 0x00, 0, 0, 0x01, 0x00, 0x00},
       "the file ends before its last segment; frames 128 to 255 are lost, the 128 frames before them are "
       "restored"},
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
  for (const auto& [file, message] : damaged) {
    written.clear();
    for (const int threads : {1, 2}) {  // blocks in flight are written before the error, as by one thread
      const RestoreOutcome r = restoreOutcome(file, threads);
      EXPECT_EQ(r.message, "Damaged file: " + message) << threads << " threads";
      written.push_back(r.output);
    }
    EXPECT_EQ(written[0], written[1]);
  }
  EXPECT_EQ(written[0].size(), 2u * (3 * 256 + 128))
      << "the last case: three blocks and the half before the damage";
  // An old version is refused before anything is written.
  const RestoreOutcome old = restoreOutcome(Bytes{0x0E, 0x10, 0, 0, 0, 0, 3, 'a', 'b', 'c'}, 1);
  EXPECT_TRUE(old.message == "Old file version" && old.output.empty());
}

// A file cut at any length has lost its trailer and so its index: the blocks
// are decoded forward, what came before the cut is written exactly (every
// whole unit at least) and the lost frames are named; the job fails as
// damaged, which a caller may keep. A cut inside the trailer loses at most
// its leftover bytes and the checksum. Nothing is kept of a cut before the
// first block ends.
TEST(DecompressFile, ACutFileRestoresWhatCameBeforeTheCut) {
  constexpr std::int64_t kFrames = 4096 * 6 + 700;
  constexpr std::int64_t kAudioStart = 6 + 1 + 44;
  constexpr std::size_t kFrameBytes = 4;  // stereo 16-bit
  Bytes original = testWav(kFrames, 40);
  original.push_back(0x5A);  // after the last whole frame: kept in the trailer
  Settings settings;
  settings.block_length = 1024;  // four blocks a unit
  const Bytes file = runJob(true, original, settings).output;
  InputStream in(file);
  const std::vector<UnitPlace> units = readFileIndex(in, kFrames, 1024, kAudioStart);
  ASSERT_EQ(units.size(), 7u);
  const std::int64_t audioEnd = units.back().offset + units.back().length;
  const auto size = static_cast<std::int64_t>(file.size());

  enum class Outcome { Nothing, AudioLost, LeftoverLost, Verified, LooksWhole };
  struct Case {
    std::int64_t length;
    Outcome outcome;
  };
  std::vector<Case> cases = {
      {3, Outcome::Nothing},   // inside the file header
      {30, Outcome::Nothing},  // inside the header copy
      {kAudioStart, Outcome::Nothing},
      {kAudioStart + 20, Outcome::Nothing},
      {audioEnd - 1, Outcome::AudioLost},
      {audioEnd, Outcome::LooksWhole},                        // as if written without a trailer
      {audioEnd + 2, Outcome::LeftoverLost},                  // a part of the magic
      {audioEnd + 20, Outcome::LeftoverLost},                 // inside the MD5
      {audioEnd + 26, Outcome::Verified},                     // the leftover byte is there
      {audioEnd + (size - audioEnd) / 2, Outcome::Verified},  // inside the index
      {size - 1, Outcome::Verified},
  };
  for (std::size_t u = 1; u < units.size(); ++u) {  // at, just before and inside each unit after the first
    for (const std::int64_t at : {units[u].offset - 1, units[u].offset, units[u].offset + units[u].length / 2}) {
      cases.push_back({at, Outcome::AudioLost});
    }
  }
  for (const auto& c : cases) {
    const Bytes cut(file.begin(), file.begin() + c.length);
    const RestoreOutcome r = restoreOutcome(cut, 1), threaded = restoreOutcome(cut, 2);
    EXPECT_TRUE(r.output == threaded.output) << c.length;
    EXPECT_EQ(r.message, threaded.message) << c.length;
    switch (c.outcome) {
      case Outcome::Nothing: EXPECT_TRUE(r.status && *r.status != Failure::Checksum) << c.length; break;
      case Outcome::AudioLost: {
        EXPECT_EQ(r.status, Failure::Checksum) << c.length;
        ASSERT_TRUE(r.output.size() < original.size() &&
                    std::equal(r.output.begin(), r.output.end(), original.begin()))
            << c.length << ": the output is not the original's start";
        const auto restored = static_cast<std::int64_t>((r.output.size() - 44) / kFrameBytes);
        EXPECT_EQ((r.output.size() - 44) % kFrameBytes, 0u) << c.length;
        for (const UnitPlace& unit : units) {
          if (unit.offset + unit.length <= c.length) {
            EXPECT_GE(restored, unit.firstFrame + unit.frames) << c.length;
          }
        }
        const std::string named =
            "frames " + std::to_string(restored) + " to " + std::to_string(kFrames - 1) + " (";
        EXPECT_EQ(r.message.rfind("Damaged file: the file ends ", 0), 0u) << r.message;
        EXPECT_NE(r.message.find("; " + named), std::string::npos) << r.message;
        break;
      }
      case Outcome::LeftoverLost:
      case Outcome::Verified:
      case Outcome::LooksWhole: {
        const bool verified = c.outcome == Outcome::Verified;
        EXPECT_TRUE(r.output == Bytes(original.begin(), original.end() - (verified ? 0 : 1))) << c.length;
        if (c.outcome == Outcome::LooksWhole) {
          EXPECT_FALSE(r.status) << r.message;
        } else {
          EXPECT_EQ(r.status, Failure::Checksum) << c.length;
          EXPECT_NE(r.message.find(verified ? "every byte is restored and matches the checksum"
                                            : "every frame is restored, but not the bytes after"),
                    std::string::npos)
              << r.message;
        }
        break;
      }
    }
  }
}

}  // namespace
}  // namespace qola::test
