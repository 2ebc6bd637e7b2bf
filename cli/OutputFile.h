// Where one job's output goes: standard output, or a name the library
// writes under its rules (see qola_output_open).
#pragma once

#include <qola/qola.hpp>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "Fd.h"

namespace qola::cli {

// "-" and the names of the open standard output: written into, never over
// the file it may be.
bool namesStandardOutput(const std::string& name);

class JobOutput {
 public:
  struct Rules {
    bool replace = false;   // -f
    bool readBack = false;  // the bytes are checked before they reach the output
    bool fileOnly = false;  // the output must be a regular file, re-read after it is named
  };
  // Opens NAME for one job; nullopt with errno set when it cannot be used
  // (see qola_output_open; ENOTSUP for standard output under fileOnly).
  static std::optional<JobOutput> open(const std::string& name, Rules rules);

  Output& stream() { return *output_; }
  bool toStandardOutput() const { return standard_; }
  // The bytes written, for pread; -1 when they are not kept.
  int written() const { return scratch_ ? scratch_.get() : output_->descriptor(); }
  // Gives a new regular file the input's permission bits and times.
  void takeAttributes(const struct stat& input);
  // Puts the output in place; false with errno set (EEXIST: another file took the name).
  bool commit();
  // True when the file at the output's name holds exactly the bytes written.
  bool readsBackFromItsName() const;

 private:
  JobOutput(std::string name, Output output, UniqueFd scratch, bool standard)
      : name_(std::move(name)), output_(std::move(output)), scratch_(std::move(scratch)), standard_(standard) {}

  std::string name_;
  std::optional<Output> output_;
  UniqueFd scratch_;  // standard output's bytes until they are checked
  bool standard_;
};

}  // namespace qola::cli
