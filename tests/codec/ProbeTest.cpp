// The probe reads a file's facts from its first bytes and its trailer, and
// agrees with what a full restore of the same file finds.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "../../fuzz/SeekingDecoderEntry.h"
#include "TestSupport.h"
#include "codec/Probe.h"

namespace qola::test {
namespace {

namespace fs = std::filesystem;

struct Probed {
  qola_status status = QOLA_OK;
  qola_info info{};
};

// From memory (its end can be read) or from a pipe (read forward only, no size).
Probed probe(const Bytes& bytes, bool pipe = false) {
  ScriptedReader reader{bytes, 5};
  Input input = pipe ? reader.input(ScriptedReader::Pipe) : Input::memory(bytes);
  Probed probed;
  probed.info.size = sizeof(qola_info);
  probed.status = qola_probe(input.get(), &probed.info);
  return probed;
}

// Every compressed file the team keeps, with the bytes that precede the file
// in it: the fuzz corpora of the two decoders (the seeking one's entries
// start with their plan of seeks) and the conformance vectors.
std::vector<std::pair<fs::path, std::size_t>> compressedFiles() {
  const fs::path corpus(QOLA_FUZZ_CORPUS_DIR);
  std::vector<std::pair<fs::path, std::size_t>> dirs = {{corpus / "FileDecoderFuzzer", 0},
                                                         {corpus / "SeekingDecoderFuzzer", fuzz::kSeekingPlanBytes}};
  if (const auto shared = sharedDir()) {
    dirs.emplace_back(*shared / "vectors" / "decode", 0);
    dirs.emplace_back(*shared / "vectors" / "encode", 0);
  }
  std::vector<std::pair<fs::path, std::size_t>> files;
  for (const auto& [dir, skip] : dirs) {
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      const bool vectors = dir.parent_path().filename() == "vectors";
      if (!vectors || entry.path().extension() == ".qla") files.emplace_back(entry.path(), skip);
    }
  }
  return files;
}

TEST(Probe, AgreesWithAFullRestoreOnEveryKeptFile) {
  int agreed = 0;
  for (const auto& [path, skip] : compressedFiles()) {
    SCOPED_TRACE(path.filename().string());
    const Bytes whole = readFile(path);
    if (whole.size() < skip) continue;
    const Bytes bytes(whole.begin() + static_cast<std::ptrdiff_t>(skip), whole.end());
    const Probed probed = probe(bytes);
    const Probed piped = probe(bytes, true);
    EXPECT_EQ(piped.status, probed.status);
    Settings plain;
    plain.threads = 1;
    const JobRun restore = runJob(false, bytes, plain);
    if (probed.status != QOLA_OK) {
      EXPECT_NE(restore.status, QOLA_OK) << "the probe refused a file that restores";
      continue;
    }
    if (restore.status != QOLA_OK) continue;  // damage past the header: the probe decodes nothing
    const qola_info& info = probed.info;
    const qola_result& result = restore.result;
    EXPECT_EQ(info.channels, result.channels);
    EXPECT_EQ(info.sample_bits, result.bits);
    EXPECT_EQ(info.frames, result.samples);
    EXPECT_EQ(info.file_version, result.file_version);
    EXPECT_EQ(info.header_length, result.header_length);
    EXPECT_EQ(info.compressed_size, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(info.original_size, result.original_size);
    EXPECT_EQ(info.trailer == 1, result.checksum != QOLA_CHECKSUM_NONE);
    if (info.trailer == 1) {
      EXPECT_EQ(std::memcmp(info.md5, result.md5, 16), 0);
    }
    // The same facts from a pipe, less what only the file's end tells.
    EXPECT_EQ(piped.info.frames, info.frames);
    EXPECT_EQ(piped.info.header_length, info.header_length);
    EXPECT_EQ(piped.info.sample_rate, info.sample_rate);
    EXPECT_TRUE(piped.info.trailer == -1 && piped.info.original_size == -1 && piped.info.compressed_size == -1 &&
                piped.info.index == -1);
    ++agreed;
  }
  EXPECT_GT(agreed, 20);  // the fuzz corpora alone hold 27 files that restore
}

TEST(Probe, WavFactsDurationAndChecksum) {
  const Bytes wav = testWav(44100 / 2);
  const JobRun packed = runJob(true, wav);
  ASSERT_EQ(packed.status, QOLA_OK);
  const Probed probed = probe(packed.output);
  ASSERT_EQ(probed.status, QOLA_OK);
  const qola_info& info = probed.info;
  EXPECT_EQ(info.size, sizeof(qola_info));
  EXPECT_TRUE(info.wav_header == 1 && info.header_length == 44 && info.sample_rate == 44100);
  EXPECT_EQ(info.channel_mask, 0u);  // a canonical header names no speakers
  EXPECT_DOUBLE_EQ(info.duration, 0.5);
  EXPECT_EQ(info.block_length, 4096);
  // Half a second is six index units: the default file carries the index.
  EXPECT_TRUE(info.trailer == 1 && info.index == 1 && info.original_size == static_cast<std::int64_t>(wav.size()));
  EXPECT_EQ(std::memcmp(info.md5, packed.result.md5, 16), 0);

  // Raw input: no header, no rate, no duration.
  Settings raw;
  raw.wav_evaluation = 0;
  raw.trailer = 0;
  const Probed rawInfo = probe(runJob(true, wav, raw).output);
  EXPECT_TRUE(rawInfo.info.wav_header == 0 && rawInfo.info.sample_rate == 0 && rawInfo.info.duration == -1.0);
  EXPECT_TRUE(rawInfo.info.trailer == 0 &&
              rawInfo.info.original_size == static_cast<std::int64_t>(wav.size()) / 4 * 4);
}

TEST(Probe, ExtensibleWavHeaderGivesItsChannelMask) {
  // A stored 68-byte header: fmt chunk of 40 bytes, format tag 0xFFFE, mask 0x33.
  Bytes header = wavHeader(2, 16, 0);
  header.resize(36);
  header[16] = 40;
  header[20] = 0xFE, header[21] = 0xFF;
  const Bytes extension = {22, 0, 16,   0, 0x33, 0, 0, 0,    1, 0,    0,    0,
                           0,  0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  header.insert(header.end(), extension.begin(), extension.end());
  const Bytes data = {'d', 'a', 't', 'a', 0, 0, 0, 0};
  header.insert(header.end(), data.begin(), data.end());
  ASSERT_EQ(header.size(), 68u);
  Bytes file = {0x11, 0xC5 | 0x10, 0, 0, 0, 0, 68};
  file.insert(file.end(), header.begin(), header.end());
  const Probed probed = probe(file);
  ASSERT_EQ(probed.status, QOLA_OK);
  EXPECT_EQ(probed.info.channel_mask, 0x33u);
  EXPECT_EQ(probed.info.sample_rate, 44100);
  EXPECT_EQ(probed.info.header_length, 68);
  EXPECT_EQ(runJob(false, file).output, header);  // the restore gives back the same header
}

TEST(Probe, RefusesWhatIsNoCompressedFile) {
  const Bytes wav = testWav(1000);
  Bytes good = runJob(true, wav).output;
  Bytes announcesMore = good;
  announcesMore[2] = 0x40;  // 2^30 frames in a few hundred bytes
  const struct {
    const char* name;
    Bytes bytes;
    qola_status status;
  } cases[] = {
      {"empty", {}, QOLA_ERROR_NOT_QOLA},
      {"wav", wav, QOLA_ERROR_NOT_QOLA},
      {"riff only", {'R', 'I', 'F', 'F'}, QOLA_ERROR_NOT_QOLA},
      {"cut in the header", Bytes(good.begin(), good.begin() + 3), QOLA_ERROR_JOB},
      {"cut in the header copy", Bytes(good.begin(), good.begin() + 20), QOLA_ERROR_JOB},
      {"old version", {0x0E, 0, 0, 0, 0, 0}, QOLA_ERROR_JOB},
      {"negative count", {0x11, 0, 0x80, 0, 0, 0}, QOLA_ERROR_JOB},
      {"shorter than its blocks", announcesMore, QOLA_ERROR_JOB},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(probe(c.bytes).status, c.status) << c.name;
    EXPECT_NE(runJob(false, c.bytes).status, QOLA_OK) << c.name;
  }
  // A restore refuses a WAV or an empty file as no compressed file at all.
  EXPECT_EQ(runJob(false, wav).status, QOLA_ERROR_NOT_QOLA);
  EXPECT_EQ(runJob(false, Bytes{}).status, QOLA_ERROR_NOT_QOLA);
  EXPECT_EQ(qola_is_compressed(nullptr, 0, -1), 0);
  EXPECT_EQ(qola_is_compressed(good.data(), 0, -1), 0);
  EXPECT_EQ(qola_is_compressed(good.data(), good.size(), static_cast<std::int64_t>(good.size())), 1);
  EXPECT_EQ(qola_is_compressed(wav.data(), wav.size(), static_cast<std::int64_t>(wav.size())), 0);
}

TEST(Probe, InfoRecordsOfUnknownSizeAndUsedInputs) {
  const Bytes good = runJob(true, testWav(100)).output;
  for (const std::size_t size : {std::size_t{0}, sizeof(qola_info) + 8}) {
    qola_input* input = qola_input_memory(good.data(), good.size());
    qola_info info{};
    info.size = size;
    EXPECT_EQ(qola_probe(input, &info), QOLA_ERROR_ARGUMENT) << size;
    EXPECT_EQ(info.channels, 0) << "written past a record it cannot know";
    qola_input_free(input);
  }
  qola_input* input = qola_input_memory(good.data(), good.size());
  qola_info info{};
  info.size = sizeof info;
  EXPECT_EQ(qola_probe(input, &info), QOLA_OK);
  EXPECT_EQ(qola_probe(input, &info), QOLA_ERROR_ARGUMENT);  // the input is used up
  qola_job* job = qola_job_create(nullptr);
  qola_output* output = qola_output_memory();
  EXPECT_EQ(qola_decompress(job, input, output), QOLA_ERROR_ARGUMENT);
  qola_output_free(output);
  qola_job_free(job);
  qola_input_free(input);
  EXPECT_EQ(qola_probe(nullptr, &info), QOLA_ERROR_ARGUMENT);
}

}  // namespace
}  // namespace qola::test
