#include "OutputFile.h"

#include <fcntl.h>
#include <limits.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace qola::cli {
namespace {

constexpr int kLinkHops = 40;  // as the kernel allows when it follows links
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary output a signal handler removes. Updated only while the
// cleanup signals are blocked, so that the handler never sees half a name.
char gTemporary[PATH_MAX];
volatile std::sig_atomic_t gHasTemporary = 0;

void removeTemporaryAndDie(int signal) {
  if (gHasTemporary != 0) ::unlink(gTemporary);
  // The handler was reset to the default on entry; the raised signal is
  // delivered as soon as the handler returns and ends the process.
  ::raise(signal);
}

class CleanupSignalsBlocked {
 public:
  CleanupSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kCleanupSignals) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~CleanupSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  CleanupSignalsBlocked(const CleanupSignalsBlocked&) = delete;
  CleanupSignalsBlocked& operator=(const CleanupSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The missing file a chain of links ends in: what writing through it creates.
std::optional<std::string> danglingTarget(std::string path) {
  for (int hop = 0; hop < kLinkHops; ++hop) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) return errno == EINVAL || errno == ENOENT ? std::optional(path) : std::nullopt;
    const std::string next(target, static_cast<std::size_t>(length));
    path = next.front() == '/' ? next : parentOf(path) + "/" + next;
  }
  errno = ELOOP;
  return std::nullopt;
}

std::string failure(const std::string& what) { return what + ": " + std::strerror(errno); }

ssize_t tapWrite(void* cookie, const char* data, std::size_t size) {
  auto* tap = static_cast<WriteTap*>(cookie);
  const std::size_t kept = std::min(size, tap->head.size() - tap->headLength);
  std::memcpy(tap->head.data() + tap->headLength, data, kept);
  tap->headLength += kept;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::write(tap->fd, data + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (tap->error == 0) tap->error = put < 0 ? errno : EIO;
      break;
    }
    done += static_cast<std::size_t>(put);
  }
  tap->written += static_cast<std::int64_t>(done);
  return static_cast<ssize_t>(done);
}

int tapClose(void* cookie) {
  auto* tap = static_cast<WriteTap*>(cookie);
  const int result = ::close(tap->fd);
  tap->fd = -1;
  return result;
}

bool unsupported(int error) { return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EPERM; }

// Creates 'to' from 'from' but never over an existing file (EEXIST instead).
int renameWithoutReplacing(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (!unsupported(errno)) return -1;
  if (::link(from, to) == 0) {  // a hard link does not replace either
    ::unlink(from);
    return 0;
  }
  if (!unsupported(errno)) return -1;
  // A file system with neither: look first; only a race in between can slip through.
  struct stat existing {};
  if (::lstat(to, &existing) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from, to);
}

}  // namespace

bool namesStandardOutput(const std::string& name) {
  return name == "-" || name == "/dev/stdout" || name == "/dev/fd/1" || name == "/proc/self/fd/1";
}

std::optional<OutputTarget> resolveOutput(const std::string& name, std::string& error) {
  OutputTarget target{name, name, OutputKind::Regular, false};
  if (namesStandardOutput(name)) {
    target.kind = OutputKind::StandardOutput;
    return target;
  }
  struct stat entry {};
  if (::lstat(name.c_str(), &entry) != 0) {
    if (errno == ENOENT) return target;
    error = failure("cannot use the output " + name);
    return std::nullopt;
  }
  struct stat followed = entry;
  if (S_ISLNK(entry.st_mode) && ::stat(name.c_str(), &followed) != 0) {
    const auto missing = errno == ENOENT ? danglingTarget(name) : std::nullopt;
    if (!missing) {
      error = failure("cannot use the output " + name);
      return std::nullopt;
    }
    target.path = *missing;
    target.occupied = true;  // the link is the user's even when its target is gone
    return target;
  }
  if (S_ISDIR(followed.st_mode)) {
    error = name + " is a directory";
    return std::nullopt;
  }
  if (!S_ISREG(followed.st_mode)) {
    target.kind = OutputKind::Direct;
    target.occupied = S_ISBLK(followed.st_mode);  // a disk holds data a stray write destroys
    return target;
  }
  target.occupied = true;
  if (S_ISLNK(entry.st_mode)) {
    // The temporary file goes beside the link's target, so that the rename stays in one folder.
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(name.c_str(), nullptr), &std::free);
    if (!real) {
      error = failure("cannot use the output " + name);
      return std::nullopt;
    }
    target.path = real.get();
  }
  return target;
}

void installSignalCleanup() {
  struct sigaction action {};
  action.sa_handler = &removeTemporaryAndDie;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal : kCleanupSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kCleanupSignals) {
    struct sigaction previous {};
    sigaction(signal, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);  // nohup stays nohup
  }
  std::signal(SIGXFSZ, SIG_IGN);
}

PendingOutput::~PendingOutput() { discard(); }

void PendingOutput::discard() {
  if (temporary_.empty()) return;
  CleanupSignalsBlocked blocked;
  ::unlink(temporary_.c_str());
  gHasTemporary = 0;
  temporary_.clear();
}

bool PendingOutput::open(mode_t mode, bool readBack, std::string& error) {
  if (target_.kind == OutputKind::Regular) {
    std::string name = target_.path + ".tmp-XXXXXX";
    if (name.size() >= sizeof gTemporary) {
      errno = ENAMETOOLONG;
      error = failure("cannot create the output");
      return false;
    }
    CleanupSignalsBlocked blocked;
    written_.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (!written_) {
      error = failure("cannot create the output");
      return false;
    }
    temporary_ = name;
    std::memcpy(gTemporary, name.c_str(), name.size() + 1);
    gHasTemporary = 1;
    ::fchmod(written_.get(), mode);  // mkstemp's 0600 is not what users expect
    return true;
  }
  destination_.reset(target_.kind == OutputKind::StandardOutput
                         ? ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0)
                         : ::open(target_.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (!destination_) {
    error = failure("cannot create the output");
    return false;
  }
  if (readBack) {
    written_ = scratchFile();
    if (!written_) {
      error = failure("cannot create a scratch file");
      return false;
    }
  }
  return true;
}

std::FILE* PendingOutput::jobStream() {
  tap_->fd = ::fcntl(written_ ? written_.get() : destination_.get(), F_DUPFD_CLOEXEC, 0);
  if (tap_->fd < 0) return nullptr;
  const cookie_io_functions_t functions{nullptr, &tapWrite, nullptr, &tapClose};
  std::FILE* stream = ::fopencookie(tap_.get(), "wb", functions);
  if (stream == nullptr) tapClose(tap_.get());
  return stream;
}

void PendingOutput::keepTimes(const struct stat& input) {
  if (target_.kind != OutputKind::Regular || !written_) return;
  const struct timespec times[2] = {input.st_atim, input.st_mtim};
  ::futimens(written_.get(), times);
}

PendingOutput::Commit PendingOutput::commit(bool replace, std::string& error) {
  if (target_.kind != OutputKind::Regular) {
    if (!written_) return Commit::Done;  // written in place already
    if (::lseek(written_.get(), 0, SEEK_SET) != 0 || !copyAll(written_.get(), destination_.get())) {
      tap_->error = errno != 0 ? errno : EIO;
      return Commit::WriteFailed;
    }
    return Commit::Done;
  }
  const char* from = temporary_.c_str();
  const char* to = target_.path.c_str();
  if ((replace ? ::rename(from, to) : renameWithoutReplacing(from, to)) == 0) {
    CleanupSignalsBlocked blocked;
    gHasTemporary = 0;
    temporary_.clear();
    return Commit::Done;
  }
  const int cause = errno;
  discard();
  if (cause == EEXIST) return Commit::Exists;
  error = std::string("cannot rename the output: ") + std::strerror(cause);
  return Commit::Failed;
}

}  // namespace qola::cli
