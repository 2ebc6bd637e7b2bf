// The two jobs behind the public interface.
#pragma once

#include <qola/qola.h>

#include <string>

#include "common/CodecSettings.h"
#include "common/Stream.h"

namespace qola {

inline constexpr const char* kProductVersion = QOLA_VERSION_STRING;
inline constexpr const char* kFileVersion = QOLA_FILE_VERSION_STRING;

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void setProgress(int percent) = 0;
  virtual void showReport(const std::string& text, const std::string& title) = 0;
  // The job's numbers at its end; by default shown as the "Ready" report.
  virtual void finish(const qola_result& result);
};

// Both close input and output before they return; after a JobError the
// caller closes them.
void compressFile(const CodecSettings& settings, InputStream& input, OutputStream& output,
                  ProgressSink& sink);
void decompressFile(const CodecSettings& settings, InputStream& input, OutputStream& output,
                    ProgressSink& sink);

}  // namespace qola
