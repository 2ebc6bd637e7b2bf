#include "Fd.h"

#include <fcntl.h>

#include <cerrno>
#include <vector>

#include <qola/qola.h>

namespace qola::cli {

UniqueFd scratchFile() { return UniqueFd(qola_scratch_file()); }

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
