// File descriptors the tool owns, and the scratch files it spools through.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace qola::cli {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// The library's unnamed scratch file, owned: it vanishes with its descriptor,
// however the process ends.
UniqueFd scratchFile();

// Copies from the current offset of 'from' to its end; false (errno set) on failure.
bool copyAll(int from, int to);

// A stdio stream over a duplicate of fd, for a job that closes what it gets.
std::FILE* streamOver(int fd, const char* mode);

}  // namespace qola::cli
