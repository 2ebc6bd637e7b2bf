// A job's input: a file or standard input, open for the whole job so that the
// verification reads the very bytes the job read.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

#include "Fd.h"

namespace qola::cli {

struct InputFile {
  std::string name;          // as given; "-" is standard input
  UniqueFd fd;
  struct stat status {};     // when opened (of the scratch copy once spooled)
  bool regular = false;      // a regular file: the output takes its times and permissions
};

// Opens NAME ("-": standard input) for reading; a directory is refused.
std::optional<InputFile> openInput(const std::string& name, std::string& error);

// Compression measures its input before it starts: an input that cannot be
// measured (pipe, terminal, FIFO) is first copied to an unlinked scratch file.
bool spoolIfUnmeasurable(InputFile& input, std::string& error);

// The size of a regular input now, when it differs from its size when opened.
std::optional<std::int64_t> changedSize(const InputFile& input);

// "stdin" for "-", else the name.
std::string shownName(const std::string& name, const char* standardName);

}  // namespace qola::cli
