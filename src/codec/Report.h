// A job's numbers and the statistics texts of the "Ready" boxes.
#pragma once

#include <qola/qola.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/FileRecords.h"

namespace qola {

inline constexpr const char* kReportTitle = QOLA_REPORT_TITLE;
// The first published result record ends with ignored_bytes; the report
// reads no further.
inline constexpr std::size_t kFirstResultSize = offsetof(qola_result, ignored_bytes) + sizeof(std::int64_t);
inline constexpr std::size_t kResultSizeWithInputSize = offsetof(qola_result, input_size) + sizeof(std::int64_t);

// The numbers of a compression from the frames, channels, bytes per sample,
// the stored WAV header's length and the compressed file's size.
qola_result compressionResult(std::int64_t frames, int channels, int bytesPerSample, int headerLength,
                              std::int64_t compressedSize);
qola_result decompressionResult(const FileHeader& header);

std::string reportText(const qola_result& result);

// Why a compressed file is larger than its input; nullptr when it is not.
// Reads input_size, so the record must be of a size that holds it.
const char* grownInputReason(const qola_result& result);

}  // namespace qola
