#include "Progress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qola::cli {
namespace {

// Before this much time and progress an estimate says more about start-up than about the job.
constexpr double kFirstEstimateSeconds = 1.0;
constexpr int kFirstEstimatePercent = 1;
// A line redrawn more often than this flickers without telling more.
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
// Enough for any WAV header's format and data chunk starts, and for the
// compressed file's header with its longest header copy.
constexpr std::size_t kHeadBytes = 4096;

std::string printed(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

}  // namespace

InputMeasure measureInput(std::FILE* input, bool compress, const Settings& settings) {
  InputMeasure measure;
  struct stat status {};
  if (fstat(fileno(input), &status) != 0 || !S_ISREG(status.st_mode)) return measure;
  measure.bytes = status.st_size;
  std::vector<std::uint8_t> head(kHeadBytes);
  const ssize_t got = ::pread(fileno(input), head.data(), head.size(), 0);
  if (got <= 0) return measure;
  head.resize(static_cast<std::size_t>(got));
  if (compress) {
    if (settings.wav_evaluation != 0) measure.seconds = qola_wav_duration(head.data(), head.size(), status.st_size);
    return measure;
  }
  qola_input* memory = qola_input_memory(head.data(), head.size());
  qola_info info{};
  info.size = sizeof info;
  if (memory != nullptr && qola_probe(memory, &info) == QOLA_OK) measure.seconds = info.duration;
  qola_input_free(memory);
  return measure;
}

std::string clockTime(double seconds) {
  const auto whole = static_cast<long long>(std::ceil(seconds));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

std::string progressLine(const std::string& label, int percent, double elapsedSeconds, const InputMeasure& measure) {
  char head[16];
  std::snprintf(head, sizeof head, ": %3d%%", percent);
  std::string line = label + head;
  if (percent < kFirstEstimatePercent || elapsedSeconds < kFirstEstimateSeconds) return line;
  const double done = percent / 100.0;
  if (measure.seconds > 0) {
    line += printed("  %.1fx real time", measure.seconds * done / elapsedSeconds);
  } else if (measure.bytes > 0) {
    line += printed("  %.1f MiB/s", static_cast<double>(measure.bytes) * done / elapsedSeconds / (1 << 20));
  }
  if (percent < 100) line += (measure.seconds > 0 || measure.bytes > 0 ? ", " : "  ") +
                             clockTime(elapsedSeconds * (1 - done) / done) + " left";
  return line;
}

void ConsoleProgress::attach(Job& job) {
  if (show_) job.onProgress([this](int percent) { return update(percent); });
}

void ConsoleProgress::clearLine() {
  if (show_ && width_ > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
  width_ = 0;
  last_ = -1;
}

bool ConsoleProgress::update(int percent) {
  const auto now = std::chrono::steady_clock::now();
  if (percent == last_ && now - shown_ < kRedrawInterval) return false;
  last_ = percent;
  shown_ = now;
  const std::string line =
      progressLine(label_, percent, std::chrono::duration<double>(now - start_).count(), measure_);
  // A shorter line than the last leaves none of it behind.
  const int blank = width_ > line.size() ? static_cast<int>(width_ - line.size()) : 0;
  std::fprintf(stderr, "\r%s%*s", line.c_str(), blank, "");
  std::fflush(stderr);
  width_ = std::max(width_, line.size());
  return false;  // never cancels
}

}  // namespace qola::cli
