// The public job interface: settings, runs, results. Every error of a job
// ends here as the job's status, message and exit code.
#include <qola/qola.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "api/PublicStatus.h"
#include "api/SettingsRecord.h"
#include "api/StreamHandles.h"
#include "codec/FileRecords.h"
#include "codec/Jobs.h"
#include "codec/Probe.h"
#include "codec/RangeRestore.h"
#include "codec/Report.h"
#include "common/Fatal.h"
#include "common/FormatConstants.h"
#include "common/InputSpool.h"
#include "pcm/PcmIo.h"

struct qola_job {
  qola_settings settings{};
  qola_progress_fn progress = nullptr;
  void* user = nullptr;
  qola_status status = QOLA_OK;
  std::string message;
  std::string programMessage;
  int exitCode = 0;
  qola_result result{};
};

namespace qola {
namespace {

constexpr const char* kCancelled = "The job was cancelled";

// Progress to the caller's function; a nonzero answer ends the job.
class CallbackSink : public ProgressSink {
 public:
  explicit CallbackSink(qola_job& job) : job_(job) {}
  void setProgress(int percent) override {
    if (finished_ || job_.progress == nullptr) return;
    if (job_.progress(job_.user, percent) != 0) throw JobError{Failure::Cancelled, kCancelled, 1};
  }
  void showReport(const std::string&, const std::string&) override {}
  void finish(const qola_result& result) override {
    job_.result = result;
    job_.result.size = sizeof(qola_result);
    finished_ = true;
  }

 private:
  qola_job& job_;
  bool finished_ = false;
};

// What a failed write says: a full disk is the usual cause, a file size limit the surprising one.
std::string writeError(int cause) {
  if (cause == EFBIG) return "write error: the output reached the file size limit (ulimit -f)";
  if (cause == 0 || cause == ENOSPC) return "write error (disk full?)";
  return std::string("write error: ") + std::strerror(cause);
}

JobError readError(const InputStream& input) {
  const int cause = input.readErrorCause();
  return JobError{Failure::Job,
                  cause != 0 ? std::string("read error: ") + std::strerror(cause)
                             : std::string("read error: the input's read function failed"),
                  1};
}

bool bigEndianSamples(const qola_input& input) {
  return std::endian::native == std::endian::big && input.sampleBits == 16;
}

// A sample buffer's own layout; 16-bit samples in the host's order are
// big-endian bytes on a big-endian host, unless they read as a WAV file.
void takeSampleLayout(const qola_input& input, CodecSettings& settings) {
  settings.channelCount = input.sampleChannels;
  settings.sampleBits = input.sampleBits;
  settings.wavEvaluation = input.headed != nullptr;
  settings.swapBytes = input.headed == nullptr && bigEndianSamples(input);
}

void fail(qola_job& job, const JobError& error) {
  job.status = publicStatus(error.status);
  job.message = error.message;
  job.programMessage = qola::programText(error);
  job.exitCode = error.code;
}

// The frames a restore gives: all of them unless a part is asked for.
struct FrameRange {
  bool part = false;
  std::int64_t first = 0;
  std::int64_t end = -1;
};

qola_status run(qola_job* job, qola_input* input, qola_output* output, Mode mode, FrameRange range = {}) {
  if (job == nullptr) return QOLA_ERROR_ARGUMENT;
  job->status = QOLA_OK;
  job->message.clear();
  job->programMessage.clear();
  job->exitCode = 0;
  job->result = qola_result{};
  job->result.size = sizeof(qola_result);
  if (input == nullptr || output == nullptr || !input->stream->isOpen() || !output->stream->isOpen()) {
    fail(*job, JobError{Failure::Argument, "A stream is missing or already used", 1});
    return job->status;
  }
  try {
    try {
      CodecSettings settings = codecSettings(job->settings, mode);
      if (input->sampleChannels != 0) takeSampleLayout(*input, settings);
      CallbackSink sink(*job);
      if (mode == Mode::Compress) {
        if (input->stream->size() < 0) input->stream = spoolInput(*input->stream);
        const std::int64_t inputSize = input->stream->size();
        compressFile(settings, *input->stream, *output->stream, sink);
        job->result.input_size = inputSize;
      } else if (range.part) {
        restoreRange(settings, *input->stream, *output->stream, sink, range.first, range.end);
      } else {
        decompressFile(settings, *input->stream, *output->stream, sink);
      }
      if (input->stream->readFailed()) throw readError(*input->stream);
      if (output->stream->failed()) {
        throw JobError{Failure::Write, writeError(output->stream->failureCause()), 1};
      }
      if (!commitOutput(*output)) {
        const std::string cause = std::strerror(errno);
        throw JobError{Failure::Write, "cannot give the output its name: " + cause, 1};
      }
    } catch (const std::bad_alloc&) {
      throw JobError{Failure::Job, "error in memory allocation", 1};
    }
  } catch (const JobError& error) {
    // A read error cut the input short: that, not what the short input led to, is the cause.
    const bool readFailed = input->stream->readFailed() && error.status != Failure::Cancelled;
    fail(*job, readFailed ? readError(*input->stream) : error);
    input->stream->close();
    output->stream->close();
    discardOutput(*output);
  }
  return job->status;
}

}  // namespace
}  // namespace qola

extern "C" {

qola_status qola_init_settings(qola_settings* settings, size_t size) {
  return qola::initSettings(settings, size) ? QOLA_OK : QOLA_ERROR_ARGUMENT;
}

qola_job* qola_job_create(const qola_settings* settings) {
  try {
    auto job = std::make_unique<qola_job>();
    job->settings = settings != nullptr ? qola::readSettings(*settings) : qola::defaultSettings();
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

const char* qola_settings_refusal(const qola_settings* settings, int compressing) {
  if (settings == nullptr) return "A setting is out of range";
  return qola::settingsRefusal(qola::readSettings(*settings), compressing != 0 ? qola::Mode::Compress : qola::Mode::Decompress);
}

qola_status qola_compress(qola_job* job, qola_input* input, qola_output* output) {
  return qola::run(job, input, output, qola::Mode::Compress);
}

qola_status qola_decompress(qola_job* job, qola_input* input, qola_output* output) {
  return qola::run(job, input, output, qola::Mode::Decompress);
}

qola_status qola_decompress_range(qola_job* job, qola_input* input, qola_output* output, int64_t first,
                                  int64_t end) {
  return qola::run(job, input, output, qola::Mode::Decompress, {true, first, end});
}

const char* qola_job_message(const qola_job* job) { return job != nullptr ? job->message.c_str() : ""; }
const char* qola_job_program_message(const qola_job* job) {
  return job != nullptr ? job->programMessage.c_str() : "";
}
int qola_job_exit_code(const qola_job* job) { return job != nullptr ? job->exitCode : 1; }
const qola_result* qola_job_result(const qola_job* job) { return job != nullptr ? &job->result : nullptr; }

size_t qola_format_report(const qola_result* result, char* buffer, size_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  if (result == nullptr || result->size < qola::kFirstResultSize) return 0;
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

const char* qola_growth_reason(const qola_result* result) {
  if (result == nullptr || result->size < qola::kResultSizeWithInputSize) return nullptr;
  return qola::grownInputReason(*result);
}

double qola_wav_duration(const void* head, size_t head_size, int64_t total_size) {
  if (head == nullptr) return -1;
  return qola::wavDuration({static_cast<const std::uint8_t*>(head), head_size}, total_size);
}

int qola_is_compressed(const void* head, size_t head_size, int64_t total_size) {
  return qola::looksCompressed(static_cast<const std::uint8_t*>(head), head_size, total_size) ? 1 : 0;
}

qola_status qola_probe(qola_input* input, qola_info* info) {
  if (input == nullptr || info == nullptr || !input->stream->isOpen()) return QOLA_ERROR_ARGUMENT;
  qola_status status = QOLA_OK;
  qola_info full{};
  try {
    full = qola::infoOf(qola::readFileFacts(*input->stream));
  } catch (const qola::JobError& error) {
    status = qola::publicStatus(error.status);
  } catch (const std::bad_alloc&) {
    status = QOLA_ERROR_JOB;
  }
  input->stream->close();  // what was read is gone from a pipe: no job may start in the middle
  if (status == QOLA_OK && !qola::copyInfo(full, info)) status = QOLA_ERROR_ARGUMENT;
  return status;
}

qola_status qola_input_set_sample_rate(qola_input* input, uint32_t sample_rate) {
  if (input == nullptr || input->sampleChannels == 0 || input->headed != nullptr || !input->stream->isOpen()) {
    return QOLA_ERROR_ARGUMENT;
  }
  try {
    std::vector<std::uint8_t> header =
        qola::plainWavHeader(input->sampleChannels, input->sampleBits, sample_rate, input->samples.size());
    if (header.empty()) return QOLA_ERROR_ARGUMENT;
    // A WAV file holds little-endian samples: the restore then writes a file any reader takes.
    auto headed =
        std::make_unique<qola::HeadedSamples>(std::move(header), input->samples, qola::bigEndianSamples(*input));
    input->stream = std::make_unique<qola::InputStream>(headed->callbacks());
    input->headed = std::move(headed);
  } catch (const std::bad_alloc&) {
    return QOLA_ERROR_JOB;
  }
  return QOLA_OK;
}

const char* qola_version(void) { return QOLA_VERSION_STRING; }
int qola_version_number(void) { return QOLA_VERSION_NUMBER; }

const char* qola_status_string(int status) {
  switch (status) {
    case QOLA_OK: return "success";
    case QOLA_ERROR_JOB: return "the job failed: damaged input or too little memory";
    case QOLA_ERROR_TRANSFORM: return "a transform refused its length or memory";
    case QOLA_ERROR_CODER: return "the arithmetic decoder met damaged input";
    case QOLA_ERROR_WRITE: return "the output could not be written";
    case QOLA_ERROR_NEEDS_SIZE: return "compression needs the input's size";
    case QOLA_ERROR_NOT_QOLA: return "the input is not a compressed file";
    case QOLA_ERROR_ARGUMENT: return "an argument or setting is invalid";
    case QOLA_CANCELLED: return "the job was cancelled";
    case QOLA_ERROR_CHECKSUM: return "restored, but the output differs from the original";
    default: return "unknown status";
  }
}

}  // extern "C"
