#include "common/Fatal.h"

namespace qola {
namespace {

qola_status statusOf(ErrorChannel channel) {
  switch (channel) {
    case ErrorChannel::StandardOutput:
      return QOLA_ERROR_TRANSFORM;
    case ErrorChannel::StandardError:
      return QOLA_ERROR_CODER;
    case ErrorChannel::MessageBox:
      break;
  }
  return QOLA_ERROR_JOB;
}

}  // namespace

void fatalErrorOn(ErrorChannel channel, const std::string& message, int code) {
  throw JobError{statusOf(channel), message, code};
}

void fatalError(const std::string& message, int code) { fatalErrorOn(ErrorChannel::MessageBox, message, code); }

void damagedFile(const std::string& what) {
  fatalError("Damaged file: " + what + ", program terminated", 1);
}

void coderError(const char* file, int line, const std::string& message) {
  // The source file's own name, not the build machine's path to it.
  const std::string path(file);
  const std::string name = path.substr(path.find_last_of('/') + 1);
  fatalErrorOn(ErrorChannel::StandardError, name + ":" + std::to_string(line) + ": error: " + message, 1);
}

}  // namespace qola
