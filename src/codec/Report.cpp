#include "codec/Report.h"

#include <cstdio>

namespace qola {
namespace {

template <typename... Args>
std::string printed(const char* pattern, Args... args) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

}  // namespace

std::string compressionReport(std::int64_t frames, int channels, int bytesPerSample, int headerLength,
                              std::int64_t compressedSize) {
  const std::int64_t originalSize = frames * bytesPerSample * channels + headerLength;
  const double ratio = static_cast<double>(originalSize) / static_cast<double>(compressedSize);
  // An empty raw input has no original size to divide by: show a rate of 0.
  const double bitRate = originalSize == 0 ? 0.0
                                           : bytesPerSample * static_cast<double>(compressedSize) * 8 /
                                                 static_cast<double>(originalSize);
  std::string text = "\nprocessed data\t: ";
  if (channels == 2) text += "2 x ";
  text += printed("%lld samples (%d bit)", static_cast<long long>(frames), 8 * bytesPerSample);
  text += printed("\noriginal size\t: %lld bytes", static_cast<long long>(originalSize));
  text += printed("\ncompressed file\t: %lld bytes", static_cast<long long>(compressedSize));
  text += printed("\ncompression ratio\t: %.3f", ratio);
  text += printed("\naverage bit rate\t: %.3f bps", bitRate);
  return text;
}

std::string decompressionReport(const FileHeader& header) {
  std::string text = printed("\nQOLA file version\t: %.1f %s", header.version * 0.1, platformWord(header));
  text += "\naudio data type\t: ";
  if (header.stereo()) text += "2 x ";
  text += printed("%ld samples ", static_cast<long>(header.sampleCount));
  text += header.eightBit() ? "(8 bit)" : "(16 bit)";
  return text;
}

}  // namespace qola
