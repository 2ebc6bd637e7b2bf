#include "Fd.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace qola::cli {

UniqueFd scratchFile() {
  const char* folder = std::getenv("TMPDIR");
  std::string directory = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  UniqueFd fd(::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd) return fd;
  // File systems without O_TMPFILE: create, then unlink at once.
  std::string name = directory + "/qola-scratch-XXXXXX";
  fd.reset(mkostemp(name.data(), O_CLOEXEC));
  if (fd) ::unlink(name.c_str());
  return fd;
}

bool copyAll(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
}

std::FILE* streamOver(int fd, const char* mode) {
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;
  std::FILE* stream = ::fdopen(copy, mode);
  if (stream == nullptr) ::close(copy);
  return stream;
}

}  // namespace qola::cli
