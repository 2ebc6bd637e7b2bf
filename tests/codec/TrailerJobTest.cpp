// The trailer through whole jobs: every byte back, the stored byte order, the
// plain path that stops at the sample count, joined files and damage.
#include <qola/qola.hpp>

#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"
#include "cli/CliSupport.h"

namespace qola::test {
namespace {

struct JobRun {
  qola_status status = QOLA_OK;
  std::string message;
  qola_result result{};
  Bytes output;
};

// swap: > 0 big-endian, 0 as the file says; pipe: the input has no size.
JobRun runJob(bool compress, const Bytes& input, int swap = 0, bool trailer = true, bool pipe = false) {
  Settings settings;
  settings.swap_bytes = swap;
  settings.trailer = trailer ? 1 : 0;
  settings.threads = 1;
  struct Source {
    const Bytes* bytes;
    std::size_t at = 0;
  } source{&input};
  auto read = [](void* user, void* buffer, std::size_t count) -> std::ptrdiff_t {
    auto* s = static_cast<Source*>(user);
    const std::size_t n = std::min(count, s->bytes->size() - s->at);
    std::copy_n(s->bytes->begin() + static_cast<std::ptrdiff_t>(s->at), n, static_cast<std::uint8_t*>(buffer));
    s->at += n;
    return static_cast<std::ptrdiff_t>(n);
  };
  Input in = pipe ? Input::callbacks(read, nullptr, &source) : Input::memory(input);
  Output out = Output::memory();
  Job job(settings);
  JobRun run;
  try {
    run.result = compress ? job.compress(in, out) : job.decompress(in, out);
  } catch (const Error& error) {
    run.status = error.status();
    run.message = error.what();
    run.result = job.result();
  }
  run.output.assign(out.data().begin(), out.data().end());
  return run;
}

Bytes withOddEnd(Bytes wav) {
  for (const std::uint8_t byte : Bytes{'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x'}) wav.push_back(byte);
  return wav;
}

TEST(TrailerJob, RestoresEveryByteAndTheByteOrderTheFileStores) {
  const Bytes input = withOddEnd(testWav(3000));
  struct Case {
    int compressSwap, restoreSwap;
    bool pipe, same;
    qola_checksum checksum;
  };
  for (const Case c : {Case{0, 0, false, true, QOLA_CHECKSUM_OK}, Case{1, 0, false, true, QOLA_CHECKSUM_OK},
                       Case{1, 1, true, true, QOLA_CHECKSUM_OK}, Case{1, -1, false, false, QOLA_CHECKSUM_NOT_COMPARED},
                       Case{0, 0, true, true, QOLA_CHECKSUM_OK}}) {
    SCOPED_TRACE(std::to_string(c.compressSwap) + "/" + std::to_string(c.restoreSwap) + (c.pipe ? " pipe" : ""));
    const JobRun compressed = runJob(true, input, c.compressSwap);
    ASSERT_EQ(compressed.status, QOLA_OK) << compressed.message;
    const JobRun restored = runJob(false, compressed.output, c.restoreSwap, true, c.pipe);
    ASSERT_EQ(restored.status, QOLA_OK) << restored.message;
    EXPECT_EQ(restored.output == input, c.same);
    EXPECT_EQ(restored.result.checksum, c.checksum);
    EXPECT_TRUE(std::equal(std::begin(compressed.result.md5), std::end(compressed.result.md5),
                           std::begin(restored.result.md5)));
  }
  // From a pipe, a stored byte order is known only at the end.
  const JobRun swapped = runJob(true, input, 1);
  const JobRun piped = runJob(false, swapped.output, 0, true, true);
  EXPECT_EQ(piped.status, QOLA_ERROR_JOB);
  EXPECT_NE(piped.message.find("restore it again with swap bytes on"), std::string::npos) << piped.message;
}

// A decoder that stops at the sample count reads the file as if it had no
// trailer: whole frames and header come back, nothing after them is read.
TEST(TrailerJob, ThePlainPathIgnoresTheTrailer) {
  const Bytes input = withOddEnd(testWav(3000));
  const JobRun compressed = runJob(true, input);
  const JobRun plain = runJob(true, input, 0, false);
  ASSERT_EQ(compressed.output.size(), plain.output.size() + 35 + 1);  // one leftover byte
  EXPECT_TRUE(std::equal(plain.output.begin(), plain.output.end(), compressed.output.begin()));
  const JobRun restored = runJob(false, compressed.output, 0, false);
  ASSERT_EQ(restored.status, QOLA_OK) << restored.message;
  EXPECT_EQ(restored.result.checksum, QOLA_CHECKSUM_NONE);
  EXPECT_TRUE(restored.output == Bytes(input.begin(), input.end() - 1));
}

TEST(TrailerJob, BytesAfterTheAudioAreCountedOrNamed) {
  const Bytes input = testWav(2000);
  const Bytes first = runJob(true, input).output;
  const Bytes plain = runJob(true, input, 0, false).output;
  struct Case {
    Bytes file;
    qola_status status;
    std::int64_t ignored;
    const char* message;
  };
  Bytes joined = first;
  joined.insert(joined.end(), first.begin(), first.end());
  Bytes plainJoined = plain;
  plainJoined.insert(plainJoined.end(), {1, 2, 3});
  Bytes cut = first;
  cut.erase(cut.end() - 40, cut.end() - 35);  // audio shortened: the trailer comes early
  for (const Case& c : {Case{joined, QOLA_OK, static_cast<std::int64_t>(first.size()), ""},
                        Case{plainJoined, QOLA_OK, 3, ""},
                        Case{cut, QOLA_ERROR_JOB, 0, "Damaged file"}}) {
    const JobRun run = runJob(false, c.file);
    EXPECT_EQ(run.status, c.status) << run.message;
    EXPECT_NE(run.message.find(c.message), std::string::npos) << run.message;
    if (c.status == QOLA_OK) {
      EXPECT_EQ(run.result.ignored_bytes, c.ignored);
    }
  }
}

// Every single-byte change of a small compressed file, in the audio and in
// the trailer alike, is refused with a message or restores exactly.
TEST(TrailerJob, EveryFlippedByteIsCaughtOrHarmless) {
  const Bytes input = withOddEnd(testWav(700, 200));
  const Bytes good = runJob(true, input).output;
  int refused = 0, exact = 0, mismatches = 0, trailerDamage = 0;
  for (std::size_t at = 0; at < good.size(); ++at) {
    Bytes bad = good;
    bad[at] ^= static_cast<std::uint8_t>(1u << (at % 8));
    const JobRun run = runJob(false, bad);
    if (run.status == QOLA_OK) {
      ASSERT_TRUE(run.output == input) << "byte " << at << " of " << good.size() << " restored to different bytes";
      ++exact;
      continue;
    }
    ASSERT_FALSE(run.message.empty()) << "byte " << at;
    ++refused;
    if (run.status == QOLA_ERROR_CHECKSUM) ++mismatches;
    if (run.message.find("trailer is damaged") != std::string::npos) ++trailerDamage;
  }
  std::printf("%zu bytes flipped one at a time: %d refused (%d by the checksum, %d as a damaged trailer), "
              "%d restored exactly\n",
              good.size(), refused, mismatches, trailerDamage, exact);
  EXPECT_GE(trailerDamage, 35);
}

}  // namespace
}  // namespace qola::test
