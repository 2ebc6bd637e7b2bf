// What the public stream handles hold: one internal stream each, and for a
// path output the file that takes its name only on success.
#pragma once

#include <qola/qola.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/HeadedSamples.h"
#include "common/OutputFile.h"
#include "common/Stream.h"

struct qola_input {
  // A samples input given a WAV header: what the stream reads (declared first, so it outlives the stream).
  std::unique_ptr<qola::HeadedSamples> headed;
  std::unique_ptr<qola::InputStream> stream;
  // Interleaved samples in the host's order whose layout the caller gave:
  // compression takes it instead of the settings' (0: not such an input).
  int sampleChannels = 0;
  int sampleBits = 0;
  std::span<const std::uint8_t> samples;
};

struct qola_output {
  ~qola_output();  // closes the stream first, then drops a path output not committed

  std::unique_ptr<qola::OutputStream> stream;
  std::vector<std::uint8_t> memory;
  bool isMemory = false;
  std::unique_ptr<qola::OutputFile> file;  // a path output
  bool held = false;                        // the caller, not the job, commits it
};

namespace qola {

// After a successful job: a path output takes its name unless its caller
// holds it; false (errno set) when it cannot.
bool commitOutput(qola_output& output);
// After a failed job: a path output the caller does not hold leaves nothing
// behind; other outputs stay as they are.
void discardOutput(qola_output& output);

}  // namespace qola
