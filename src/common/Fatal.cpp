#include "common/Fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace qola {
namespace {

std::atomic<FatalHandler> currentHandler{&defaultFatalHandler};

}  // namespace

void defaultFatalHandler(const std::string& message, int code, ErrorChannel channel) {
  std::FILE* out = channel == ErrorChannel::StandardOutput ? stdout : stderr;
  std::fflush(stdout);
  std::fprintf(out, "%s\n", message.c_str());
  std::fflush(out);
  std::exit(code);
}

FatalHandler setFatalHandler(FatalHandler handler) {
  return currentHandler.exchange(handler != nullptr ? handler : &defaultFatalHandler);
}

void fatalErrorOn(ErrorChannel channel, const std::string& message, int code) {
  currentHandler.load()(message, code, channel);
  std::exit(code);  // a handler that returns still ends the process
}

void fatalError(const std::string& message, int code) {
  fatalErrorOn(ErrorChannel::MessageBox, message, code);
}

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
