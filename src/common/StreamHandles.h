// What the public stream handles hold: one internal stream each, and for a
// path output the temporary file that becomes the output only on success.
#pragma once

#include <qola/qola.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Stream.h"

struct qola_input {
  std::unique_ptr<qola::InputStream> stream;
};

struct qola_output {
  ~qola_output();  // closes the stream, then removes a temporary file not committed

  std::unique_ptr<qola::OutputStream> stream;
  std::vector<std::uint8_t> memory;
  bool isMemory = false;
  std::string path;      // a path output's final name
  std::string tempPath;  // where it is written until the job succeeds
};

namespace qola {

// A path output takes its final name; false (errno set) when the rename fails.
bool commitOutput(qola_output& output);
// A path output's temporary file is removed; other outputs stay as they are.
void discardOutput(qola_output& output);

}  // namespace qola
