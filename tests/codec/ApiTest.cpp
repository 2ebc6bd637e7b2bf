// The public interface: errors, streams, results and cancellation reach the
// caller of the job, and two jobs on two threads do not disturb each other.
#include <qola/qola.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "codec/Report.h"

namespace qola::test {
namespace {

Bytes music(std::size_t frames, int phase) {
  std::vector<std::int16_t> samples(2 * frames);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i / 2);
    samples[i] = static_cast<std::int16_t>(9000 * std::sin(t * 0.031 + phase) + 3000 * std::sin(t * 0.17 + i % 2) +
                                           static_cast<double>((i * 7919 + phase) % 61) - 30);
  }
  return pcm16(samples);
}

Bytes roundTrip(const Bytes& pcm, Bytes* compressed = nullptr, const Settings& settings = Settings()) {
  Job job(settings);
  Input raw = Input::memory(pcm);
  Output packed = Output::memory();
  job.compress(raw, packed);
  const Bytes qla(packed.data().begin(), packed.data().end());
  if (compressed != nullptr) *compressed = qla;
  Input in = Input::memory(qla);
  Output restored = Output::memory();
  job.decompress(in, restored);
  return Bytes(restored.data().begin(), restored.data().end());
}

TEST(Api, RoundTripInMemoryWithResultsAndTheReport) {
  const Bytes pcm = music(10000, 0);
  Job job;
  Input raw = Input::memory(pcm);
  Output packed = Output::memory();
  const qola_result result = job.compress(raw, packed);
  EXPECT_EQ(result.samples, 10000);
  EXPECT_EQ(result.channels, 2);
  EXPECT_EQ(result.bits, 16);
  EXPECT_EQ(result.original_size, 40000);
  EXPECT_EQ(result.compressed_size, static_cast<std::int64_t>(packed.data().size()));
  EXPECT_EQ(qola::reportText(result), compressionReport(10000, 2, 2, 0, result.compressed_size));
  EXPECT_EQ(roundTrip(pcm), pcm);

  char small[8];
  EXPECT_EQ(qola_format_report(&result, small, sizeof small), reportText(result).size());
  EXPECT_EQ(std::string(small), reportText(result).substr(0, 7));
}

// A damaged buffer comes back as the job's error, and the process goes on.
TEST(Api, ErrorsReachTheCallerWithMessageAndCode) {
  Bytes compressed;
  roundTrip(music(5000, 1), &compressed);
  compressed.resize(compressed.size() / 2);
  const Bytes old = {0x0E, 0, 0, 0, 0, 0};
  const struct {
    Bytes file;
    qola_status status;
    const char* message;
  } cases[] = {
      {compressed, QOLA_ERROR_CODER, "Ac.cpp:"},
      {old, QOLA_ERROR_JOB, "Old file version, program terminated"},
  };
  for (const auto& c : cases) {
    Job job;
    Input in = Input::memory(c.file);
    Output out = Output::memory();
    try {
      job.decompress(in, out);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.status(), c.status);
      EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
      EXPECT_EQ(error.exitCode(), 1);
    }
  }
  Settings bad;
  bad.block_length = 1000;
  Job job(bad);
  Input in = Input::memory(compressed);
  Output out = Output::memory();
  EXPECT_THROW(job.compress(in, out), Error);
}

struct Chunked {
  const Bytes* source = nullptr;
  std::size_t at = 0;
  Bytes written;
  bool failWrites = false;
};

std::ptrdiff_t readChunk(void* user, void* buffer, std::size_t count) {
  auto& c = *static_cast<Chunked*>(user);
  const std::size_t n = std::min<std::size_t>({count, 999, c.source->size() - c.at});
  std::copy_n(c.source->begin() + static_cast<std::ptrdiff_t>(c.at), n, static_cast<std::uint8_t*>(buffer));
  c.at += n;
  return static_cast<std::ptrdiff_t>(n);
}
std::int64_t sizeOf(void* user) { return static_cast<std::int64_t>(static_cast<Chunked*>(user)->source->size()); }
int writeChunk(void* user, const void* data, std::size_t count) {
  auto& c = *static_cast<Chunked*>(user);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  c.written.insert(c.written.end(), bytes, bytes + count);
  return c.failWrites ? 1 : 0;
}

// Callback streams give the same bytes; an input of unknown size cannot be
// compressed yet, and a failing writer ends the job with a write error.
TEST(Api, CallbackStreams) {
  const Bytes pcm = music(7000, 2);
  Bytes expected;
  roundTrip(pcm, &expected);
  const struct {
    qola_size_fn size;
    bool failWrites;
    qola_status status;
  } cases[] = {{&sizeOf, false, QOLA_OK}, {nullptr, false, QOLA_ERROR_NEEDS_SIZE}, {&sizeOf, true, QOLA_ERROR_WRITE}};
  for (const auto& c : cases) {
    Chunked stream;
    stream.source = &pcm;
    stream.failWrites = c.failWrites;
    qola_job* job = qola_job_create(nullptr);
    qola_input* in = qola_input_callbacks(&readChunk, c.size, &stream);
    qola_output* out = qola_output_callbacks(&writeChunk, &stream);
    EXPECT_EQ(qola_compress(job, in, out), c.status) << qola_job_message(job);
    if (c.status == QOLA_OK) {
      EXPECT_EQ(stream.written, expected);
    } else if (c.status == QOLA_ERROR_WRITE) {
      EXPECT_STREQ(qola_job_message(job), "write error (disk full?)");
    }
    qola_output_free(out);
    qola_input_free(in);
    qola_job_free(job);
  }
}

// A cancelled job ends with its own status and leaves no file behind.
TEST(Api, CancelLeavesNoOutputFile) {
  const Bytes pcm = music(20000, 3);
  const auto path = std::filesystem::temp_directory_path() / "qola-api-cancel.qla";
  std::filesystem::remove(path);
  Job job;
  int calls = 0;
  job.onProgress([&](int percent) { return ++calls > 3 && percent > 10; });
  Input in = Input::memory(pcm);
  Output out = Output::create(path.string());
  try {
    job.compress(in, out);
    ADD_FAILURE() << "not cancelled";
  } catch (const Error& error) {
    EXPECT_EQ(error.status(), QOLA_CANCELLED);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  for (const auto& entry : std::filesystem::directory_iterator(path.parent_path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("qola-api-cancel.qla.tmp-", 0), std::string::npos);
  }
}

// Run under ThreadSanitizer in CI: the transform tables are filled on first use.
TEST(ApiThreads, TwoJobsAtOnceAreByteExact) {
  const Bytes a = music(30000, 4);
  const Bytes b = music(25000, 5);
  Bytes packedA, packedB;
  const Bytes aloneA = roundTrip(a, &packedA);
  Bytes restoredA, restoredB, againA, againB;
  std::thread first([&] { restoredA = roundTrip(a, &againA); });
  std::thread second([&] { restoredB = roundTrip(b, &againB); });
  first.join();
  second.join();
  roundTrip(b, &packedB);
  EXPECT_EQ(restoredA, a);
  EXPECT_EQ(restoredB, b);
  EXPECT_EQ(againA, packedA);
  EXPECT_EQ(againB, packedB);
  EXPECT_EQ(aloneA, a);
}

// Blocks coded on several threads are written in file order: every thread
// count gives the same bytes in every encoder mode, on an input long enough
// (25 blocks) to keep four workers busy.
TEST(ApiThreads, EveryThreadCountWritesTheSameBytes) {
  const Bytes pcm = music(100000, 6);
  for (int mode = 0; mode <= QOLA_ENCODER_FAST; ++mode) {
    Bytes oneThread;
    for (const int threads : {1, 2, 4}) {
      Settings settings;
      settings.encoder_mode = static_cast<qola_encoder_mode>(mode);
      settings.threads = threads;
      Bytes packed;
      EXPECT_EQ(roundTrip(pcm, &packed, settings), pcm) << "mode " << mode << ", " << threads << " threads";
      if (threads == 1) oneThread = packed;
      EXPECT_EQ(packed, oneThread) << "mode " << mode << ", " << threads << " threads";
    }
  }
}

}  // namespace
}  // namespace qola::test
