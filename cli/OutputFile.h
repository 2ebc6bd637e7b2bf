// Where a job's output goes, and how it gets there without destroying
// anything the user had.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "Fd.h"

namespace qola::cli {

enum class OutputKind {
  StandardOutput,  // "-"
  Direct,          // a device, FIFO or other non-regular file: written in place
  Regular,         // a regular file, existing or not: written beside it and put in its place
};

struct OutputTarget {
  std::string name;       // as the user gave it
  std::string path;       // what is written: symbolic links followed
  OutputKind kind = OutputKind::Regular;
  bool occupied = false;  // writing would replace something the user has (a dangling link counts)
};

// "-" and the names of the open standard output: written into, never over
// the file it may be.
bool namesStandardOutput(const std::string& name);

// Looks at what NAME is now, changing nothing; a directory is refused.
std::optional<OutputTarget> resolveOutput(const std::string& name, std::string& error);

// Removes the current temporary output on SIGINT, SIGTERM and SIGHUP, then
// dies of the signal; ignores SIGXFSZ so that a file size limit is an
// ordinary write error.
void installSignalCleanup();

// What a job's stream saw: its first bytes and the first failed write.
struct WriteTap {
  int fd = -1;
  std::array<std::uint8_t, 16> head{};
  std::size_t headLength = 0;
  std::int64_t written = 0;
  int error = 0;  // errno of the first failed write
};

// One job's output on its way to its name. A regular output is written to a
// temporary file beside its target and renamed in only when the job
// succeeded, without replacing anything unless asked; otherwise the
// temporary file is removed (also on destruction and on the usual signals).
class PendingOutput {
 public:
  explicit PendingOutput(OutputTarget target) : target_(std::move(target)) {}
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;
  ~PendingOutput();

  // Opens the destination; mode gives a new file's permission bits. With
  // readBack, a device or standard output gets the result only after it
  // could be read back (see deliver).
  bool open(mode_t mode, bool readBack, std::string& error);
  // A stream for the job, which closes it.
  std::FILE* jobStream();
  const WriteTap& tap() const { return *tap_; }
  // The bytes written so far, for pread; -1 when they are not kept.
  int written() const { return written_.get(); }
  // Gives a regular output the input's access and modification times.
  void keepTimes(const struct stat& input);

  enum class Commit { Done, Exists, Failed, WriteFailed };
  // Puts the output in place: renames a temporary file in (over an existing
  // file only with replace; Exists when another file took the name first), or
  // copies a read-back result to its destination (WriteFailed: see tap()).
  Commit commit(bool replace, std::string& error);

 private:
  void discard();

  OutputTarget target_;
  std::string temporary_;   // the temporary file's name, while it exists
  UniqueFd destination_;    // where the bytes finally go when not renamed in
  UniqueFd written_;        // the file the job writes
  std::unique_ptr<WriteTap> tap_ = std::make_unique<WriteTap>();
};

}  // namespace qola::cli
