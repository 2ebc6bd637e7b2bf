// The public job interface: settings, runs, results. Every error of a job
// ends here as the job's status, message and exit code.
#include <qola/qola.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "codec/FileFormat.h"
#include "codec/Jobs.h"
#include "codec/Report.h"
#include "common/Fatal.h"
#include "common/Format.h"
#include "common/StreamHandles.h"

struct qola_job {
  qola_settings settings{};
  qola_progress_fn progress = nullptr;
  void* user = nullptr;
  qola_status status = QOLA_OK;
  std::string message;
  int exitCode = 0;
  qola_result result{};
};

namespace qola {
namespace {

constexpr const char* kCancelled = "The job was cancelled";
constexpr int kMinAdaptiveIndex = 2;  // adaptation needs N >= 512

// Progress to the caller's function; a nonzero answer ends the job.
class CallbackSink : public ProgressSink {
 public:
  explicit CallbackSink(qola_job& job) : job_(job) {}
  void setProgress(int percent) override {
    if (finished_ || job_.progress == nullptr) return;
    if (job_.progress(job_.user, percent) != 0) throw JobError{QOLA_CANCELLED, kCancelled, 1};
  }
  void showReport(const std::string&, const std::string&) override {}
  void finish(const qola_result& result) override {
    job_.result = result;
    finished_ = true;
  }

 private:
  qola_job& job_;
  bool finished_ = false;
};

// The public settings as the codec's record; throws on a value out of range.
CodecSettings codecSettings(const qola_settings& s, Mode mode) {
  CodecSettings settings;
  settings.mode = mode;
  settings.blockLengthIndex = blockLengthIndexOf(s.block_length);
  const bool valid = (s.channels == 1 || s.channels == 2) && (s.sample_bits == 8 || s.sample_bits == 16) &&
                     settings.blockLengthIndex >= 0 && s.adaptation >= QOLA_ADAPTATION_NONE &&
                     s.adaptation <= QOLA_ADAPTATION_FULL && s.encoder_mode >= QOLA_ENCODER_REFERENCE &&
                     s.encoder_mode <= QOLA_ENCODER_FAST && s.threads >= 0;
  if (!valid) throw JobError{QOLA_ERROR_ARGUMENT, "A setting is out of range", 1};
  settings.channelCount = s.channels;
  settings.sampleBits = s.sample_bits;
  settings.adaptation = static_cast<Adaptation>(s.adaptation);
  settings.wavEvaluation = s.wav_evaluation != 0;
  settings.jointStereo = s.joint_stereo != 0;
  settings.swapBytes = s.swap_bytes > 0;
  settings.swapBytesFromTrailer = s.swap_bytes == 0;
  settings.threads = s.threads;
  settings.encoderMode = static_cast<EncoderMode>(s.encoder_mode);
  settings.trailer = s.trailer != 0;
  if (mode == Mode::Compress && settings.encoderMode != EncoderMode::Fast && settings.adaptation != Adaptation::None &&
      settings.blockLengthIndex < kMinAdaptiveIndex) {
    throw JobError{QOLA_ERROR_ARGUMENT, "Minimum block length for adaptation is 512!", 1};
  }
  return settings;
}

void fail(qola_job& job, const JobError& error) {
  job.status = error.status;
  job.message = error.message;
  job.exitCode = error.code;
}

qola_status run(qola_job* job, qola_input* input, qola_output* output, Mode mode) {
  if (job == nullptr) return QOLA_ERROR_ARGUMENT;
  job->status = QOLA_OK;
  job->message.clear();
  job->exitCode = 0;
  job->result = qola_result{};
  if (input == nullptr || output == nullptr || !input->stream->isOpen() || !output->stream->isOpen()) {
    fail(*job, JobError{QOLA_ERROR_ARGUMENT, "A stream is missing or already used", 1});
    return job->status;
  }
  try {
    try {
      const CodecSettings settings = codecSettings(job->settings, mode);
      CallbackSink sink(*job);
      if (mode == Mode::Compress) {
        compressFile(settings, *input->stream, *output->stream, sink);
      } else {
        decompressFile(settings, *input->stream, *output->stream, sink);
      }
      if (output->stream->failed()) throw JobError{QOLA_ERROR_WRITE, "write error (disk full?)", 1};
      if (!commitOutput(*output)) {
        const std::string cause = std::strerror(errno);
        throw JobError{QOLA_ERROR_WRITE, "cannot give the output its name: " + cause, 1};
      }
    } catch (const std::bad_alloc&) {
      throw JobError{QOLA_ERROR_JOB, "error in memory allocation", 1};
    }
  } catch (const JobError& error) {
    input->stream->close();
    output->stream->close();
    discardOutput(*output);
    fail(*job, error);
  }
  return job->status;
}

}  // namespace
}  // namespace qola

extern "C" {

void qola_default_settings(qola_settings* settings) {
  if (settings == nullptr) return;
  *settings = qola_settings{};
  settings->channels = 2;
  settings->sample_bits = 16;
  settings->block_length = qola::format::kMaxBlockLength;
  settings->adaptation = QOLA_ADAPTATION_FULL;
  settings->wav_evaluation = 1;
  settings->joint_stereo = 1;
  settings->swap_bytes = 0;
  settings->threads = 0;
  settings->encoder_mode = QOLA_ENCODER_DEFAULT;
  settings->trailer = 1;
}

qola_job* qola_job_create(const qola_settings* settings) {
  try {
    auto job = std::make_unique<qola_job>();
    if (settings != nullptr) {
      job->settings = *settings;
    } else {
      qola_default_settings(&job->settings);
    }
    return job.release();
  } catch (const std::bad_alloc&) {
    return nullptr;  // a C caller cannot take an exception
  }
}

void qola_job_free(qola_job* job) { delete job; }

void qola_job_set_progress(qola_job* job, qola_progress_fn progress, void* user) {
  if (job == nullptr) return;
  job->progress = progress;
  job->user = user;
}

qola_status qola_compress(qola_job* job, qola_input* input, qola_output* output) {
  return qola::run(job, input, output, qola::Mode::Compress);
}

qola_status qola_decompress(qola_job* job, qola_input* input, qola_output* output) {
  return qola::run(job, input, output, qola::Mode::Decompress);
}

const char* qola_job_message(const qola_job* job) { return job != nullptr ? job->message.c_str() : ""; }
int qola_job_exit_code(const qola_job* job) { return job != nullptr ? job->exitCode : 1; }
const qola_result* qola_job_result(const qola_job* job) { return job != nullptr ? &job->result : nullptr; }

size_t qola_format_report(const qola_result* result, char* buffer, size_t size) {
  if (result == nullptr) return 0;
  std::string text;
  try {
    text = qola::reportText(*result);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (buffer != nullptr && size > 0) {
    const size_t count = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
  }
  return text.size();
}

int qola_is_compressed(const void* head, size_t head_size, int64_t total_size) {
  return qola::looksCompressed(static_cast<const std::uint8_t*>(head), head_size, total_size) ? 1 : 0;
}

const char* qola_version(void) { return QOLA_VERSION_STRING; }

}  // extern "C"
