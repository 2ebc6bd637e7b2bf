// The trailer after the last segment record: what a restore needs to give
// back every byte of the input and to prove it did (layout in common/FormatConstants.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/BlockIndex.h"
#include "common/Checksums.h"
#include "common/Stream.h"

namespace qola {

struct Trailer {
  Md5Digest md5{};                    // of the complete original input
  bool swapBytes = false;             // 16-bit samples were big-endian
  std::vector<std::uint8_t> leftover;  // bytes after the input's last whole frame
  BlockIndex index;                    // with units: a version 2 trailer
};

std::vector<std::uint8_t> serializeTrailer(const Trailer& trailer);

enum class TrailerCheck {
  Valid,        // parsed and its CRC-32 holds
  NotATrailer,  // does not start with the magic
  Damaged,      // starts with the magic but does not hold together
  Newer,        // a later trailer version; its length is known, its content is not
};

struct ParsedTrailer {
  TrailerCheck check = TrailerCheck::NotATrailer;
  Trailer trailer;
  std::size_t length = 0;  // bytes the trailer occupies (Valid and Newer)
};

// Bytes that may start with a trailer; anything after it is left to the caller.
ParsedTrailer parseTrailer(std::span<const std::uint8_t> bytes);

// True when the `count` bytes after the audio, which begin with start, begin
// like a trailer (a part of its magic at least) but end before the length it
// states, or before it states one: a trailer cut short.
bool endsInsideTrailer(std::span<const std::uint8_t> start, std::int64_t count);

// Where a trailer would start, counted back from the end of a file whose last
// bytes are `tail` (kWideTrailerEndSize of them suffice); nullopt when the
// tail does not end like a trailer.
std::optional<std::size_t> trailerLengthFromEnd(std::span<const std::uint8_t> tail);

// The longest trailer a file of `frames` frames and block length N can have:
// what a reader buffers at most.
std::size_t maxTrailerLength(std::int64_t frames, int blockLength);

// The valid trailer at the end of a seekable input, read without moving its
// position, and its length; nullopt for a pipe, a longer trailer than
// maxLength, or none that is valid.
struct TrailerAtEnd {
  Trailer trailer;
  std::size_t length = 0;
};
std::optional<TrailerAtEnd> readTrailerAtEnd(InputStream& input, std::size_t maxLength);

}  // namespace qola
