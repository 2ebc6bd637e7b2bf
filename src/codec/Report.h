// The statistics texts of the "Ready" boxes.
#pragma once

#include <cstdint>
#include <string>

#include "codec/FileFormat.h"

namespace qola {

inline constexpr const char* kReportTitle = "Ready";

// frames n, channels c, bytes per sample b, stored header length H.
std::string compressionReport(std::int64_t frames, int channels, int bytesPerSample, int headerLength,
                              std::int64_t compressedSize);
std::string decompressionReport(const FileHeader& header);

}  // namespace qola
