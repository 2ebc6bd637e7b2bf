#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "Fidelity.h"

namespace qola::cli {

bool namesStandardOutput(const std::string& name) {
  return name == "-" || name == "/dev/stdout" || name == "/dev/fd/1" || name == "/proc/self/fd/1";
}

std::optional<JobOutput> JobOutput::open(const std::string& name, Rules rules) {
  if (!namesStandardOutput(name)) {
    const int flags = QOLA_OUTPUT_HOLD | (rules.readBack ? QOLA_OUTPUT_HOLD_DEVICE : 0) |
                      (rules.replace ? QOLA_OUTPUT_REPLACE : 0) |
                      (rules.fileOnly ? QOLA_OUTPUT_FILE_ONLY | QOLA_OUTPUT_SYNC : 0);
    std::optional<Output> output = Output::tryOpen(name, flags);
    if (!output) return std::nullopt;
    return JobOutput(name, std::move(*output), UniqueFd(), false);
  }
  if (rules.fileOnly) {
    errno = ENOTSUP;
    return std::nullopt;
  }
  // Standard output cannot take bytes back: with readBack they wait in a scratch file.
  UniqueFd scratch = rules.readBack ? scratchFile() : UniqueFd();
  if (rules.readBack && !scratch) return std::nullopt;
  std::FILE* stream = streamOver(scratch ? scratch.get() : STDOUT_FILENO, "wb");
  if (stream == nullptr) return std::nullopt;
  return JobOutput(name, Output::file(stream, true), std::move(scratch), true);
}

void JobOutput::takeAttributes(const struct stat& input) {
  if (!output_->isRegular()) return;
  const struct timespec times[2] = {input.st_atim, input.st_mtim};
  ::fchmod(output_->descriptor(), input.st_mode & 07777);
  ::futimens(output_->descriptor(), times);
}

bool JobOutput::commit() {
  if (!standard_) return qola_output_commit(output_->get()) == 0;
  if (!scratch_) return true;  // written as the job went
  return ::lseek(scratch_.get(), 0, SEEK_SET) == 0 && copyAll(scratch_.get(), STDOUT_FILENO);
}

bool JobOutput::readsBackFromItsName() const {
  const UniqueFd named(::open(name_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!named) return false;
  const auto comparison = compareFiles(named.get(), written());
  return comparison && comparison->equal && comparison->missing == 0;
}

}  // namespace qola::cli
