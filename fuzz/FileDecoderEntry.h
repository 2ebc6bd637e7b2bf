// Feeds arbitrary bytes to the whole-file decoder through the public
// interface. Shared by the libFuzzer target and the test that replays its
// corpus. A refusal is fine; what the decoder accepts must keep the promises
// of its own header, and the job must report as a job does.
#pragma once

#include <qola/qola.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qola::fuzz {

struct FileDecoderOutcome {
  qola_status status = QOLA_ERROR_ARGUMENT;
  std::string message;
  int exitCode = 0;
  std::size_t written = 0;
  std::int64_t promised = -1;  // header copy plus every sample the header counts (accepted files)
  bool progressInRange = true;
  bool progressRises = true;  // never moves back while the job runs
  std::uint64_t digest = 0;   // FNV-1a of the bytes written
};

namespace detail {
struct ProgressLog {
  bool inRange = true;
  bool rises = true;
  int last = -1;
};
inline int logProgress(void* user, int percent) {
  auto* log = static_cast<ProgressLog*>(user);
  log->inRange = log->inRange && percent >= 0 && percent <= 100;
  log->rises = log->rises && percent >= log->last;
  log->last = percent;
  return 0;
}
}  // namespace detail

inline FileDecoderOutcome runFileDecoder(const std::uint8_t* data, std::size_t size, int threads = 1) {
  FileDecoderOutcome outcome;
  qola_settings settings;
  qola_default_settings(&settings);
  settings.threads = threads;
  qola_job* job = qola_job_create(&settings);
  qola_input* input = qola_input_memory(data, size);
  qola_output* output = qola_output_memory();
  detail::ProgressLog log;
  qola_job_set_progress(job, &detail::logProgress, &log);
  outcome.status = qola_decompress(job, input, output);
  outcome.message = qola_job_message(job);
  outcome.exitCode = qola_job_exit_code(job);
  const auto* bytes = static_cast<const std::uint8_t*>(qola_output_data(output, &outcome.written));
  outcome.digest = 0xcbf29ce484222325ull;
  for (std::size_t i = 0; i < outcome.written; ++i) outcome.digest = (outcome.digest ^ bytes[i]) * 0x100000001b3ull;
  if (outcome.status == QOLA_OK) {
    const qola_result* result = qola_job_result(job);
    outcome.promised = result->header_length + result->samples * result->channels * (result->bits / 8);
  }
  outcome.progressInRange = log.inRange;
  outcome.progressRises = log.rises;
  qola_output_free(output);
  qola_input_free(input);
  qola_job_free(job);
  return outcome;
}

// The checks a fuzzing run enforces; empty when the outcome is sound.
inline std::string fileDecoderFault(const FileDecoderOutcome& outcome) {
  if (!outcome.progressInRange) return "progress outside 0..100";
  if (!outcome.progressRises) return "progress moved back";
  if (outcome.status == QOLA_OK) {
    if (outcome.promised < 0 || outcome.written < static_cast<std::size_t>(outcome.promised)) {
      return "fewer bytes written than the header promises";
    }
    // Only a trailer may add to the promise, and only the bytes after the input's last whole frame.
    if (outcome.written > static_cast<std::size_t>(outcome.promised) + 255) return "more bytes written than promised";
    return "";
  }
  if (outcome.message.empty()) return "a failed job without a message";
  if (outcome.exitCode != 1) return "a failed job whose exit code is not 1";
  return "";
}

// Blocks rebuilt on other threads change nothing: the same end, message and bytes.
inline std::string threadsFault(const FileDecoderOutcome& one, const FileDecoderOutcome& two) {
  const bool same = one.status == two.status && one.message == two.message && one.written == two.written &&
                    one.digest == two.digest;
  return same ? "" : "two threads decode differently from one";
}

}  // namespace qola::fuzz
