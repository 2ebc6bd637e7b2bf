// qola: compress PCM/WAV files to .qla and restore them, bit for bit.
#include <qola/qola.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "FileJob.h"
#include "Options.h"
#include "Progress.h"

namespace qola::cli {
namespace {

// Runs one job over two owned files; a failed job comes back in the result.
JobResult runJob(const Settings& settings, bool compress, std::FILE* in, Output& output, const std::string& label,
                 bool showProgress, const FrameRange& range) {
  // A part's progress is of the part, which the file's measure does not tell.
  ConsoleProgress progress(label, showProgress,
                           showProgress && !range.part ? measureInput(in, compress, settings) : InputMeasure{});
  JobResult result;
  try {
    Input input = Input::file(in, true);
    Job job(settings);
    progress.attach(job);
    if (compress) {
      result.numbers = job.compress(input, output);
    } else if (range.part) {
      result.numbers = job.decompressRange(input, output, range.first, range.end);
    } else {
      result.numbers = job.decompress(input, output);
    }
    result.report = reportText(result.numbers);
  } catch (const Error& failed) {
    result.status = failed.status();
    result.writeFailed = failed.status() == QOLA_ERROR_WRITE;
    result.failed = !result.writeFailed;
    result.message = failed.programMessage();
  }
  progress.clearLine();
  return result;
}

// The files compressed together, as each file's report gives its own.
std::string totalRatio(std::int64_t inputBytes, std::int64_t compressedBytes) {
  if (compressedBytes <= 0) return "";
  char text[96];
  std::snprintf(text, sizeof text, ", total ratio %.3f (%lld -> %lld bytes)",
                static_cast<double>(inputBytes) / static_cast<double>(compressedBytes),
                static_cast<long long>(inputBytes), static_cast<long long>(compressedBytes));
  return text;
}

// A report that cannot be written is a failure, as in the GNU tools.
bool standardOutputWritten() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  std::fprintf(stderr, "qola: write error on standard output: %s\n", std::strerror(errno));
  return false;
}

}  // namespace

int run(int argc, char** argv) {
  std::string error;
  const auto options = parseOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "qola: %s\nTry 'qola --help' for more information.\n", error.c_str());
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(usageText(), stdout);
    return standardOutputWritten() ? 0 : kExitJobFailed;
  }
  if (options->version) {
    std::printf("qola %s (file version %s)\n", QOLA_VERSION_STRING, QOLA_FILE_VERSION_STRING);
    return standardOutputWritten() ? 0 : kExitJobFailed;
  }
  std::signal(SIGXFSZ, SIG_IGN);  // a file size limit is an ordinary write error
  bool jobFailed = false;
  bool fileError = false;
  int failures = 0;
  int unchecked = 0;
  std::int64_t inputBytes = 0;
  std::int64_t compressedBytes = 0;
  for (const std::string& input : options->inputs) {
    FileOutcome outcome;
    const int status = processFile(*options, input, &runJob, &outcome);
    if (status != 0) ++failures;
    if (outcome.unchecked) ++unchecked;
    inputBytes += outcome.inputBytes;
    compressedBytes += outcome.compressedBytes;
    jobFailed = jobFailed || status == kExitJobFailed;
    fileError = fileError || status == kExitUsage;
  }
  if (options->inputs.size() > 1 && !options->quiet) {
    // A restore that nothing confirmed is said here too, where a script reads the outcome.
    const std::string withoutChecksum =
        unchecked > 0 ? ", " + std::to_string(unchecked) + " with no checksum stored" : std::string();
    std::fprintf(reportStream(*options), "%zu file(s) processed, %d failed%s%s\n", options->inputs.size(), failures,
                 withoutChecksum.c_str(), totalRatio(inputBytes, compressedBytes).c_str());
  }
  jobFailed = !standardOutputWritten() || jobFailed;
  // A failed job outranks a usage error.
  return jobFailed ? kExitJobFailed : fileError ? kExitUsage : 0;
}

}  // namespace qola::cli

int main(int argc, char** argv) { return qola::cli::run(argc, argv); }
