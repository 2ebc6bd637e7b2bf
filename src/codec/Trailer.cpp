#include "codec/Trailer.h"

#include <algorithm>

#include "common/ByteOrder.h"
#include "common/FormatConstants.h"

namespace qola {
namespace {

using format::kTrailerMagic;

bool startsWithMagic(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kTrailerMagic.size() &&
         std::equal(kTrailerMagic.begin(), kTrailerMagic.end(), bytes.begin());
}

constexpr std::size_t kVersionOffset = format::kTrailerVersionOffset;
constexpr std::size_t kFlagsOffset = format::kTrailerFlagsOffset;
constexpr std::size_t kLengthOffset = format::kTrailerLengthOffset;
constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kWordSize = 4;
constexpr std::size_t kMaxShortLength = 0xffff;

// The 16-bit length field: the length itself where it fits.
std::uint16_t shortLength(std::size_t length) {
  return static_cast<std::uint16_t>(length <= kMaxShortLength ? length : 0);
}

void appendBig32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  bytes.resize(bytes.size() + kWordSize);
  storeBig32(&bytes[bytes.size() - kWordSize], value);
}

// The fields after the leftover bytes of a version 2 trailer, up to its closing T.
void appendIndex(std::vector<std::uint8_t>& bytes, const BlockIndex& index, std::size_t length) {
  appendBig32(bytes, static_cast<std::uint32_t>(length));
  appendBig32(bytes, static_cast<std::uint32_t>(index.unitFrames));
  appendBig32(bytes, static_cast<std::uint32_t>(index.units.size()));
  for (const IndexEntry& unit : index.units) {
    appendBig32(bytes, unit.length);
    appendBig32(bytes, unit.crc);
  }
  appendBig32(bytes, static_cast<std::uint32_t>(length));
}

// The trailer's length as its first bytes state it; 0 when they cannot say.
std::size_t statedLength(std::span<const std::uint8_t> bytes) {
  const std::size_t shortForm = loadBig16(&bytes[kLengthOffset]);
  if (bytes[kVersionOffset] < format::kIndexedTrailerVersion) return shortForm;
  const std::size_t wideAt = format::kTrailerLeftoverOffset + bytes[format::kTrailerLeftoverCountOffset];
  if (bytes.size() < wideAt + kWordSize) return 0;
  const std::size_t length = loadBig32(&bytes[wideAt]);
  return shortForm == shortLength(length) ? length : 0;
}

// True when own (a trailer's bytes as long as it states) closes as a trailer
// of its version and its CRC-32 holds.
bool closesProperly(std::span<const std::uint8_t> own, int version) {
  const std::size_t length = own.size();
  const std::span<const std::uint8_t> end = own.last(format::kTrailerEndSize);
  if (loadBig16(end.data()) != shortLength(length) || !startsWithMagic(end.subspan(2))) return false;
  if (version >= format::kIndexedTrailerVersion &&
      loadBig32(&own[length - format::kWideTrailerEndSize]) != length) {
    return false;
  }
  // The CRC sits just before the closing length and magic in every version.
  const std::size_t crcAt = length - format::kTrailerEndSize - kCrcSize;
  return loadBig32(&own[crcAt]) == crc32(own.data(), crcAt);
}

// The index fields of a version 2 trailer that closes properly; false when
// they do not add up to its length.
bool readIndex(std::span<const std::uint8_t> own, std::size_t indexAt, BlockIndex& index) {
  const std::size_t entriesAt = indexAt + 3 * kWordSize;
  if (own.size() < entriesAt + format::kWideTrailerEndSize) return false;
  const std::size_t count = loadBig32(&own[indexAt + 2 * kWordSize]);
  const std::size_t room = own.size() - entriesAt - format::kWideTrailerEndSize;
  if (count > room / format::kIndexEntrySize || count * format::kIndexEntrySize != room) return false;
  index.unitFrames = loadBig32(&own[indexAt + kWordSize]);
  index.units.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = &own[entriesAt + i * format::kIndexEntrySize];
    index.units[i] = {loadBig32(entry), loadBig32(entry + kWordSize)};
  }
  return index.unitFrames > 0 && count > 0;
}

}  // namespace

std::vector<std::uint8_t> serializeTrailer(const Trailer& trailer) {
  const std::size_t k = std::min<std::size_t>(trailer.leftover.size(), format::kMaxLeftoverBytes);
  const bool indexed = !trailer.index.units.empty();
  const std::size_t length =
      indexed ? format::kIndexedTrailerFixedSize + k + format::kIndexEntrySize * trailer.index.units.size()
              : format::kTrailerFixedSize + k;
  std::vector<std::uint8_t> bytes(format::kTrailerLeftoverOffset + k);
  std::copy(kTrailerMagic.begin(), kTrailerMagic.end(), bytes.begin());
  bytes[kVersionOffset] = indexed ? format::kIndexedTrailerVersion : format::kTrailerVersion;
  bytes[kFlagsOffset] = trailer.swapBytes ? format::kTrailerFlagSwapBytes : 0;
  storeBig16(&bytes[kLengthOffset], shortLength(length));
  std::copy(trailer.md5.begin(), trailer.md5.end(), bytes.begin() + format::kTrailerMd5Offset);
  bytes[format::kTrailerLeftoverCountOffset] = static_cast<std::uint8_t>(k);
  std::copy_n(trailer.leftover.begin(), k, bytes.begin() + format::kTrailerLeftoverOffset);
  if (indexed) appendIndex(bytes, trailer.index, length);
  appendBig32(bytes, crc32(bytes.data(), bytes.size()));
  bytes.resize(bytes.size() + format::kTrailerEndSize);
  storeBig16(&bytes[length - format::kTrailerEndSize], shortLength(length));
  std::copy(kTrailerMagic.begin(), kTrailerMagic.end(), bytes.end() - static_cast<std::ptrdiff_t>(kWordSize));
  return bytes;
}

ParsedTrailer parseTrailer(std::span<const std::uint8_t> bytes) {
  ParsedTrailer parsed;
  if (!startsWithMagic(bytes)) return parsed;
  parsed.check = TrailerCheck::Damaged;
  if (bytes.size() < format::kTrailerFixedSize) return parsed;
  const int version = bytes[kVersionOffset];
  const std::size_t length = statedLength(bytes);
  const std::size_t least =
      version >= format::kIndexedTrailerVersion ? format::kIndexedTrailerFixedSize : format::kTrailerFixedSize;
  if (length < least || length > bytes.size()) return parsed;
  const std::span<const std::uint8_t> own = bytes.first(length);
  if (!closesProperly(own, version)) return parsed;
  parsed.length = length;
  if (version > format::kIndexedTrailerVersion) {
    parsed.check = TrailerCheck::Newer;
    return parsed;
  }
  const std::size_t k = own[format::kTrailerLeftoverCountOffset];
  const std::size_t leftoverEnd = format::kTrailerLeftoverOffset + k;
  const bool known = version == format::kTrailerVersion ? length == format::kTrailerFixedSize + k
                                                        : version == format::kIndexedTrailerVersion &&
                                                              readIndex(own, leftoverEnd, parsed.trailer.index);
  if (!known || (own[kFlagsOffset] & ~format::kTrailerFlagSwapBytes) != 0) {
    parsed.length = 0;
    parsed.trailer = Trailer{};
    return parsed;
  }
  parsed.check = TrailerCheck::Valid;
  parsed.trailer.swapBytes = (own[kFlagsOffset] & format::kTrailerFlagSwapBytes) != 0;
  std::copy_n(own.begin() + format::kTrailerMd5Offset, parsed.trailer.md5.size(), parsed.trailer.md5.begin());
  parsed.trailer.leftover.assign(own.begin() + format::kTrailerLeftoverOffset,
                                 own.begin() + static_cast<std::ptrdiff_t>(leftoverEnd));
  return parsed;
}

bool endsInsideTrailer(std::span<const std::uint8_t> start, std::int64_t count) {
  const std::size_t magic = std::min(start.size(), kTrailerMagic.size());
  if (magic == 0 || !std::equal(start.begin(), start.begin() + static_cast<std::ptrdiff_t>(magic),
                                kTrailerMagic.begin())) {
    return false;
  }
  if (start.size() < kLengthOffset + 2) return true;
  std::size_t length = loadBig16(&start[kLengthOffset]);
  if (length == 0) {  // too long for 16 bits: the 32-bit length follows the leftover bytes
    if (start.size() <= static_cast<std::size_t>(format::kTrailerLeftoverCountOffset)) return true;
    const std::size_t wideAt = format::kTrailerLeftoverOffset + start[format::kTrailerLeftoverCountOffset];
    if (start.size() < wideAt + kWordSize) return true;
    length = loadBig32(&start[wideAt]);
  }
  return static_cast<std::int64_t>(length) > count;
}

std::optional<std::size_t> trailerLengthFromEnd(std::span<const std::uint8_t> tail) {
  if (tail.size() < format::kTrailerEndSize) return std::nullopt;
  const std::span<const std::uint8_t> end = tail.last(format::kTrailerEndSize);
  if (!startsWithMagic(end.subspan(2))) return std::nullopt;
  const std::size_t length = loadBig16(end.data());
  if (length >= format::kTrailerFixedSize) return length;
  // 0: too long for 16 bits; the 32-bit length sits before the CRC.
  if (length != 0 || tail.size() < format::kWideTrailerEndSize) return std::nullopt;
  const std::size_t wide = loadBig32(&tail[tail.size() - format::kWideTrailerEndSize]);
  if (wide <= kMaxShortLength) return std::nullopt;
  return wide;
}

std::size_t maxTrailerLength(std::int64_t frames, int blockLength) {
  const std::int64_t units = (std::max<std::int64_t>(frames, 0) + blockLength - 1) / blockLength;
  return static_cast<std::size_t>(format::kIndexedTrailerFixedSize + format::kMaxLeftoverBytes +
                                  format::kIndexEntrySize * units);
}

std::optional<TrailerAtEnd> readTrailerAtEnd(InputStream& input, std::size_t maxLength) {
  const std::int64_t size = input.size();
  if (size < format::kTrailerFixedSize) return std::nullopt;
  std::uint8_t end[format::kWideTrailerEndSize] = {};
  const std::size_t endSize = static_cast<std::size_t>(std::min<std::int64_t>(size, sizeof end));
  if (input.peekAt(size - static_cast<std::int64_t>(endSize), end, endSize) != endSize) return std::nullopt;
  const auto length = trailerLengthFromEnd(std::span<const std::uint8_t>(end, endSize));
  if (!length || *length > maxLength || static_cast<std::int64_t>(*length) > size) return std::nullopt;
  std::vector<std::uint8_t> bytes(*length);
  if (input.peekAt(size - static_cast<std::int64_t>(bytes.size()), bytes.data(), bytes.size()) != bytes.size()) {
    return std::nullopt;
  }
  ParsedTrailer parsed = parseTrailer(bytes);
  if (parsed.check != TrailerCheck::Valid) return std::nullopt;
  return TrailerAtEnd{std::move(parsed.trailer), parsed.length};
}

}  // namespace qola
