#include "common/Fatal.h"

namespace qola {
namespace {

Failure statusOf(ErrorChannel channel) {
  switch (channel) {
    case ErrorChannel::StandardOutput:
      return Failure::Transform;
    case ErrorChannel::StandardError:
      return Failure::Coder;
    case ErrorChannel::MessageBox:
      break;
  }
  return Failure::Job;
}

}  // namespace

void fatalErrorOn(ErrorChannel channel, const std::string& message, int code) {
  throw JobError{statusOf(channel), message, code};
}

void fatalError(const std::string& message, int code) { fatalErrorOn(ErrorChannel::MessageBox, message, code); }

void terminatingError(const std::string& cause) {
  JobError error{Failure::Job, cause, 1};
  error.terminates = true;
  throw error;
}

void damagedFile(const std::string& what) { terminatingError("Damaged file: " + what); }

void fileEndsEarly(const std::string& where) {
  JobError error{Failure::Job, "Damaged file: the file ends " + where, 1};
  error.terminates = true;
  error.inputEnded = true;
  throw error;
}

void coderError(const char* file, int line, const std::string& message) {
  // The source file's own name, not the build machine's path to it.
  const std::string path(file);
  JobError error{Failure::Coder, message, 1};
  error.origin = path.substr(path.find_last_of('/') + 1) + ":" + std::to_string(line);
  throw error;
}

std::string programText(const JobError& error) {
  if (error.status == Failure::Coder && !error.origin.empty()) return error.origin + ": error: " + error.message;
  if (error.status == Failure::Transform) return "Error: " + error.message;
  if (error.terminates) return error.message + ", program terminated";
  return error.message;
}

}  // namespace qola
