#include "common/OutputFile.h"

#include <fcntl.h>
#include <limits.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace qola {
namespace {

constexpr int kLinkHops = 40;         // as many as the kernel follows
constexpr int kNameAttempts = 100;    // random temporary names tried before giving up
constexpr char kTemporaryMark[] = ".tmp-";
constexpr std::size_t kRandomLength = 6;
constexpr mode_t kNewFileMode = 0666;  // less the umask, as for any new file

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The entry a chain of links ends in: a file, or the missing name that
// writing through the links creates.
bool followLinks(std::string& path) {
  for (int hop = 0; hop < kLinkHops; ++hop) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) return errno == EINVAL || errno == ENOENT;
    const std::string next(target, static_cast<std::size_t>(length));
    path = next.front() == '/' ? next : parentOf(path) + "/" + next;
  }
  errno = ELOOP;
  return false;
}

// A free name beside PATH for a file on its way there, within the longest
// name the file system takes, however long PATH's own name is.
std::string temporaryNameFor(const std::string& path) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::minstd_rand random(std::random_device{}());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  const std::size_t room = NAME_MAX - (sizeof kTemporaryMark - 1) - kRandomLength;
  std::string name = parentOf(path) + "/" + baseOf(path).substr(0, room) + kTemporaryMark;
  for (std::size_t i = 0; i < kRandomLength; ++i) name += kAlphabet[pick(random)];
  return name;
}

bool notSupported(int error) {
  return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP || error == EPERM ||
         error == EISDIR || error == ENOENT;
}

// Creates TO from FROM, never over an existing file (EEXIST instead).
int renameWithoutReplacing(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno == EEXIST || !notSupported(errno)) return -1;
  if (::link(from, to) == 0) {  // a hard link does not replace either
    ::unlink(from);
    return 0;
  }
  if (errno == EEXIST || !notSupported(errno)) return -1;
  // A file system with neither: look first; only a race in between can slip through.
  struct stat existing {};
  if (::lstat(to, &existing) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from, to);
}

// Gives the unnamed file FD the name TO; EEXIST when TO exists.
int linkUnnamed(int fd, const char* to) {
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return ::linkat(AT_FDCWD, self, AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}

bool syncFolderOf(const std::string& path) {
  const UniqueFd folder(::open(parentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return folder && (::fsync(folder.get()) == 0 || errno == EINVAL);
}

bool writeAll(int fd, const char* data, std::size_t count) {
  while (count > 0) {
    const ssize_t put = ::write(fd, data, count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    count -= static_cast<std::size_t>(put);
  }
  return true;
}

// An unnamed scratch file under $TMPDIR (or /tmp).
UniqueFd scratchFile() {
  const char* folder = std::getenv("TMPDIR");
  const std::string directory = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  UniqueFd fd(::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd || !notSupported(errno)) return fd;
  for (int attempt = 0; attempt < kNameAttempts && !fd; ++attempt) {
    const std::string name = temporaryNameFor(directory + "/qola-scratch");
    fd.reset(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd) ::unlink(name.c_str());
    else if (errno != EEXIST) break;
  }
  return fd;
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::open(const std::string& name, OutputRules rules) {
  if (name.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  std::unique_ptr<OutputFile> output(new OutputFile());
  output->rules_ = rules;
  output->path_ = name;
  struct stat entry {};
  if (::lstat(name.c_str(), &entry) != 0) {
    if (errno != ENOENT) return nullptr;
    return output->openNewFile(nullptr) ? std::move(output) : nullptr;
  }
  if (S_ISLNK(entry.st_mode)) {
    if (!followLinks(output->path_)) return nullptr;
    if (::stat(output->path_.c_str(), &entry) != 0) {
      if (errno != ENOENT) return nullptr;
      // The link is the user's even when what it names is gone.
      if (!rules.replace) {
        errno = EEXIST;
        return nullptr;
      }
      return output->openNewFile(nullptr) ? std::move(output) : nullptr;
    }
  }
  if (S_ISDIR(entry.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
  // A disk holds data a stray write destroys; a terminal, a FIFO or a
  // character device takes a stream and keeps nothing to lose.
  const bool occupied = S_ISREG(entry.st_mode) || S_ISBLK(entry.st_mode);
  if (!S_ISREG(entry.st_mode) && rules.fileOnly) {
    errno = ENOTSUP;
    return nullptr;
  }
  if (occupied && !rules.replace) {
    errno = EEXIST;
    return nullptr;
  }
  const bool opened = S_ISREG(entry.st_mode) ? output->openNewFile(&entry) : output->openInPlace();
  return opened ? std::move(output) : nullptr;
}

OutputFile::~OutputFile() {
  if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
}

bool OutputFile::openNewFile(const struct stat* replaced) {
  regular_ = true;
  readable_ = true;
  // Unnamed until complete: no crash or signal leaves a partial file with a name.
  if (::access("/proc/self/fd", X_OK) == 0) {
    written_.reset(::open(parentOf(path_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, kNewFileMode));
    if (!written_ && !notSupported(errno)) return false;
  }
  // File systems without unnamed files: a named temporary beside the target.
  for (int attempt = 0; attempt < kNameAttempts && !written_; ++attempt) {
    const std::string name = temporaryNameFor(path_);
    written_.reset(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode));
    if (written_) temporary_ = name;
    else if (errno != EEXIST) return false;
  }
  if (!written_) return false;
  // A file put in another's place keeps the permissions that one had.
  if (replaced != nullptr) ::fchmod(written_.get(), replaced->st_mode & 07777);
  return true;
}

bool OutputFile::openInPlace() {
  UniqueFd device(::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (!device) return false;
  if (!rules_.holdDevice) {
    written_ = std::move(device);
    return true;
  }
  written_ = scratchFile();
  if (!written_) return false;
  destination_ = std::move(device);
  readable_ = true;
  return true;
}

bool OutputFile::commit() {
  if (committed_) return true;
  if (!regular_ && destination_ && !copyHeldBytes()) return false;
  if (regular_) {
    if (rules_.sync && ::fsync(written_.get()) != 0) return false;
    if (!nameNewFile()) return false;
    if (rules_.sync && !syncFolderOf(path_)) return false;
  }
  committed_ = true;
  return true;
}

bool OutputFile::nameNewFile() {
  const char* to = path_.c_str();
  if (!temporary_.empty()) {
    if ((rules_.replace ? ::rename(temporary_.c_str(), to) : renameWithoutReplacing(temporary_.c_str(), to)) != 0) {
      return false;
    }
    temporary_.clear();
    return true;
  }
  if (linkUnnamed(written_.get(), to) == 0) return true;
  if (errno != EEXIST || !rules_.replace) return false;
  // The name is taken and may be replaced: a name beside it, then a rename over it.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string beside = temporaryNameFor(path_);
    if (linkUnnamed(written_.get(), beside.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (::rename(beside.c_str(), to) == 0) return true;
    const int cause = errno;
    ::unlink(beside.c_str());
    errno = cause;
    return false;
  }
  errno = EEXIST;
  return false;
}

bool OutputFile::copyHeldBytes() {
  std::vector<char> buffer(1 << 16);
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(written_.get(), buffer.data(), buffer.size(), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    if (!writeAll(destination_.get(), buffer.data(), static_cast<std::size_t>(got))) return false;
    offset += got;
  }
  return !rules_.sync || ::fsync(destination_.get()) == 0 || errno == EINVAL || errno == EROFS;
}

UniqueFd unnamedScratchFile() { return scratchFile(); }

}  // namespace qola
