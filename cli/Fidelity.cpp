#include "Fidelity.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>


namespace qola::cli {
namespace {

// Reads up to count bytes at offset; fewer only at the end.
ssize_t readAt(int fd, char* buffer, std::size_t count, std::int64_t offset) {
  std::size_t done = 0;
  while (done < count) {
    const auto at = static_cast<off_t>(offset + static_cast<std::int64_t>(done));
    const ssize_t got = ::pread(fd, buffer + done, count - done, at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

std::optional<Comparison> compareFiles(int restored, int original) {
  std::vector<char> a(1 << 16);
  std::vector<char> b(1 << 16);
  std::int64_t offset = 0;
  for (;;) {
    const ssize_t gotA = readAt(restored, a.data(), a.size(), offset);
    const ssize_t gotB = readAt(original, b.data(), b.size(), offset);
    if (gotA < 0 || gotB < 0) return std::nullopt;
    const std::size_t common = static_cast<std::size_t>(std::min(gotA, gotB));
    if (std::memcmp(a.data(), b.data(), common) != 0 || gotA > gotB) return Comparison{};
    offset += gotA;
    if (gotA < gotB) {  // the restore ended: count what it lacks
      std::int64_t missing = gotB - gotA;
      for (ssize_t got = 0; (got = readAt(original, b.data(), b.size(), offset + missing)) > 0;) missing += got;
      return Comparison{missing == 0, missing};
    }
    if (gotA == 0) return Comparison{true, 0};
  }
}

}  // namespace qola::cli
