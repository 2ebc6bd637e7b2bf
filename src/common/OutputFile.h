// The one way a job's output reaches a name without destroying anything the
// user had. A regular file is written unnamed and takes its name only when
// it is complete, and never over an existing file without consent; a device
// or FIFO is written in place; a symbolic link is written through to the
// file it names, so the link itself stays.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace qola {

// A file descriptor the process owns.
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
  int release() { return std::exchange(fd_, -1); }
  explicit operator bool() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// An unnamed file under $TMPDIR (or /tmp) that vanishes when it is closed.
UniqueFd unnamedScratchFile();

struct OutputRules {
  bool replace = false;  // an existing file (or the file a link names) may be replaced
  bool holdDevice = false;  // a device or FIFO gets its bytes at commit: they wait in a scratch file
  bool sync = false;     // commit puts the file and its folder on the disk before it returns
  bool fileOnly = false; // a device or FIFO is refused before it is opened
};

class OutputFile {
 public:
  // Opens NAME for a job; nullptr with errno set when it cannot be used:
  // EEXIST for an existing file (or a link, or a block device) without
  // replace, EISDIR for a folder, ENOENT for an empty name, ENOTSUP for a
  // device or FIFO under fileOnly.
  static std::unique_ptr<OutputFile> open(const std::string& name, OutputRules rules);

  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // an output never committed leaves no named file behind

  // Where the job writes.
  int writeDescriptor() const { return written_.get(); }
  // The bytes written so far, for pread: the new file or the held scratch
  // file; -1 for a device or FIFO written in place.
  int readDescriptor() const { return readable_ ? written_.get() : -1; }
  // True when the output becomes a regular file at its name, which can be read back from there.
  bool regular() const { return regular_; }
  // The name the output takes (links followed).
  const std::string& path() const { return path_; }

  // Gives a new file its name (or copies held bytes to their device);
  // false with errno set, EEXIST when another file took the name first.
  // Once committed, the output stays whatever follows.
  bool commit();
  bool committed() const { return committed_; }

 private:
  OutputFile() = default;
  bool openNewFile(const struct stat* replaced);
  bool openInPlace();
  bool nameNewFile();
  bool copyHeldBytes();

  OutputRules rules_;
  std::string path_;        // the name the output takes
  std::string temporary_;   // a named temporary file, where the file system has no unnamed ones
  UniqueFd written_;        // what the job writes
  UniqueFd destination_;    // a device or FIFO, when its bytes are held until commit
  bool regular_ = false;
  bool readable_ = false;
  bool committed_ = false;
};

}  // namespace qola
