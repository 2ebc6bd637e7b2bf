// qola: compress PCM/WAV files to .qla and restore them, bit for bit.
#include <qola/qola.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "FileJob.h"
#include "Options.h"
#include "OutputFile.h"

namespace qola::cli {
namespace {

// A job's fatal error, thrown by our handler so that the other files go on.
struct JobFailed {
  std::string message;
};

void throwingHandler(const std::string& message, int, ErrorChannel) { throw JobFailed{message}; }

// Progress on standard error when it is a terminal; the report is kept.
class ConsoleSink : public ProgressSink {
 public:
  ConsoleSink(std::string label, bool show) : label_(std::move(label)), show_(show) {}
  void setProgress(int percent) override {
    if (!show_ || done_ || percent == last_) return;
    last_ = percent;
    std::fprintf(stderr, "\r%s: %3d%%", label_.c_str(), percent);
    std::fflush(stderr);
  }
  void showReport(const std::string& text, const std::string&) override {
    report_ = text;
    done_ = true;
    clearLine();
  }
  void clearLine() {
    if (show_ && last_ >= 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size()) + 6, "");
    last_ = -1;
  }
  const std::string& report() const { return report_; }

 private:
  std::string label_;
  bool show_;
  bool done_ = false;
  int last_ = -1;
  std::string report_;
};

// Runs one job; a fatal error comes back in the result.
JobResult runJob(const CodecSettings& settings, std::FILE* in, std::FILE* out, const std::string& label,
                 bool showProgress) {
  ConsoleSink sink(label, showProgress);
  JobResult result;
  try {
    InputStream input(in);
    OutputStream output(out);
    if (settings.mode == Mode::Compress) {
      compressFile(settings, input, output, sink);
    } else {
      decompressFile(settings, input, output, sink);
    }
    result.writeFailed = output.failed();
  } catch (const JobFailed& failed) {
    sink.clearLine();
    result.failed = true;
    result.message = failed.message;
  }
  result.report = sink.report();
  return result;
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
    std::printf("qola %s (file version %s)\n", kProductVersion, kFileVersion);
    return standardOutputWritten() ? 0 : kExitJobFailed;
  }
  setFatalHandler(&throwingHandler);
  installSignalCleanup();
  bool jobFailed = false;
  bool fileError = false;
  int failures = 0;
  for (const std::string& input : options->inputs) {
    const int status = processFile(*options, input, &runJob);
    if (status != 0) ++failures;
    jobFailed = jobFailed || status == kExitJobFailed;
    fileError = fileError || status == kExitUsage;
  }
  if (options->inputs.size() > 1 && !options->quiet) {
    std::fprintf(reportStream(*options), "%zu file(s) processed, %d failed\n", options->inputs.size(), failures);
  }
  jobFailed = !standardOutputWritten() || jobFailed;
  // A failed job outranks a usage error.
  return jobFailed ? kExitJobFailed : fileError ? kExitUsage : 0;
}

}  // namespace qola::cli

int main(int argc, char** argv) { return qola::cli::run(argc, argv); }
