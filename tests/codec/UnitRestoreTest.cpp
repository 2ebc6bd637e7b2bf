// The restore through the block index confines damage to the units it hits,
// each named, the rest exact (ApiTest restores it whole on many threads).
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "TestSupport.h"
#include "codec/BlockIndex.h"
#include "codec/Trailer.h"

namespace qola::test {
namespace {

constexpr std::size_t kAudioStart = 6 + 1 + 44;  // file header and WAV header copy
constexpr std::size_t kFrameBytes = 4;           // stereo 16-bit
constexpr std::int64_t kFrames = 4096 * 5 + 1234;

RestoreOutcome restore(const Bytes& file, int threads) { return restoreOutcome(file, threads, true); }

const Bytes& original() {
  static const Bytes wav = testWav(kFrames, 40);
  return wav;
}

const Bytes& compressed() {
  static const Bytes file = runJob(true, original()).output;
  return file;
}

std::vector<UnitPlace> unitsOf(const Bytes& file) {
  InputStream in(file);
  return readFileIndex(in, kFrames, 4096, kAudioStart);
}

// One flipped byte at 500 places spread over the audio: the unit that holds
// it is named (frames and time), restored as silence, and every other frame
// comes back exactly; the job fails as a checksum mismatch.
TEST(UnitRestore, AFlippedByteDamagesOnlyItsUnit) {
  const std::vector<UnitPlace> units = unitsOf(compressed());
  ASSERT_EQ(units.size(), 6u);
  const std::int64_t audioEnd = units.back().offset + units.back().length;
  constexpr int kPlaces = 500;
  for (int i = 0; i < kPlaces; ++i) {
    const auto at =
        static_cast<std::int64_t>(kAudioStart) + (audioEnd - static_cast<std::int64_t>(kAudioStart)) * i / kPlaces;
    Bytes file = compressed();
    file[static_cast<std::size_t>(at)] ^= static_cast<std::uint8_t>(1 << (i % 8));
    const auto hit = std::find_if(units.begin(), units.end(),
                                  [at](const UnitPlace& u) { return at >= u.offset && at < u.offset + u.length; });
    ASSERT_NE(hit, units.end());
    const RestoreOutcome r = restore(file, 1 + i % 3);
    ASSERT_TRUE(r.status) << "byte " << at;
    EXPECT_EQ(r.status, Failure::Checksum);
    const std::string named = "frames " + std::to_string(hit->firstFrame) + " to " +
                              std::to_string(hit->firstFrame + hit->frames - 1) + " (";
    EXPECT_NE(r.message.find(named), std::string::npos) << r.message;
    Bytes expected = original();
    const auto from = kAudioStart - 7 + static_cast<std::size_t>(hit->firstFrame) * kFrameBytes;  // 44-byte header
    std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(from), hit->frames * kFrameBytes, 0);
    ASSERT_TRUE(r.output == expected) << "byte " << at;
  }
}

TEST(UnitRestore, DamageInSeveralUnitsIsNamedAsRanges) {
  const std::vector<UnitPlace> units = unitsOf(compressed());
  Bytes file = compressed();
  for (const std::size_t u : {1, 2, 4}) file[static_cast<std::size_t>(units[u].offset + 3)] ^= 0x20;
  const RestoreOutcome r = restore(file, 2);
  EXPECT_EQ(r.message,
            "checksum MISMATCH: the audio of frames 4096 to 12287 (0:00.092 to 0:00.278), 16384 to 20479 "
            "(0:00.371 to 0:00.464) is damaged and restored as silence; every other frame is restored exactly");
}

}  // namespace
}  // namespace qola::test
