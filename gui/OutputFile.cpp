#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace qola::ui {

namespace fs = std::filesystem;

bool sameFile(const std::string& first, const std::string& second) {
  std::error_code error;
  if (fs::equivalent(first, second, error)) return true;
  const fs::path a = fs::absolute(first, error).lexically_normal();
  const fs::path b = fs::absolute(second, error).lexically_normal();
  return a == b;
}

bool wouldReplace(const std::string& name) {
  std::error_code error;
  const fs::file_status status = fs::status(name, error);
  return fs::is_regular_file(status) || (!fs::exists(status) && fs::is_symlink(fs::symlink_status(name, error)));
}

std::optional<OutputFile> createOutput(const std::string& name, bool replace) {
  // Held, a device's bytes too wait for the job's success: the job writes
  // through a file that the library keeps for the output.
  const int flags = QOLA_OUTPUT_HOLD | QOLA_OUTPUT_HOLD_DEVICE | (replace ? QOLA_OUTPUT_REPLACE : 0);
  std::optional<Output> output = Output::tryOpen(name, flags);
  if (!output) return std::nullopt;
  const int descriptor = fcntl(output->descriptor(), F_DUPFD_CLOEXEC, 0);
  std::FILE* file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
  if (file == nullptr) {
    const int cause = errno;
    if (descriptor >= 0) close(descriptor);
    errno = cause;
    return std::nullopt;
  }
  return OutputFile{file, std::make_shared<Output>(std::move(*output))};
}

bool commitOutput(OutputFile& output) { return qola_output_commit(output.output->get()) == 0; }

void discardOutput(OutputFile& output) { output.output.reset(); }

}  // namespace qola::ui
