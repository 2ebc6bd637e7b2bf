#include "Position.h"

#include <charconv>
#include <vector>

namespace qola::cli {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
constexpr int kFractionDigits = 9;
// Beyond any file: 2^31 - 1 frames at one frame per second.
constexpr std::int64_t kMaxSeconds = std::int64_t{1} << 31;
constexpr std::int64_t kSecondsPerMinute = 60;

bool parseCount(const std::string& text, std::int64_t& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && value >= 0;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// [[h:]m:]s[.fraction] in nanoseconds; a field after a colon stays below 60.
std::optional<std::int64_t> parseTime(const std::string& text) {
  const std::vector<std::string> fields = split(text, ':');
  if (fields.size() > 3) return std::nullopt;
  const std::vector<std::string> secondParts = split(fields.back(), '.');
  if (secondParts.size() > 2) return std::nullopt;
  std::int64_t seconds = 0;
  for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
    std::int64_t value = 0;
    if (!parseCount(fields[i], value) || value >= kMaxSeconds || (i > 0 && value >= kSecondsPerMinute)) {
      return std::nullopt;
    }
    seconds = seconds * kSecondsPerMinute + value;
  }
  std::int64_t whole = 0;
  if (!parseCount(secondParts[0], whole) || whole >= kMaxSeconds || (fields.size() > 1 && whole >= kSecondsPerMinute)) {
    return std::nullopt;
  }
  seconds = (fields.size() > 1 ? seconds * kSecondsPerMinute : 0) + whole;
  if (seconds >= kMaxSeconds) return std::nullopt;
  std::int64_t fraction = 0;
  if (secondParts.size() == 2) {
    const std::string& digits = secondParts[1];
    if (digits.empty()) return std::nullopt;
    for (int i = 0; i < kFractionDigits; ++i) {
      const char c = i < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(i)] : '0';
      if (c < '0' || c > '9') return std::nullopt;
      fraction = fraction * 10 + (c - '0');
    }
    for (std::size_t i = kFractionDigits; i < digits.size(); ++i) {  // finer than a nanosecond: dropped
      if (digits[i] < '0' || digits[i] > '9') return std::nullopt;
    }
  }
  return seconds * kNanosecondsPerSecond + fraction;
}

}  // namespace

std::optional<Position> parsePosition(const std::string& text, bool until) {
  Position position;
  std::string rest = text;
  if (until && !rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
    position.origin = rest[0] == '+' ? Position::Origin::AfterSkip : Position::Origin::BeforeEnd;
    rest.erase(0, 1);
  }
  if (rest.find_first_of(":.") == std::string::npos) {
    if (!parseCount(rest, position.frames)) return std::nullopt;
    return position;
  }
  const auto nanoseconds = parseTime(rest);
  if (!nanoseconds) return std::nullopt;
  position.time = true;
  position.nanoseconds = *nanoseconds;
  return position;
}

std::optional<std::int64_t> resolvePosition(const Position& position, int sampleRate, std::int64_t frames,
                                            std::int64_t skip, std::string& error) {
  std::int64_t count = position.frames;
  if (position.time) {
    if (sampleRate <= 0) {
      error = "a time needs the sample rate, and the file holds no WAV header: give the position in frames";
      return std::nullopt;
    }
    // Whole seconds and the fraction apart, so that no product overflows.
    const std::int64_t seconds = position.nanoseconds / kNanosecondsPerSecond;
    const std::int64_t rest = position.nanoseconds % kNanosecondsPerSecond;
    count = seconds * sampleRate + rest * sampleRate / kNanosecondsPerSecond;
  }
  std::int64_t frame = count;
  if (position.origin == Position::Origin::AfterSkip) frame = skip + count;
  if (position.origin == Position::Origin::BeforeEnd) {
    if (frames < 0) {
      error = "a position before the end needs the file's length: not from a pipe";
      return std::nullopt;
    }
    frame = frames - count;
  }
  if (frames >= 0 && (frame < 0 || frame > frames)) {
    error = "the position lies outside the file's " + std::to_string(frames) + " frames";
    return std::nullopt;
  }
  return frame;
}

}  // namespace qola::cli
