#include "InputFile.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace qola::cli {

std::optional<InputFile> openInput(const std::string& name, std::string& error) {
  InputFile input;
  input.name = name;
  input.fd.reset(name == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                             : ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!input.fd || ::fstat(input.fd.get(), &input.status) != 0) {
    error = std::string("cannot open: ") + std::strerror(errno);
    return std::nullopt;
  }
  if (S_ISDIR(input.status.st_mode)) {
    error = "is a directory";
    return std::nullopt;
  }
  input.regular = S_ISREG(input.status.st_mode);
  return input;
}

bool spoolIfUnmeasurable(InputFile& input, std::string& error) {
  if (input.regular || S_ISBLK(input.status.st_mode)) return true;
  UniqueFd scratch = scratchFile();
  if (!scratch || !copyAll(input.fd.get(), scratch.get()) || ::lseek(scratch.get(), 0, SEEK_SET) != 0 ||
      ::fstat(scratch.get(), &input.status) != 0) {
    error = std::string("cannot keep a copy of the input for compression: ") + std::strerror(errno);
    return false;
  }
  input.fd = std::move(scratch);
  return true;
}

std::optional<std::int64_t> changedSize(const InputFile& input) {
  struct stat now {};
  if (!input.regular || ::fstat(input.fd.get(), &now) != 0 || now.st_size == input.status.st_size) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(now.st_size);
}

std::string shownName(const std::string& name, const char* standardName) {
  return name == "-" ? standardName : name;
}

}  // namespace qola::cli
