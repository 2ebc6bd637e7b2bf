#include "codec/Trailer.h"

#include <algorithm>

#include "common/ByteOrder.h"
#include "common/Format.h"

namespace qola {
namespace {

using format::kTrailerMagic;

bool startsWithMagic(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kTrailerMagic.size() && std::equal(kTrailerMagic.begin(), kTrailerMagic.end(), bytes.begin());
}

constexpr std::size_t kVersionOffset = 4;
constexpr std::size_t kFlagsOffset = 5;
constexpr std::size_t kLengthOffset = 6;
constexpr std::size_t kCrcSize = 4;

}  // namespace

std::vector<std::uint8_t> serializeTrailer(const Trailer& trailer) {
  const std::size_t k = std::min<std::size_t>(trailer.leftover.size(), format::kMaxLeftoverBytes);
  const std::size_t length = format::kTrailerFixedSize + k;
  std::vector<std::uint8_t> bytes(length);
  std::copy(kTrailerMagic.begin(), kTrailerMagic.end(), bytes.begin());
  bytes[kVersionOffset] = format::kTrailerVersion;
  bytes[kFlagsOffset] = trailer.swapBytes ? format::kTrailerFlagSwapBytes : 0;
  storeBig16(&bytes[kLengthOffset], static_cast<std::uint16_t>(length));
  std::copy(trailer.md5.begin(), trailer.md5.end(), bytes.begin() + format::kTrailerMd5Offset);
  bytes[format::kTrailerLeftoverCountOffset] = static_cast<std::uint8_t>(k);
  std::copy_n(trailer.leftover.begin(), k, bytes.begin() + format::kTrailerLeftoverOffset);
  const std::size_t crcAt = format::kTrailerLeftoverOffset + k;
  storeBig32(&bytes[crcAt], crc32(bytes.data(), crcAt));
  storeBig16(&bytes[crcAt + kCrcSize], static_cast<std::uint16_t>(length));
  std::copy(kTrailerMagic.begin(), kTrailerMagic.end(), bytes.begin() + crcAt + kCrcSize + 2);
  return bytes;
}

ParsedTrailer parseTrailer(std::span<const std::uint8_t> bytes) {
  ParsedTrailer parsed;
  if (!startsWithMagic(bytes)) return parsed;
  parsed.check = TrailerCheck::Damaged;
  if (bytes.size() < format::kTrailerFixedSize) return parsed;
  const std::size_t length = loadBig16(&bytes[kLengthOffset]);
  if (length < format::kTrailerFixedSize || length > bytes.size()) return parsed;
  const std::span<const std::uint8_t> own = bytes.first(length);
  const std::span<const std::uint8_t> end = own.last(format::kTrailerEndSize);
  if (loadBig16(end.data()) != length || !startsWithMagic(end.subspan(2))) return parsed;
  // The CRC sits just before the closing length and magic in every version.
  const std::size_t crcAt = length - format::kTrailerEndSize - kCrcSize;
  if (loadBig32(&own[crcAt]) != crc32(own.data(), crcAt)) return parsed;
  parsed.length = length;
  if (own[kVersionOffset] > format::kTrailerVersion) {
    parsed.check = TrailerCheck::Newer;
    return parsed;
  }
  const std::size_t k = own[format::kTrailerLeftoverCountOffset];
  if (own[kVersionOffset] != format::kTrailerVersion || length != format::kTrailerFixedSize + k ||
      (own[kFlagsOffset] & ~format::kTrailerFlagSwapBytes) != 0) {
    parsed.length = 0;
    return parsed;
  }
  parsed.check = TrailerCheck::Valid;
  parsed.trailer.swapBytes = (own[kFlagsOffset] & format::kTrailerFlagSwapBytes) != 0;
  std::copy_n(own.begin() + format::kTrailerMd5Offset, parsed.trailer.md5.size(), parsed.trailer.md5.begin());
  parsed.trailer.leftover.assign(own.begin() + format::kTrailerLeftoverOffset, own.begin() + crcAt);
  return parsed;
}

std::optional<std::size_t> trailerLengthFromEnd(std::span<const std::uint8_t> tail) {
  if (tail.size() < format::kTrailerEndSize) return std::nullopt;
  const std::span<const std::uint8_t> end = tail.last(format::kTrailerEndSize);
  if (!startsWithMagic(end.subspan(2))) return std::nullopt;
  const std::size_t length = loadBig16(end.data());
  if (length < format::kTrailerFixedSize) return std::nullopt;
  return length;
}

}  // namespace qola
