// The public interface: results, errors, streams and cancellation reach the
// caller of the job, and jobs on several threads do not disturb each other.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "TestSupport.h"

namespace qola::test {
namespace {

// The compressed file, after checking that it restores the input exactly.
Bytes packed(const Bytes& pcm, const Settings& settings = Settings()) {
  const JobRun compressed = runJob(true, pcm, settings);
  EXPECT_EQ(compressed.status, QOLA_OK) << compressed.message;
  EXPECT_TRUE(runJob(false, compressed.output, settings).output == pcm) << "not restored exactly";
  return compressed.output;
}

int failingWrite(void*, const void*, std::size_t) { return 1; }

TEST(Api, ResultsAndTheReport) {
  const JobRun run = runJob(true, testWav(10000));
  const qola_result& r = run.result;
  EXPECT_TRUE(r.samples == 10000 && r.channels == 2 && r.bits == 16 && r.original_size == 40044);
  EXPECT_EQ(r.compressed_size, static_cast<std::int64_t>(run.output.size()));
  char small[8];  // a short buffer gets the report's start; the length is the whole report's
  EXPECT_EQ(qola_format_report(&r, small, sizeof small), reportText(r).size());
  EXPECT_EQ(std::string(small), reportText(r).substr(0, 7));
}

// Each failure comes back as the job's status and message, and the process goes on.
TEST(Api, ErrorsReachTheCallerWithStatusAndMessage) {
  const Bytes pcm = testWav(5000);
  Bytes cut = packed(pcm);
  cut.resize(cut.size() / 2);
  Settings shortBlocks;
  shortBlocks.block_length = 256;
  const struct {
    bool compress, pipe;
    Bytes input;
    Settings settings;
    qola_status status;
    const char* message;  // the start of it
  } cases[] = {
      {false, false, cut, Settings(), QOLA_ERROR_CODER, "Ac.cpp:"},
      {false, false, {0x0E, 0, 0, 0, 0, 0}, Settings(), QOLA_ERROR_JOB, "Old file version, program terminated"},
      {true, true, pcm, Settings(), QOLA_ERROR_NEEDS_SIZE, "The input cannot be measured"},
      {true, false, pcm, shortBlocks, QOLA_ERROR_ARGUMENT, "Minimum block length for adaptation is 512!"},
  };
  for (const auto& c : cases) {
    const JobRun run = runJob(c.compress, c.input, c.settings, c.pipe);
    EXPECT_EQ(run.status, c.status) << run.message;
    EXPECT_EQ(run.message.rfind(c.message, 0), 0u) << run.message;
  }
  Job job;
  Input in = Input::memory(pcm);
  Output out = Output::callbacks(&failingWrite, nullptr);
  try {
    job.compress(in, out);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "write error (disk full?)");
    EXPECT_EQ(error.exitCode(), 1);
  }
}

// The defaults leave the block length to the encoder; a length asked for is
// the one in the file header (index N = 2^(index + 7) in its low three bits).
TEST(Api, BlockLengthZeroLeavesTheChoiceToTheEncoder) {
  EXPECT_EQ(Settings().block_length, 0);
  const Bytes pcm = testWav(5000);
  const struct {
    int blockLength;
    qola_encoder_mode mode;
    int headerIndex;
  } cases[] = {{0, QOLA_ENCODER_REFERENCE, 5}, {0, QOLA_ENCODER_DEFAULT, 5}, {2048, QOLA_ENCODER_DEFAULT, 4},
               {4096, QOLA_ENCODER_BEST, 5}, {512, QOLA_ENCODER_BEST, 2}};
  for (const auto& c : cases) {
    Settings settings;
    settings.block_length = c.blockLength;
    settings.encoder_mode = c.mode;
    EXPECT_EQ(packed(pcm, settings).at(1) & 7, c.headerIndex) << c.blockLength << " " << c.mode;
  }
}

// A cancelled job ends with its own status and leaves no file behind.
TEST(Api, CancelLeavesNoOutputFile) {
  const Bytes pcm = testWav(20000);
  const auto path = std::filesystem::temp_directory_path() / ("qola-api-cancel-" + std::to_string(getpid()));
  std::filesystem::create_directories(path);
  Job job;
  int calls = 0;
  job.onProgress([&](int percent) { return ++calls > 3 && percent > 10; });
  Input in = Input::memory(pcm);
  Output out = Output::create((path / "x.qla").string());
  try {
    job.compress(in, out);
    ADD_FAILURE() << "not cancelled";
  } catch (const Error& error) {
    EXPECT_EQ(error.status(), QOLA_CANCELLED);
  }
  EXPECT_TRUE(std::filesystem::is_empty(path));
  std::filesystem::remove_all(path);
}

// Run under ThreadSanitizer in CI: the transform tables are filled on first use.
TEST(ApiThreads, TwoJobsAtOnceAreByteExact) {
  const Bytes a = testWav(30000), b = testWav(25000, 900);
  Bytes packedA, packedB;
  std::thread first([&] { packedA = packed(a); });
  std::thread second([&] { packedB = packed(b); });
  first.join();
  second.join();
  EXPECT_EQ(packedA, packed(a));
  EXPECT_EQ(packedB, packed(b));
}

// The restore takes the output's MD5 on its rebuilding threads, in file order
// even where a later block is rebuilt first: here each block of loud noise is
// followed by three of silence, which may finish while it is still rebuilt.
// Which finish first is up to the scheduler, so the restore runs a dozen times.
TEST(ApiThreads, RestoreChecksTheDigestOfTheBlocksInFileOrder) {
  constexpr std::size_t kBlock = 4096, kBlocks = 64;
  std::vector<std::int16_t> samples(2 * kBlock * kBlocks);
  std::uint32_t state = 7;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    state = state * 1103515245u + 12345u;
    if (i / (2 * kBlock) % 4 == 0) samples[i] = static_cast<std::int16_t>(state >> 16);
  }
  Bytes wav = wavHeader(2, 16, static_cast<std::uint32_t>(2 * samples.size()));
  const Bytes pcm = pcm16(samples);
  wav.insert(wav.end(), pcm.begin(), pcm.end());
  Settings settings;
  const JobRun compressed = runJob(true, wav, settings);
  ASSERT_EQ(compressed.status, QOLA_OK) << compressed.message;
  constexpr int kThreads[] = {3, 5, 8};
  for (int run = 0; run < 12; ++run) {
    const int threads = kThreads[run % 3];
    settings.threads = threads;
    const JobRun restored = runJob(false, compressed.output, settings);
    EXPECT_EQ(restored.status, QOLA_OK) << restored.message << ", " << threads << " threads";
    EXPECT_EQ(restored.result.checksum, QOLA_CHECKSUM_OK) << threads << " threads";
    EXPECT_TRUE(restored.output == wav) << threads << " threads";
  }
}

}  // namespace
}  // namespace qola::test
