// Feeds arbitrary bytes to the transform segment decoder. Shared by the
// libFuzzer target and the test that replays its corpus.
//
// Byte 0 picks the segment length 2^s, s = 7 + byte % 6; the rest is the
// segment from its model byte on, followed by whatever the input holds.
// The decoder may stop the job with a JobError, which is caught; anything
// else (a crash, a sanitizer report, a hang) is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "entropy/BlockCoding.h"

namespace qola::fuzz {

struct SegmentDecoderOutcome {
  bool decoded = false;     // false: stopped with a fatal error
  std::string message;      // the fatal message
  std::size_t consumed = 0;  // bytes after byte 0 that the segment took
};

inline SegmentDecoderOutcome runSegmentDecoder(const std::uint8_t* data, std::size_t size) {
  SegmentDecoderOutcome outcome;
  if (size == 0) return outcome;
  const int s = 7 + data[0] % 6;
  const std::size_t m = std::size_t{1} << s;
  // Exactly sized, so that the sanitizers see any access past a segment.
  std::vector<std::int16_t> residual(m);
  std::vector<std::int32_t> coefficients(m);
  std::vector<std::int8_t> bandParameters(m / 32);
  InputStream input(std::span<const std::uint8_t>(data + 1, size - 1));
  BitReader reader;
  try {
    decodeTransformSegment({s, residual.data(), coefficients.data(), bandParameters.data()}, reader, input);
    outcome.decoded = true;
    while (input.getByte() >= 0) ++outcome.consumed;
    outcome.consumed = size - 1 - outcome.consumed;
  } catch (const JobError& stop) {
    outcome.message = stop.message;
  }
  return outcome;
}

}  // namespace qola::fuzz
