#include "FileJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "Conventions.h"
#include "Fidelity.h"
#include "InputFile.h"
#include "OutputFile.h"

namespace qola::cli {
namespace {

std::string defaultOutputName(const std::string& input, Action action) {
  if (input == "-") return "-";
  if (action == Action::Compress) return input + ".qla";
  const std::string suffix = ".qla";
  if (input.size() > suffix.size() && input.compare(input.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return input.substr(0, input.size() - suffix.size());
  }
  return input + ".restored";
}

std::string outputNameFor(const Options& options, const std::string& input) {
  if (options.toStdout) return "-";
  return options.output.value_or(defaultOutputName(input, options.action));
}

// True when the output would overwrite the very file being read.
bool sameFile(const InputFile& input, const std::string& outputName) {
  struct stat output {};
  const int result = namesStandardOutput(outputName) ? ::fstat(STDOUT_FILENO, &output)
                                                      : ::stat(outputName.c_str(), &output);
  return result == 0 && S_ISREG(output.st_mode) && output.st_dev == input.status.st_dev &&
         output.st_ino == input.status.st_ino;
}

// Why an output name cannot take this job's output.
std::string unusable(const std::string& name, int error) {
  if (error == EEXIST) return name + " exists (use -f to overwrite)";
  if (error == EISDIR) return name + " is a directory";
  if (error == ENOTSUP) {
    return "--delete-input-file needs an output file to check before the input goes; " +
           shownName(name, "standard output") + " is none";
  }
  return "cannot create the output: " + std::string(std::strerror(error));
}

// A regular file given to -d or -t that cannot be a compressed file is
// refused before any decoding; pipes go to the decoder as they are.
bool couldBeCompressed(const InputFile& input) {
  std::uint8_t head[8] = {};
  const ssize_t got = ::pread(input.fd.get(), head, sizeof head, 0);
  return got < 0 || qola_is_compressed(head, static_cast<std::size_t>(got), input.status.st_size) != 0;
}

// The file header and the longest header copy: what tells the sample rate and length.
constexpr std::size_t kHeadBytes = 6 + 1 + 255;

std::string bytes(std::int64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// "N bytes at the end of the input are not stored", in the singular for one.
std::string notStored(std::int64_t count) {
  return bytes(count) + " at the end of the input " + (count == 1 ? "is" : "are") +
         " not stored (the format keeps whole sample frames only)";
}

// Decodes the compressed file into a scratch file and compares that with the
// input to its last byte; returns why they differ, or nothing.
std::string verify(const Options& options, int compressed, const InputFile& input, const JobRunner& runJob) {
  UniqueFd decoded = scratchFile();
  std::FILE* in = ::lseek(compressed, 0, SEEK_SET) == 0 ? streamOver(compressed, "rb") : nullptr;
  std::FILE* out = decoded ? streamOver(decoded.get(), "wb") : nullptr;
  if (in == nullptr || out == nullptr) {
    if (in != nullptr) std::fclose(in);
    if (out != nullptr) std::fclose(out);
    return "cannot open files for verification";
  }
  Output restored = Output::file(out, true);
  const JobResult result = runJob(options.settings, false, in, restored, "verifying", false, FrameRange{});
  if (result.failed) return "verification failed: " + result.message;
  const auto comparison = compareFiles(decoded.get(), input.fd.get());
  if (result.writeFailed || !comparison) return "cannot open files for verification";
  if (comparison->missing > 0) {
    return "verification failed: " + notStored(comparison->missing);
  }
  if (!comparison->equal) return "verification failed: the decoded file differs from the input";
  return "";
}

// What a restore says of its checksum, after "ok".
std::string checksumText(const qola_result& numbers) {
  switch (numbers.checksum) {
    case QOLA_CHECKSUM_OK: {
      static constexpr char kDigits[] = "0123456789abcdef";
      std::string hex;
      for (const std::uint8_t byte : numbers.md5) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0f];
      }
      return "checksum ok " + hex;
    }
    case QOLA_CHECKSUM_MISMATCH:
      return "checksum MISMATCH";
    case QOLA_CHECKSUM_NOT_COMPARED:
      return "checksum not compared (the byte order was chosen with -s)";
    case QOLA_CHECKSUM_PART:
      return "range restored, checksum not checked";
    case QOLA_CHECKSUM_NONE:
      break;
  }
  return "no checksum stored (written by a plain encoder)";
}

// The frames --skip and --until name. A time or a position before the end
// needs the file's sample rate or length: the header of a regular file tells.
std::optional<FrameRange> frameRange(const Options& options, const InputFile& input, std::string& error) {
  FrameRange range;
  if (!options.skip && !options.until) return range;
  int rate = 0;
  std::int64_t frames = -1;
  std::uint8_t head[kHeadBytes] = {};
  const ssize_t got = input.regular ? ::pread(input.fd.get(), head, sizeof head, 0) : -1;
  if (got > 0) {
    qola_input* memory = qola_input_memory(head, static_cast<std::size_t>(got));
    qola_decoder* decoder = qola_decoder_open(memory);
    if (qola_decoder_format(decoder, nullptr, nullptr, &frames, &rate) != QOLA_OK) frames = -1;
    qola_decoder_free(decoder);
    qola_input_free(memory);
  }
  range.part = true;
  if (options.skip) {
    const auto first = resolvePosition(*options.skip, rate, frames, 0, error);
    if (!first) return std::nullopt;
    range.first = *first;
  }
  if (options.until) {
    const auto end = resolvePosition(*options.until, rate, frames, range.first, error);
    if (!end) return std::nullopt;
    if (*end < range.first) {
      error = "--until lies before --skip";
      return std::nullopt;
    }
    range.end = *end;
  }
  return range;
}

// Bytes after the audio that are no trailer: another file joined on, or damage.
std::string ignoredBytes(std::int64_t count) {
  return "warning: " + bytes(count) + " after the audio data " + (count == 1 ? "is" : "are") +
         " not a checksum trailer and " + (count == 1 ? "was" : "were") + " ignored";
}

}  // namespace

std::FILE* reportStream(const Options& options) {
  const bool stdinToDefault =
      !options.output && std::find(options.inputs.begin(), options.inputs.end(), "-") != options.inputs.end();
  const bool namedStdout = namesStandardOutput(options.output.value_or(""));
  const bool audioToStdout = options.action != Action::Test && (options.toStdout || namedStdout || stdinToDefault);
  return audioToStdout ? stderr : stdout;
}

namespace {

// One input file through the job: the checks before anything is written,
// the output settled, the job and its verification, the output's name and
// the input's deletion, then the warnings and the report line. A step that
// fails prints its message and gives the exit status; 0 lets the file go on.
class FileJob {
 public:
  FileJob(const Options& options, const std::string& inputName, const JobRunner& runJob, FileOutcome* outcome)
      : options_(options),
        inputName_(inputName),
        runJob_(runJob),
        outcome_(outcome),
        shown_(shownName(inputName, "stdin")),
        compress_(options.action == Action::Compress),
        test_(options.action == Action::Test),
        verifying_(options.verify && compress_) {}

  int run() {
    std::optional<FrameRange> range;
    if (const int status = checkInput(range)) return status;
    if (const int status = openOutput()) return status;
    if (const int status = runTheJob(*range)) return status;
    if (const int status = finishOutput()) return status;
    report();
    return 0;
  }

 private:
  void message(const std::string& text) const {
    std::fprintf(stderr, "qola: %s: %s\n", shown_.c_str(), text.c_str());
  }
  int fail(int status, const std::string& text) const {
    message(text);
    return status;
  }

  // The input is opened and is what the job needs; the frame range fits it.
  int checkInput(std::optional<FrameRange>& range) {
    std::string error;
    input_ = openInput(inputName_, error);
    if (!input_) return fail(kExitUsage, error);
    if (!compress_ && input_->regular && !couldBeCompressed(*input_)) {
      return fail(kExitJobFailed, "not a QOLA file");
    }
    if (compress_ && !options_.force && alreadyCompressed(*input_)) {
      return fail(kExitUsage, "already compressed (a QOLA file), skipped (use -f to compress it again)");
    }
    if (compress_ && options_.settings.swap_bytes != 0 && options_.settings.wav_evaluation != 0 &&
        startsAsWav(*input_)) {
      message("warning: a WAV file's samples are little-endian: -s (big-endian samples) is probably wrong");
    }
    range = frameRange(options_, *input_, error);
    if (!range) return fail(kExitUsage, error);
    return 0;
  }

  // Everything about the output is settled before the job runs.
  int openOutput() {
    if (!test_) {
      const std::string name = outputNameFor(options_, inputName_);
      if (sameFile(*input_, name)) return fail(kExitUsage, "input and output are the same file");
      if (namesStandardOutput(name) && ::isatty(STDOUT_FILENO) != 0 && !options_.force) {
        return fail(kExitUsage, "audio is not written to a terminal (use -f to force)");
      }
      output_ = JobOutput::open(name, {options_.force, verifying_, options_.deleteInput});
      if (!output_) return fail(kExitUsage, unusable(name, errno));
      outputName_ = shownName(name, "stdout");
    }
    // The library copies a stream it cannot measure; verifying reads the
    // input a second time, so then the copy must be ours.
    std::string error;
    if (verifying_ && !spoolIfUnmeasurable(*input_, error)) return fail(kExitJobFailed, error);
    return 0;
  }

  // Why the input's size moved while it was read; empty when it did not.
  std::string changed() const {
    const auto now = changedSize(*input_);
    if (!now) return "";
    return "the input changed size while it was read (" + bytes(input_->status.st_size) + " at the start, " +
           std::to_string(*now) + " now); nothing was written";
  }

  int runTheJob(const FrameRange& range) {
    std::optional<Output> discarded;
    if (test_) discarded = Output::callbacks([](void*, const void*, std::size_t) { return 0; }, nullptr);
    Output& out = output_ ? output_->stream() : *discarded;
    std::FILE* in = streamOver(input_->fd.get(), "rb");
    if (in == nullptr) return fail(kExitUsage, std::string("cannot read the input: ") + std::strerror(errno));
    const bool showProgress = !options_.quiet && ::isatty(STDERR_FILENO) != 0;
    result_ = runJob_(options_.settings, compress_, in, out, shown_, showProgress, range);
    const qola_checksum checksum = result_.numbers.checksum;
    if (outcome_ != nullptr && !compress_ && !result_.failed && !result_.writeFailed) {
      outcome_->unchecked = checksum == QOLA_CHECKSUM_NONE || checksum == QOLA_CHECKSUM_NOT_COMPARED;
    }
    if (result_.failed && result_.status == QOLA_ERROR_CHECKSUM && options_.keepDamaged && output_) {
      if (output_->commit()) message("kept the damaged restore as " + outputName_);
    }
    if (result_.failed || result_.writeFailed) return fail(kExitJobFailed, result_.message);
    if (const std::string why = changed(); !why.empty()) return fail(kExitJobFailed, why);
    if (verifying_) {
      if (const std::string why = verify(options_, output_->written(), *input_, runJob_); !why.empty()) {
        return fail(kExitJobFailed, why);
      }
      if (const std::string why = changed(); !why.empty()) return fail(kExitJobFailed, why);
    }
    return 0;
  }

  // The output takes its name; the input goes only once its compressed file
  // is verified, on the disk and read back from its name.
  int finishOutput() {
    if (!output_) return 0;
    if (input_->regular) output_->takeAttributes(input_->status);
    if (!output_->commit()) {
      if (errno == EEXIST) return fail(kExitUsage, unusable(outputName_, EEXIST));
      return fail(kExitJobFailed, std::string("cannot give the output its name: ") + std::strerror(errno));
    }
    if (!options_.deleteInput || !input_->regular) return 0;
    if (!output_->readsBackFromItsName()) {
      return fail(kExitJobFailed, "the output read back from " + outputName_ + " differs; the input is kept");
    }
    if (::unlink(inputName_.c_str()) != 0) {
      return fail(kExitUsage, std::string("cannot delete the input: ") + std::strerror(errno));
    }
    return 0;
  }

  // A compression's bytes not stored and why its file grew.
  void compressionWarnings() {
    const std::int64_t written = result_.numbers.compressed_size;
    const std::int64_t inputSize = result_.numbers.input_size;
    const std::int64_t restored = result_.numbers.original_size;
    if (outcome_ != nullptr) {
      outcome_->inputBytes = inputSize;
      outcome_->compressedBytes = written;
    }
    // With the trailer the bytes after the last whole frame are stored too.
    if (restored < inputSize && result_.numbers.checksum == QOLA_CHECKSUM_NONE) {
      message("warning: " + notStored(inputSize - restored));
    }
    if (const char* why = qola_growth_reason(&result_.numbers); !options_.quiet && why != nullptr) {
      message("the compressed file is larger than its input (" + std::to_string(written) + " > " +
              bytes(inputSize) + "): " + why + "; it is still correct");
    }
  }

  void report() {
    if (compress_) compressionWarnings();
    if (!compress_ && result_.numbers.ignored_bytes > 0) message(ignoredBytes(result_.numbers.ignored_bytes));
    if (options_.quiet) return;
    std::FILE* reports = reportStream(options_);
    const std::string checksum = compress_ ? "" : " (" + checksumText(result_.numbers) + ")";
    if (test_) {
      std::fprintf(reports, "%s: ok%s%s\n", shown_.c_str(), checksum.c_str(), result_.report.c_str());
    } else {
      std::fprintf(reports, "%s -> %s%s%s%s\n", shown_.c_str(), outputName_.c_str(),
                   verifying_ ? " (verified)" : "", checksum.c_str(), result_.report.c_str());
    }
    std::fflush(reports);
  }

  const Options& options_;
  const std::string& inputName_;
  const JobRunner& runJob_;
  FileOutcome* outcome_;
  const std::string shown_;
  const bool compress_;
  const bool test_;
  const bool verifying_;
  std::optional<InputFile> input_;
  std::optional<JobOutput> output_;
  std::string outputName_;  // as messages show it; empty for a test
  JobResult result_;
};

}  // namespace

int processFile(const Options& options, const std::string& inputName, const JobRunner& runJob,
                FileOutcome* outcome) {
  return FileJob(options, inputName, runJob, outcome).run();
}

}  // namespace qola::cli
