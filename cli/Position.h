// The positions of --skip and --until: frames, or a time when the file's
// sample rate is known.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qola::cli {

struct Position {
  enum class Origin { Start, AfterSkip, BeforeEnd };  // N, +N (--until only), -N (--until only)
  Origin origin = Origin::Start;
  bool time = false;
  std::int64_t frames = 0;       // when not time
  std::int64_t nanoseconds = 0;  // when time
};

// "N" counts frames; "[[h:]m:]s.fraction" or "m:s" is a time. --until also
// takes +POS (after the --skip position) and -POS (before the end). nullopt
// when the text is none of these.
std::optional<Position> parsePosition(const std::string& text, bool until);

// The frame a position names in a file of `frames` frames (-1: unknown) and
// the sample rate (0: unknown), with --skip at `skip`; nullopt, and why, when
// it cannot be known or lies outside the file.
std::optional<std::int64_t> resolvePosition(const Position& position, int sampleRate, std::int64_t frames,
                                            std::int64_t skip, std::string& error);

}  // namespace qola::cli
