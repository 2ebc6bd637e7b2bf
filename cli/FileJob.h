// One input file through one job: names, safety of what is on disk, the
// verification and the messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "Options.h"

namespace qola::cli {

inline constexpr int kExitJobFailed = 1;
inline constexpr int kExitUsage = 2;

struct JobResult {
  bool failed = false;  // the job itself failed; message says why
  qola_status status = QOLA_OK;
  bool writeFailed = false;
  std::string message;
  std::string report;   // the closing report
  qola_result numbers{};
};

// The frames a restore writes: all unless part is set (end -1: to the last).
struct FrameRange {
  bool part = false;
  std::int64_t first = 0;
  std::int64_t end = -1;
};

// Runs one codec job from in to out and closes both (out's path output is left to its holder); the progress display
// carries the label when showProgress is set.
using JobRunner = std::function<JobResult(const Settings& settings, bool compress, std::FILE* in, Output& out,
                                          const std::string& label, bool showProgress, const FrameRange& range)>;

// Where reports go: standard error whenever audio goes to standard output.
std::FILE* reportStream(const Options& options);

// What a run's summary counts of one file.
struct FileOutcome {
  bool unchecked = false;            // a restore or test that no stored checksum confirmed
  std::int64_t inputBytes = 0;       // a compression that succeeded: the bytes it read
  std::int64_t compressedBytes = 0;  // and the bytes it wrote
};

// Processes one input; returns 0, kExitJobFailed or kExitUsage.
int processFile(const Options& options, const std::string& inputName, const JobRunner& runJob,
                FileOutcome* outcome = nullptr);

}  // namespace qola::cli
