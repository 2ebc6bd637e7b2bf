// Where a job writes until it has succeeded. A file the user had is replaced
// only by a finished output: the job writes under a temporary name beside it,
// which takes the final name on success and is removed on failure.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace qola::ui {

struct OutputFile {
  std::FILE* file = nullptr;  // open for writing; the job owns and closes it
  std::string path;           // the name the output takes on success
  std::string tempPath;       // empty: written in place (a device or FIFO, which cannot be renamed over)
};

// True when both names lead to one file (also through links), or are one name.
bool sameFile(const std::string& first, const std::string& second);

// True when a job's output would replace a file the user has: a regular file
// at the name (also through a link) or a dangling link.
bool wouldReplace(const std::string& name);

// Opens the output for a job. A link is written through to its target; a
// device or FIFO is written in place (a FIFO without a reader fails at once
// rather than blocking). Nothing when the output cannot be opened.
std::optional<OutputFile> createOutput(const std::string& name);

// After the job closed the file: gives the output its name (false when the rename fails),
// or removes what the failed job wrote.
bool commitOutput(OutputFile& output);
void discardOutput(OutputFile& output);

}  // namespace qola::ui
