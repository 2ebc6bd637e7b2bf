// qola: compress PCM/WAV files to .qla and restore them, bit for bit.
#include <qola/qola.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Options.h"

namespace qola::cli {
namespace {

constexpr int kExitJobFailed = 1;
constexpr int kExitUsage = 2;

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

struct FileOutcome {
  int status = 0;  // 0, kExitJobFailed or kExitUsage
};

std::string defaultOutputName(const std::string& input, Action action) {
  if (action == Action::Compress) return input + ".qla";
  const std::string suffix = ".qla";
  if (input.size() > suffix.size() && input.compare(input.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return input.substr(0, input.size() - suffix.size());
  }
  return input + ".restored";
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

mode_t currentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

bool exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// Runs one job; a fatal error comes back as JobFailed.
void runJob(const CodecSettings& settings, std::FILE* in, std::FILE* out, ConsoleSink& sink, bool& writeFailed) {
  InputStream input(in);
  OutputStream output(out);
  if (settings.mode == Mode::Compress) {
    compressFile(settings, input, output, sink);
  } else {
    decompressFile(settings, input, output, sink);
  }
  writeFailed = output.failed();
}

// Decodes the compressed file and compares it with the first bytes of the original.
bool verify(const Options& options, const std::string& compressed, const std::string& original, std::string& error) {
  std::FILE* in = std::fopen(compressed.c_str(), "rb");
  std::FILE* decoded = std::tmpfile();
  if (in == nullptr || decoded == nullptr) {
    if (in != nullptr) std::fclose(in);
    if (decoded != nullptr) std::fclose(decoded);
    error = "cannot open files for verification";
    return false;
  }
  const int descriptor = dup(fileno(decoded));
  CodecSettings settings = options.settings;
  settings.mode = Mode::Decompress;
  ConsoleSink sink("verifying", false);
  bool writeFailed = false;
  runJob(settings, in, decoded, sink, writeFailed);  // closes both
  std::FILE* restored = fdopen(descriptor, "rb");
  std::FILE* source = std::fopen(original.c_str(), "rb");
  bool equal = restored != nullptr && source != nullptr && !writeFailed;
  if (equal) {
    std::rewind(restored);
    std::vector<char> a(1 << 16);
    std::vector<char> b(1 << 16);
    for (;;) {
      const std::size_t got = std::fread(a.data(), 1, a.size(), restored);
      if (got == 0) break;
      if (std::fread(b.data(), 1, got, source) != got || std::memcmp(a.data(), b.data(), got) != 0) {
        equal = false;
        break;
      }
    }
  }
  if (restored != nullptr) std::fclose(restored);
  if (source != nullptr) std::fclose(source);
  if (!equal) error = "verification failed: the decoded file differs from the input";
  return equal;
}

FileOutcome processFile(const Options& options, const std::string& inputName) {
  auto fail = [&](int status, const std::string& message) {
    std::fprintf(stderr, "qola: %s: %s\n", inputName.c_str(), message.c_str());
    return FileOutcome{status};
  };
  const bool test = options.action == Action::Test;
  const std::string outputName = test ? "" : options.output.value_or(defaultOutputName(inputName, options.action));

  std::FILE* in = std::fopen(inputName.c_str(), "rb");
  if (in == nullptr) return fail(kExitUsage, std::string("cannot open: ") + std::strerror(errno));
  if (!test) {
    if (sameFile(inputName, outputName)) {
      std::fclose(in);
      return fail(kExitUsage, "input and output are the same file");
    }
    if (!options.force && exists(outputName)) {
      std::fclose(in);
      return fail(kExitUsage, outputName + " exists (use -f to overwrite)");
    }
  }

  // Write under a temporary name and rename only on success.
  std::string tempName;
  std::FILE* out = nullptr;
  if (test) {
    out = std::fopen("/dev/null", "wb");
  } else {
    tempName = outputName + ".tmp-XXXXXX";
    const int descriptor = mkstemp(tempName.data());
    if (descriptor >= 0) fchmod(descriptor, 0666 & ~currentUmask());  // mkstemp's 0600 is not what users expect
    out = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
  }
  if (out == nullptr) {
    std::fclose(in);
    return fail(kExitUsage, "cannot create the output: " + std::string(std::strerror(errno)));
  }

  const bool showProgress = !options.quiet && isatty(STDERR_FILENO) != 0;
  ConsoleSink sink(inputName, showProgress);
  auto removeTemp = [&] {
    if (!tempName.empty()) std::remove(tempName.c_str());
  };
  try {
    bool writeFailed = false;
    runJob(options.settings, in, out, sink, writeFailed);
    if (writeFailed) {
      removeTemp();
      return fail(kExitJobFailed, "write error (disk full?)");
    }
    if (options.verify && options.action == Action::Compress) {
      std::string error;
      if (!verify(options, tempName, inputName, error)) {
        removeTemp();
        return fail(kExitJobFailed, error);
      }
    }
  } catch (const JobFailed& failed) {
    sink.clearLine();
    removeTemp();
    return fail(kExitJobFailed, failed.message);
  }
  if (!test && std::rename(tempName.c_str(), outputName.c_str()) != 0) {
    removeTemp();
    return fail(kExitUsage, "cannot rename the output: " + std::string(std::strerror(errno)));
  }
  if (!options.quiet) {
    if (test) {
      std::printf("%s: ok%s\n", inputName.c_str(), sink.report().c_str());
    } else {
      std::printf("%s -> %s%s%s\n", inputName.c_str(), outputName.c_str(),
                  options.verify && options.action == Action::Compress ? " (verified)" : "",
                  sink.report().c_str());
    }
    std::fflush(stdout);
  }
  return {};
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
    return 0;
  }
  if (options->version) {
    std::printf("qola %s (file version %s)\n", kProductVersion, kFileVersion);
    return 0;
  }
  setFatalHandler(&throwingHandler);
  bool jobFailed = false;
  bool fileError = false;
  int failures = 0;
  for (const std::string& input : options->inputs) {
    const FileOutcome outcome = processFile(*options, input);
    if (outcome.status != 0) ++failures;
    jobFailed = jobFailed || outcome.status == kExitJobFailed;
    fileError = fileError || outcome.status == kExitUsage;
  }
  if (options->inputs.size() > 1 && !options->quiet) {
    std::printf("%zu file(s) processed, %d failed\n", options->inputs.size(), failures);
  }
  // A failed job outranks a usage error.
  return jobFailed ? kExitJobFailed : fileError ? kExitUsage : 0;
}

}  // namespace qola::cli

int main(int argc, char** argv) { return qola::cli::run(argc, argv); }
