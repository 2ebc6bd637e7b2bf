// The trailer through whole jobs: every byte back, the stored byte order, the
// plain path that stops at the sample count, joined files and damage.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qola::test {
namespace {

// swap: > 0 big-endian, 0 as the file says, < 0 little-endian.
Settings settingsOf(int swap, bool trailer = true) {
  Settings settings;
  settings.swap_bytes = swap;
  settings.trailer = trailer ? 1 : 0;
  return settings;
}

Bytes withOddEnd(Bytes wav) {
  wav.insert(wav.end(), {'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x'});
  return wav;
}

// Files of one index unit (a version 1 trailer) and of three (with the index).
std::vector<Bytes> inputs() { return {withOddEnd(testWav(3000)), withOddEnd(testWav(4096 * 2 + 3000))}; }

TEST(TrailerJob, RestoresEveryByteAndTheByteOrderTheFileStores) {
  for (const Bytes& input : inputs()) {
    struct Case {
      int compressSwap, restoreSwap;
      bool pipe, same;
      qola_checksum checksum;
    };
    for (const Case c :
         {Case{0, 0, false, true, QOLA_CHECKSUM_OK}, Case{1, 0, false, true, QOLA_CHECKSUM_OK},
          Case{1, 1, true, true, QOLA_CHECKSUM_OK}, Case{1, -1, false, false, QOLA_CHECKSUM_NOT_COMPARED},
          Case{0, 0, true, true, QOLA_CHECKSUM_OK}}) {
      SCOPED_TRACE(std::to_string(c.compressSwap) + "/" + std::to_string(c.restoreSwap) + (c.pipe ? " pipe" : ""));
      const JobRun compressed = runJob(true, input, settingsOf(c.compressSwap));
      const JobRun restored = runJob(false, compressed.output, settingsOf(c.restoreSwap), c.pipe);
      ASSERT_EQ(restored.status, QOLA_OK) << restored.message;
      EXPECT_EQ(restored.output == input, c.same);
      EXPECT_EQ(restored.result.checksum, c.checksum);
      EXPECT_TRUE(std::equal(std::begin(compressed.result.md5), std::end(compressed.result.md5),
                             std::begin(restored.result.md5)));
    }
    // From a pipe, a stored byte order is known only at the end.
    const JobRun piped = runJob(false, runJob(true, input, settingsOf(1)).output, settingsOf(0), true);
    EXPECT_EQ(piped.status, QOLA_ERROR_JOB);
    EXPECT_NE(piped.message.find("restore it again with swap bytes on"), std::string::npos) << piped.message;
  }
}

// A decoder that stops at the sample count reads the file as if it had no
// trailer: whole frames and header come back, nothing after them is read.
TEST(TrailerJob, ThePlainPathIgnoresTheTrailer) {
  for (const Bytes& input : inputs()) {
    const Bytes compressed = runJob(true, input).output, plain = runJob(true, input, settingsOf(0, false)).output;
    ASSERT_GT(compressed.size(), plain.size() + 35);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), compressed.begin()));
    const JobRun restored = runJob(false, compressed, settingsOf(0, false));
    EXPECT_EQ(restored.result.checksum, QOLA_CHECKSUM_NONE);
    EXPECT_TRUE(restored.output == Bytes(input.begin(), input.end() - 1));
  }
}

// Bytes after a trailer, or after a file without one, are counted and
// ignored; a trailer that does not start where the audio ends is damage, also
// when the trailer is damaged too (the audio seemingly ends early, before
// bytes that are the file's own: its trailer's magic is among them).
TEST(TrailerJob, BytesAfterTheAudioAreCountedOrNamed) {
  const Bytes input = testWav(2000);
  const Bytes first = runJob(true, input).output, plain = runJob(true, input, settingsOf(0, false)).output;
  const auto plainWith = [&](Bytes rest, std::size_t flipFromEnd) {
    rest.insert(rest.end(), first.begin() + static_cast<std::ptrdiff_t>(plain.size()), first.end());
    if (flipFromEnd > 0) rest[rest.size() - flipFromEnd] ^= 1;
    rest.insert(rest.begin(), plain.begin(), plain.end());
    return rest;
  };
  Bytes joined = first, cut = first, strange = plain;
  joined.insert(joined.end(), first.begin(), first.end());
  cut.erase(cut.end() - 40, cut.end() - 35);  // audio shortened: the trailer comes early
  strange.insert(strange.end(), {7, 7, 7});
  const std::string early = "Damaged file: the audio data does not end where its checksum trailer begins";
  const struct {
    Bytes file;
    std::int64_t ignored;
    std::string message;
  } cases[] = {{joined, static_cast<std::int64_t>(first.size()), ""},
               {strange, 3, ""},
               {cut, 0, early},
               {plainWith({7, 7, 7}, 10), 0, early},  // its closing CRC broken
               {plainWith({7, 7, 7}, 1), 0, early}};  // its closing magic broken
  for (const auto& c : cases) {
    for (const bool pipe : {false, true}) {
      const JobRun run = runJob(false, c.file, Settings(), pipe);
      EXPECT_EQ(run.message, c.message) << c.file.size() << (pipe ? " from a pipe" : "");
      EXPECT_EQ(run.result.ignored_bytes, c.ignored);
    }
  }
}

// Every single-byte change of a small compressed file, in the audio and in
// the trailer alike, is refused with a message or restores exactly.
TEST(TrailerJob, EveryFlippedByteIsCaughtOrHarmless) {
  const Bytes input = withOddEnd(testWav(700, 200));
  const Bytes good = runJob(true, input).output;
  int trailerDamage = 0;
  for (std::size_t at = 0; at < good.size(); ++at) {
    Bytes bad = good;
    bad[at] ^= static_cast<std::uint8_t>(1u << (at % 8));
    const JobRun run = runJob(false, bad);
    if (run.status == QOLA_OK) {
      ASSERT_TRUE(run.output == input) << "byte " << at << " of " << good.size() << " restored to different bytes";
    } else {
      ASSERT_FALSE(run.message.empty()) << "byte " << at;
      trailerDamage += run.message.find("trailer is damaged") != std::string::npos;
    }
  }
  EXPECT_GE(trailerDamage, 35);
}

}  // namespace
}  // namespace qola::test
