// The public records grow without breaking callers: a program built against
// the first settings record keeps working, unknown sizes are refused, and
// every setting is checked as an integer before it means anything.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "TestSupport.h"
#include "api/SettingsRecord.h"

namespace qola::test {
namespace {

// The settings record as the first released header laid it out.
struct FirstSettings {
  std::size_t size;
  int channels, sample_bits, block_length, adaptation, wav_evaluation, joint_stereo, swap_bytes, threads,
      encoder_mode, trailer, index, require_checksum;
};
static_assert(sizeof(FirstSettings) == kFirstSettingsSize && sizeof(FirstSettings) <= sizeof(qola_settings));

// Compresses through the C interface with a caller's record; the job's status and message.
Bytes packedWith(const void* settings, const Bytes& pcm, qola_status* status, std::string* message = nullptr) {
  qola_job* job = qola_job_create(static_cast<const qola_settings*>(settings));
  qola_input* in = qola_input_memory(pcm.data(), pcm.size());
  qola_output* out = qola_output_memory();
  *status = qola_compress(job, in, out);
  if (message != nullptr) *message = qola_job_message(job);
  std::size_t size = 0;
  const std::uint8_t* data = qola_output_data(out, &size);
  Bytes bytes(data, data + size);
  qola_output_free(out);
  qola_input_free(in);
  qola_job_free(job);
  return bytes;
}

TEST(SettingsRecord, CallerOfTheFirstLayoutKeepsWorking) {
  // The old record sits in a larger buffer: nothing past it may be touched.
  unsigned char buffer[sizeof(qola_settings) + 64];
  std::memset(buffer, 0xA5, sizeof buffer);
  auto* first = reinterpret_cast<FirstSettings*>(buffer);
  ASSERT_EQ(qola_init_settings(reinterpret_cast<qola_settings*>(first), sizeof(FirstSettings)), QOLA_OK);
  for (std::size_t i = sizeof(FirstSettings); i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0xA5) << i;
  EXPECT_EQ(first->size, sizeof(FirstSettings));
  EXPECT_EQ(first->block_length, 0);  // the encoder's choice
  first->joint_stereo = 0;
  first->block_length = 1024;

  Settings current;
  current.joint_stereo = 0;
  current.block_length = 1024;
  const Bytes pcm = testWav(6000);
  qola_status oldStatus = QOLA_ERROR_JOB, newStatus = QOLA_ERROR_JOB;
  const Bytes fromOld = packedWith(first, pcm, &oldStatus);
  const Bytes fromNew = packedWith(&current, pcm, &newStatus);
  EXPECT_EQ(oldStatus, QOLA_OK);
  EXPECT_EQ(newStatus, QOLA_OK);
  EXPECT_EQ(fromOld, fromNew);  // the settings it did not know took their defaults

  // Whatever the caller's tail padding holds is never read as a setting.
  first->size = kFirstSettingsSize;
  std::memset(reinterpret_cast<unsigned char*>(first) + kFirstSettingsEnd, 0x7F,
              kFirstSettingsSize - kFirstSettingsEnd);
  const qola_settings read = readSettings(*reinterpret_cast<qola_settings*>(first));
  const qola_settings defaults = defaultSettings();
  EXPECT_EQ(read.block_length, 1024);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const unsigned char*>(&read) + kFirstSettingsEnd,
                        reinterpret_cast<const unsigned char*>(&defaults) + kFirstSettingsEnd,
                        sizeof(qola_settings) - kFirstSettingsEnd),
            0);
}

TEST(SettingsRecord, UnknownSizesAreRefused) {
  const Bytes pcm = testWav(100);
  for (const std::size_t size : {std::size_t{0}, sizeof(std::size_t), kFirstSettingsSize - 1,
                                 sizeof(qola_settings) + 1, sizeof(qola_settings) + 64}) {
    unsigned char buffer[sizeof(qola_settings) + 64];
    std::memset(buffer, 0xA5, sizeof buffer);
    auto* settings = reinterpret_cast<qola_settings*>(buffer);
    EXPECT_EQ(qola_init_settings(settings, size), QOLA_ERROR_ARGUMENT) << size;
    if (size >= sizeof(std::size_t)) {
      EXPECT_EQ(settings->size, 0u) << size;  // a job refuses it too
    }

    qola_settings sized;
    qola_default_settings(&sized);
    sized.size = size;
    qola_status status = QOLA_OK;
    std::string message;
    packedWith(&sized, pcm, &status, &message);
    EXPECT_EQ(status, QOLA_ERROR_ARGUMENT) << size;
    EXPECT_NE(message, "");
  }
  EXPECT_EQ(qola_init_settings(nullptr, sizeof(qola_settings)), QOLA_ERROR_ARGUMENT);
}

// Values that no enum constant has are refused before they become one; front
// ends ask before they open files, and the answer is the job's own (a restore
// takes N from the file).
TEST(SettingsRecord, RefusalsAreTheJobsAnswer) {
  constexpr const char* kOutOfRange = "A setting is out of range";
  const char* const kShort = "Minimum block length for adaptation is 512!";
  const struct {
    int qola_settings::*field;
    int value;
    int blockLength;  // 0: the encoder chooses
    const char* refusal;
  } cases[] = {
      {&qola_settings::adaptation, 0, 0, kOutOfRange},
      {&qola_settings::adaptation, 4, 0, kOutOfRange},
      {&qola_settings::adaptation, -1, 0, kOutOfRange},
      {&qola_settings::encoder_mode, -1, 0, kOutOfRange},
      {&qola_settings::encoder_mode, 4, 0, kOutOfRange},
      {&qola_settings::channels, 3, 0, kOutOfRange},
      {&qola_settings::sample_bits, 12, 0, kOutOfRange},
      {&qola_settings::block_length, 300, 300, kOutOfRange},
      {&qola_settings::threads, -1, 0, kOutOfRange},
      {&qola_settings::adaptation, QOLA_ADAPTATION_FULL, 256, kShort},
      {&qola_settings::adaptation, QOLA_ADAPTATION_MEDIUM, 256, kShort},
      {&qola_settings::adaptation, QOLA_ADAPTATION_NONE, 256, nullptr},
      {&qola_settings::encoder_mode, QOLA_ENCODER_FAST, 256, nullptr},  // --fast never splits a block
      {&qola_settings::encoder_mode, QOLA_ENCODER_BEST, 512, nullptr},
      {&qola_settings::encoder_mode, QOLA_ENCODER_REFERENCE, 0, nullptr},
  };
  for (const auto& c : cases) {
    Settings settings;
    settings.block_length = c.blockLength;
    settings.*c.field = c.value;
    const char* refusal = settings.refusal(true);
    EXPECT_STREQ(refusal, c.refusal) << c.value << " " << c.blockLength;
    const JobRun run = runJob(true, testWav(100), settings);
    EXPECT_EQ(run.message, refusal != nullptr ? refusal : "") << c.value;
    EXPECT_EQ(run.status, refusal == nullptr ? QOLA_OK : QOLA_ERROR_ARGUMENT);
    EXPECT_STREQ(settings.refusal(false), c.refusal == kOutOfRange ? kOutOfRange : nullptr);
    EXPECT_EQ(runJob(false, testWav(100), settings).message,
              c.refusal == kOutOfRange ? kOutOfRange : "The input is a WAV file, not a compressed file")
        << c.value;
  }
  EXPECT_STREQ(qola_settings_refusal(nullptr, 1), kOutOfRange);
}

TEST(SettingsRecord, ResultVersionAndStatusTexts) {
  const JobRun run = runJob(true, testWav(10000));
  const qola_result& r = run.result;
  EXPECT_EQ(r.size, sizeof(qola_result));
  EXPECT_TRUE(r.samples == 10000 && r.channels == 2 && r.bits == 16 && r.original_size == 40044);
  EXPECT_EQ(r.compressed_size, static_cast<std::int64_t>(run.output.size()));
  char small[8];  // a short buffer gets the report's start; the length is the whole report's
  EXPECT_EQ(qola_format_report(&r, small, sizeof small), reportText(r).size());
  EXPECT_EQ(std::string(small), reportText(r).substr(0, 7));
  qola_result unsized = run.result;
  unsized.size = 0;  // a record the library cannot read
  char text[16] = "x";
  EXPECT_EQ(qola_format_report(&unsized, text, sizeof text), 0u);
  EXPECT_STREQ(text, "");

  EXPECT_EQ(qola_version_number(), QOLA_VERSION_NUMBER);
  const std::string majorMinor = std::to_string(QOLA_VERSION_MAJOR) + "." + std::to_string(QOLA_VERSION_MINOR);
  EXPECT_EQ(std::string(qola_version()).rfind(majorMinor, 0), 0u);

  std::set<std::string> texts;
  for (int status = QOLA_OK; status <= QOLA_ERROR_CHECKSUM; ++status) texts.insert(qola_status_string(status));
  EXPECT_EQ(texts.size(), 10u);
  EXPECT_EQ(texts.count("unknown status"), 0u);
  EXPECT_STREQ(qola_status_string(-1), "unknown status");
  EXPECT_STREQ(qola_status_string(99), "unknown status");
}

}  // namespace
}  // namespace qola::test
