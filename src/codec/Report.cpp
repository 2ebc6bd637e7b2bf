#include "codec/Report.h"

#include <cstdio>

#include "codec/Jobs.h"

namespace qola {
namespace {

constexpr std::int64_t kShortInput = 1024;  // below this, the file's own records weigh heavily

template <typename... Args>
std::string printed(const char* pattern, Args... args) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

std::string compressionReport(const qola_result& r) {
  std::string text = "\nprocessed data\t: ";
  if (r.channels == 2) text += "2 x ";
  text += printed("%lld samples (%d bit)", static_cast<long long>(r.samples), r.bits);
  text += printed("\noriginal size\t: %lld bytes", static_cast<long long>(r.original_size));
  text += printed("\ncompressed file\t: %lld bytes", static_cast<long long>(r.compressed_size));
  text += printed("\ncompression ratio\t: %.3f", r.ratio);
  text += printed("\naverage bit rate\t: %.3f bps", r.bits_per_sample);
  return text;
}

std::string decompressionReport(const qola_result& r) {
  std::string text = printed("\nQOLA file version\t: %.1f %s", r.file_version * 0.1,
                             r.platform != nullptr ? r.platform : "");
  text += "\naudio data type\t: ";
  if (r.channels == 2) text += "2 x ";
  text += printed("%ld samples ", static_cast<long>(r.samples));
  text += r.bits == 8 ? "(8 bit)" : "(16 bit)";
  return text;
}

}  // namespace

qola_result compressionResult(std::int64_t frames, int channels, int bytesPerSample, int headerLength,
                              std::int64_t compressedSize) {
  qola_result r{};
  r.size = sizeof(qola_result);
  r.kind = QOLA_COMPRESSION;
  r.samples = frames;
  r.channels = channels;
  r.bits = 8 * bytesPerSample;
  r.header_length = headerLength;
  r.original_size = frames * bytesPerSample * channels + headerLength;
  r.compressed_size = compressedSize;
  r.ratio = static_cast<double>(r.original_size) / static_cast<double>(compressedSize);
  // An empty raw input has no original size to divide by: show a rate of 0.
  r.bits_per_sample = r.original_size == 0 ? 0.0
                                           : bytesPerSample * static_cast<double>(compressedSize) * 8 /
                                                 static_cast<double>(r.original_size);
  r.platform = "";
  return r;
}

qola_result decompressionResult(const FileHeader& header) {
  qola_result r{};
  r.size = sizeof(qola_result);
  r.kind = QOLA_DECOMPRESSION;
  r.samples = header.sampleCount;
  r.channels = header.stereo() ? 2 : 1;
  r.bits = header.eightBit() ? 8 : 16;
  r.header_length = 0;
  r.original_size = -1;  // known once the output is written
  r.compressed_size = -1;
  r.file_version = header.version;
  r.platform = platformWord(header);
  return r;
}

std::string reportText(const qola_result& result) {
  return result.kind == QOLA_COMPRESSION ? compressionReport(result) : decompressionReport(result);
}

const char* grownInputReason(const qola_result& result) {
  if (result.kind != QOLA_COMPRESSION || result.compressed_size <= result.input_size) return nullptr;
  if (result.bits == 8 && result.header_length > 0) {
    return "its samples are coded byte by byte as 8-bit values (as 24- and 32-bit WAV data is), "
           "which the coder cannot predict";
  }
  if (result.input_size < kShortInput) return "the input is too short to pay for the file's header and records";
  return "the audio is too noisy for the coder to predict (or it is not PCM audio)";
}

void ProgressSink::finish(const qola_result& result) { showReport(reportText(result), kReportTitle); }

}  // namespace qola
