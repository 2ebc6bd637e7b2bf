// The public interface: results, errors, streams and cancellation reach the
// caller of the job, and jobs on several threads do not disturb each other.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

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

// The one-line reason a compressed file is larger than its input, as every
// program shows it; none for a file that shrank, a restore, or a record too
// old to hold the input's size.
TEST(Api, GrowthReasons) {
  const Bytes noise = noiseBytes(200000);
  Bytes wav24 = wavHeader(2, 24, 60000);
  wav24.insert(wav24.end(), noise.begin(), noise.begin() + 60000);
  const struct {
    Bytes input;
    const char* reasonStart;  // nullptr: it did not grow
  } cases[] = {
      {Bytes(10, 0x55), "the input is too short"},
      {noise, "the audio is too noisy"},
      {wav24, "its samples are coded byte by byte"},
      {testWav(20000), nullptr},
  };
  for (const auto& c : cases) {
    const JobRun run = runJob(true, c.input);
    ASSERT_EQ(run.status, QOLA_OK) << run.message;
    const char* reason = qola_growth_reason(&run.result);
    EXPECT_EQ(run.result.compressed_size > run.result.input_size, reason != nullptr);
    if (c.reasonStart == nullptr) {
      EXPECT_EQ(reason, nullptr) << reason;
    } else {
      EXPECT_EQ(std::string(reason != nullptr ? reason : "").rfind(c.reasonStart, 0), 0u) << c.reasonStart;
    }
  }
  qola_result older = runJob(true, Bytes(10, 0x55)).result;
  older.size = offsetof(qola_result, input_size);
  EXPECT_EQ(qola_growth_reason(&older), nullptr);
  const JobRun restore = runJob(false, runJob(true, Bytes(10, 0x55)).output);
  EXPECT_EQ(qola_growth_reason(&restore.result), nullptr);
  EXPECT_EQ(qola_growth_reason(nullptr), nullptr);
}

// A WAV file's seconds from its first bytes: the stated data length, or what
// the file holds of it when it was cut; none for raw samples or no rate.
TEST(Api, WavDurationFromTheHeader) {
  const Bytes wav = testWav(44100);
  Bytes noRate = wav;
  noRate[24] = noRate[25] = noRate[26] = noRate[27] = 0;
  const auto size = static_cast<std::int64_t>(wav.size());
  const struct {
    const Bytes& head;
    std::size_t given;
    std::int64_t total;
    double seconds;
  } cases[] = {
      {wav, 64, size, 1.0},  {wav, wav.size(), -1, 1.0}, {wav, 64, 44 + 4 * 11025, 0.25},
      {wav, 30, size, -1.0}, {noRate, 64, size, -1.0},   {Bytes(64, 'R'), 64, 64, -1.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(qola_wav_duration(c.head.data(), c.given, c.total), c.seconds);
  EXPECT_EQ(qola_wav_duration(nullptr, 0, 0), -1.0);
}

// Each failure comes back as the job's status and message, and the process goes on.
TEST(Api, ErrorsReachTheCallerWithStatusAndMessage) {
  const Bytes pcm = testWav(5000);
  Bytes cut = packed(pcm);
  cut.resize(cut.size() / 2);
  const struct {
    Bytes input;
    qola_status status;
    std::string message;         // the cause alone
    std::string programMessage;  // the start of the programs' text, which holds the cause
  } cases[] = {
      {cut, QOLA_ERROR_CODER, "arithmetic decoder bad input file", "Ac.cpp:"},
      {{0x0E, 0, 0, 0, 0, 0}, QOLA_ERROR_JOB, "Old file version", "Old file version, program terminated"},
  };
  for (const auto& c : cases) {
    const JobRun run = runJob(false, c.input);
    EXPECT_EQ(run.status, c.status) << run.message;
    EXPECT_EQ(run.message, c.message);
    EXPECT_TRUE(run.programMessage.starts_with(c.programMessage) &&
                run.programMessage.find(c.message) != std::string::npos)
        << run.programMessage;
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
  } cases[] = {{0, QOLA_ENCODER_REFERENCE, 5},
               {0, QOLA_ENCODER_DEFAULT, 5},
               {2048, QOLA_ENCODER_DEFAULT, 4},
               {4096, QOLA_ENCODER_BEST, 5},
               {512, QOLA_ENCODER_BEST, 2}};
  for (const auto& c : cases) {
    Settings settings;
    settings.block_length = c.blockLength;
    settings.encoder_mode = c.mode;
    EXPECT_EQ(packed(pcm, settings).at(1) & 7, c.headerIndex) << c.blockLength << " " << c.mode;
  }
}

// Any read size works, with a size or without one (a pipe, whose input is
// measured as it is read), also for the WAV header; a read error anywhere
// fails the job with its cause, also exactly where the trailer starts (where
// the end of a file without one would be).
TEST(ApiInputs, ShortReadsWorkAndReadErrorsFail) {
  const Bytes wav = testWav(7000);
  const Bytes compressed = packed(wav);
  Settings noTrailer;
  noTrailer.trailer = 0;
  const std::size_t trailerStart = packed(wav, noTrailer).size();
  ASSERT_LT(trailerStart, compressed.size());
  const auto run = [](ScriptedReader reader, bool compress, ScriptedReader::Kind kind = ScriptedReader::Sized) {
    Input in = reader.input(kind);
    return runJob(compress, in);
  };
  for (const std::size_t step : {1, 3, 43, 44, 45, 4096}) {
    for (const auto kind : {ScriptedReader::Sized, ScriptedReader::Pipe}) {
      const JobRun packedRun = run({wav, step}, true, kind);
      EXPECT_EQ(packedRun.status, QOLA_OK) << step << packedRun.message;
      EXPECT_EQ(packedRun.output, compressed) << step << "-byte reads, kind " << kind;
      EXPECT_EQ(packedRun.result.input_size, static_cast<std::int64_t>(wav.size()));
    }
    const JobRun restored = run({compressed, step}, false);
    EXPECT_EQ(restored.status, QOLA_OK) << step << restored.message;
    EXPECT_EQ(restored.output, wav) << step << "-byte reads";
    EXPECT_EQ(restored.result.checksum, QOLA_CHECKSUM_OK);
  }
  for (const Bytes& input : {Bytes(), Bytes{1, 2, 3}}) {  // too short to be measured by a first read
    EXPECT_EQ(runJob(false, runJob(true, input, Settings(), true).output).output, input);
  }
  for (const std::size_t failAt : {std::size_t{0}, std::size_t{3}, std::size_t{30}, std::size_t{44},
                                   trailerStart / 2, trailerStart, compressed.size() - 1}) {
    for (const std::size_t step : {1, 4096}) {
      const JobRun restored = run({compressed, step, failAt}, false);
      EXPECT_EQ(restored.status, QOLA_ERROR_JOB) << "failing at " << failAt;
      EXPECT_EQ(restored.message, "read error: the input's read function failed") << failAt;
      if (failAt > wav.size()) continue;
      EXPECT_EQ(run({wav, step, failAt}, true).status, QOLA_ERROR_JOB) << "compressing, failing at " << failAt;
    }
  }
}

// Samples from a caller's buffer compress with their own layout, whatever the
// settings say, and restore to the same bytes.
TEST(Api, CompressesSampleBuffers) {
  std::vector<std::int16_t> stereo(2 * 9000);
  for (std::size_t i = 0; i < stereo.size(); ++i) stereo[i] = static_cast<std::int16_t>((i * 7919) % 20000 - 10000);
  std::vector<std::uint8_t> mono(7001);
  for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = static_cast<std::uint8_t>(128 + (i % 50) - 25);
  std::memcpy(stereo.data(), "RIFF", 4);  // a WAV header's start is samples here, not a header
  Settings other;
  other.channels = 1;
  other.sample_bits = 8;
  struct {
    Input input;
    const void* bytes;
    std::size_t size;
    int channels, bits;
  } cases[] = {
      {Input::samples(stereo.data(), 9000, 2), stereo.data(), stereo.size() * 2, 2, 16},
      {Input::samples(mono.data(), mono.size(), 1), mono.data(), mono.size(), 1, 8},
  };
  for (auto& c : cases) {
    Job job(other);
    Output packedOut = Output::memory();
    const qola_result& result = job.compress(c.input, packedOut);
    EXPECT_TRUE(result.channels == c.channels && result.bits == c.bits && result.header_length == 0);
    const Bytes restored = runJob(false, Bytes(packedOut.data().begin(), packedOut.data().end())).output;
    const auto* bytes = static_cast<const std::uint8_t*>(c.bytes);
    EXPECT_EQ(restored, Bytes(bytes, bytes + c.size));
  }
  EXPECT_EQ(qola_input_samples(stereo.data(), 10, 3, 16), nullptr);
  EXPECT_EQ(qola_input_samples(stereo.data(), 10, 2, 24), nullptr);
  EXPECT_EQ(qola_input_samples(nullptr, 10, 2, 16), nullptr);

  // Given a rate, they compress to the very file their WAV bytes give; only
  // a fresh samples input takes a rate.
  const Bytes wav = testWav(9000);
  std::vector<std::int16_t> samples(2 * 9000);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int16_t>(wav[44 + 2 * i] | wav[45 + 2 * i] << 8);
  Input input = Input::samples(samples.data(), 9000, 2);
  input.withSampleRate(44100);
  Job job;
  Output packedOut = Output::memory();
  EXPECT_EQ(job.compress(input, packedOut).header_length, 44);
  EXPECT_EQ(Bytes(packedOut.data().begin(), packedOut.data().end()), packed(wav));

  Input used = Input::samples(samples.data(), 9000, 2);
  used.withSampleRate(8000);
  Input memory = Input::memory(wav);
  EXPECT_EQ(qola_input_set_sample_rate(used.get(), 8000), QOLA_ERROR_ARGUMENT);  // a rate already
  EXPECT_EQ(qola_input_set_sample_rate(memory.get(), 8000), QOLA_ERROR_ARGUMENT);
  EXPECT_EQ(qola_input_set_sample_rate(Input::samples(samples.data(), 9000, 2).get(), 0), QOLA_ERROR_ARGUMENT);
  EXPECT_EQ(qola_input_set_sample_rate(nullptr, 8000), QOLA_ERROR_ARGUMENT);
}

// The contracts the header states: a cancelled job ends with its own status,
// leaves no file behind a path output and keeps what a memory output was
// given; handles are used up by one run, and the job may run again with new ones.
TEST(Api, CancelledJobsAndSingleUseHandles) {
  const Bytes pcm = testWav(40000);
  const auto folder = std::filesystem::temp_directory_path() / ("qola-api-cancel-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  Job job;
  job.onProgress([](int percent) { return percent >= 50; });
  const auto expectCancelled = [&job](Input& input, Output& output) {
    try {
      job.compress(input, output);
      ADD_FAILURE() << "not cancelled";
    } catch (const Error& error) {
      EXPECT_EQ(error.status(), QOLA_CANCELLED);
    }
  };
  Input pathIn = Input::memory(pcm);
  Output pathOut = Output::create((folder / "x.qla").string());
  expectCancelled(pathIn, pathOut);
  Input in = Input::memory(pcm);
  Output out = Output::memory();
  expectCancelled(in, out);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  std::filesystem::remove_all(folder);
  const std::size_t kept = out.data().size();
  EXPECT_GT(kept, 6u);
  EXPECT_LT(kept, packed(pcm).size());
  for (const bool reuseInput : {true, false}) {
    Input fresh = Input::memory(pcm);
    Output freshOut = Output::memory();
    qola_job* raw = qola_job_create(nullptr);
    EXPECT_EQ(qola_compress(raw, reuseInput ? in.get() : fresh.get(), reuseInput ? freshOut.get() : out.get()),
              QOLA_ERROR_ARGUMENT);
    EXPECT_STREQ(qola_job_message(raw), "A stream is missing or already used");
    qola_job_free(raw);
  }
  EXPECT_EQ(out.data().size(), kept);
  job.onProgress(nullptr);
  Input again = Input::memory(pcm);
  Output againOut = Output::memory();
  const std::int64_t compressedSize = job.compress(again, againOut).compressed_size;
  EXPECT_EQ(compressedSize, static_cast<std::int64_t>(againOut.data().size()));
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
// Which finish first is up to the scheduler, so the restore runs a dozen
// times; every thread count gives the same bytes.
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
  for (const int threads : {1, 2, 3, 5, 8, 3, 5, 8, 3, 5, 8, 3, 5, 8}) {
    settings.threads = threads;
    const JobRun restored = runJob(false, compressed.output, settings);
    EXPECT_EQ(restored.status, QOLA_OK) << restored.message << ", " << threads << " threads";
    EXPECT_EQ(restored.result.checksum, QOLA_CHECKSUM_OK) << threads << " threads";
    EXPECT_TRUE(restored.output == wav) << threads << " threads";
  }
}

}  // namespace
}  // namespace qola::test
