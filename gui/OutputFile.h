// Where a job writes until it has succeeded: the library's output, held
// until the job is done, so that a file the user had is replaced only by a
// finished output, and a failed job leaves no file behind.
#pragma once

#include <qola/qola.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace qola::ui {

struct OutputFile {
  std::FILE* file = nullptr;        // the job writes here; the job owns and closes it
  std::shared_ptr<Output> output;   // takes its name (or its device the bytes) on commit
};

// True when both names lead to one file (also through links), or are one name.
bool sameFile(const std::string& first, const std::string& second);

// True when a job's output would replace a file the user has: a regular file
// at the name (also through a link) or a dangling link.
bool wouldReplace(const std::string& name);

// Opens the output for a job, under the library's rules: a link is written
// through to its target, a device or FIFO gets the bytes in place; an
// existing file only with replace. Nothing (errno set) when it cannot be used.
std::optional<OutputFile> createOutput(const std::string& name, bool replace);

// After the job closed the file: gives the output its name (false, errno
// set, when it cannot), or drops what the failed job wrote.
bool commitOutput(OutputFile& output);
void discardOutput(OutputFile& output);

}  // namespace qola::ui
