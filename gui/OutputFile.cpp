#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace qola::ui {
namespace {

namespace fs = std::filesystem;

mode_t currentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

std::FILE* openInPlace(const std::string& path) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
  return file;
}

// The missing file a chain of links ends in: what writing through the link creates.
std::optional<fs::path> danglingTarget(fs::path path) {
  constexpr int kLinkHops = 40;
  std::error_code error;
  for (int hop = 0; hop < kLinkHops && fs::is_symlink(fs::symlink_status(path, error)); ++hop) {
    const fs::path next = fs::read_symlink(path, error);
    if (error) return std::nullopt;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return fs::is_symlink(fs::symlink_status(path, error)) ? std::nullopt : std::optional(path);
}

}  // namespace

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

std::optional<OutputFile> createOutput(const std::string& name) {
  std::error_code error;
  OutputFile output{nullptr, name, ""};
  const fs::file_status status = fs::status(name, error);
  if (fs::exists(status)) {
    if (fs::is_directory(status)) return std::nullopt;
    if (!fs::is_regular_file(status)) {
      output.file = openInPlace(name);
      return output.file != nullptr ? std::optional(output) : std::nullopt;
    }
    output.path = fs::canonical(name, error).string();
    if (error) return std::nullopt;
  } else if (fs::is_symlink(fs::symlink_status(name, error))) {
    // A link whose file is gone stays the user's: the output goes where it points.
    const std::optional<fs::path> target = danglingTarget(name);
    if (!target) return std::nullopt;
    output.path = target->string();
  }
  const fs::path target(output.path);
  std::string hidden(".");
  hidden += target.filename().string();
  hidden += ".qola-XXXXXX";
  output.tempPath = (target.parent_path() / hidden).string();
  const int descriptor = mkostemp(output.tempPath.data(), O_CLOEXEC);
  if (descriptor < 0) return std::nullopt;
  // The replaced file's permissions, or what the umask allows for a new one.
  struct stat existing {};
  fchmod(descriptor, stat(output.path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0666 & ~currentUmask());
  output.file = fdopen(descriptor, "wb");
  if (output.file == nullptr) {
    close(descriptor);
    unlink(output.tempPath.c_str());
    return std::nullopt;
  }
  return output;
}

bool commitOutput(OutputFile& output) {
  if (output.tempPath.empty()) return true;
  if (std::rename(output.tempPath.c_str(), output.path.c_str()) != 0) {
    discardOutput(output);
    return false;
  }
  output.tempPath.clear();
  return true;
}

void discardOutput(OutputFile& output) {
  if (output.tempPath.empty()) return;
  unlink(output.tempPath.c_str());
  output.tempPath.clear();
}

}  // namespace qola::ui
