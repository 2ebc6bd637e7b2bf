// A caller's sample buffer read as one file behind a header of our own, so
// that a job reads samples handed over in memory exactly as it reads a WAV
// file: the header's bytes first, then the samples'.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/Stream.h"

namespace qola {

class HeadedSamples {
 public:
  // With swapPairs each pair of sample bytes reads in the other order: the
  // host's big-endian 16-bit samples then read as a WAV file's little-endian
  // ones. The samples stay the caller's and must outlive this object.
  HeadedSamples(std::vector<std::uint8_t> header, std::span<const std::uint8_t> samples, bool swapPairs);

  // Read, size and seek over this object, for an InputStream it outlives.
  ReadCallbacks callbacks();

 private:
  std::size_t copy(std::uint8_t* destination, std::size_t count);
  std::uint64_t size() const { return header_.size() + samples_.size(); }

  std::vector<std::uint8_t> header_;
  std::span<const std::uint8_t> samples_;
  bool swapPairs_;
  std::uint64_t position_ = 0;
};

}  // namespace qola
