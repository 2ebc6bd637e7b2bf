#include "codec/TrailerJob.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/FormatConstants.h"

namespace qola {
namespace {

const char* onOff(bool on) { return on ? "on" : "off"; }

// What follows the audio: its first and last bytes and how many there are.
struct Rest {
  std::vector<std::uint8_t> head;
  std::vector<std::uint8_t> tail;
  std::int64_t count = 0;
};

// window: the longest trailer the file can have, with room to tell a longer one.
Rest readRest(InputStream& input, std::size_t window) {
  Rest rest;
  constexpr std::size_t kChunk = 1 << 16;
  const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(kChunk);  // most files leave it unused
  for (std::size_t got = 0; (got = input.read(chunk.get(), kChunk)) > 0;) {
    rest.count += static_cast<std::int64_t>(got);
    const std::size_t toHead = std::min(got, window - std::min(window, rest.head.size()));
    rest.head.insert(rest.head.end(), chunk.get(), chunk.get() + toHead);
    const std::size_t toTail = std::min(got, window);
    rest.tail.insert(rest.tail.end(), chunk.get() + got - toTail, chunk.get() + got);
    if (rest.tail.size() > window)
      rest.tail.erase(rest.tail.begin(), rest.tail.end() - static_cast<std::ptrdiff_t>(window));
  }
  return rest;
}

// A file that ends with a trailer's closing magic, or whose bytes after the
// audio hold the magic anywhere, but has no valid trailer where its audio
// ends, was damaged in its audio and in its trailer at once: those bytes are
// its own, not a stranger's to be ignored.
bool endsWithMagic(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= format::kTrailerMagic.size() &&
         std::equal(format::kTrailerMagic.begin(), format::kTrailerMagic.end(),
                    bytes.end() - static_cast<std::ptrdiff_t>(format::kTrailerMagic.size()));
}

bool holdsMagic(std::span<const std::uint8_t> bytes) {
  return std::search(bytes.begin(), bytes.end(), format::kTrailerMagic.begin(), format::kTrailerMagic.end()) != bytes.end();
}

bool inputEndsWithMagic(InputStream& input) {
  std::array<std::uint8_t, format::kTrailerMagic.size()> end{};
  const std::int64_t size = input.size();
  return size >= static_cast<std::int64_t>(end.size()) &&
         input.peekAt(size - static_cast<std::int64_t>(end.size()), end.data(), end.size()) == end.size() &&
         endsWithMagic(end);
}

// A trailer cut short; one whose end is there is damaged instead.
bool trailerCutShort(const Rest& rest) {
  return endsInsideTrailer(rest.head, rest.count) && !trailerLengthFromEnd(rest.tail);
}

// A stored byte order that differs from the one the samples were written in
// fails the job when the caller left the choice to the trailer.
void requireStoredOrder(const RestoreTrailer& trailer, bool storedSwap) {
  if (trailer.swapExplicit || storedSwap == trailer.swapBytes) return;
  fatalError(std::string("The file was compressed with swap bytes ") + onOff(storedSwap) +
                 ", which could not be known before its end: restore it again with swap bytes " + onOff(storedSwap),
             1);
}

// Gives back what the start of a cut trailer still holds: its leftover bytes,
// and the MD5 comparison once they are written. Returns why the job fails.
std::string salvageCutTrailer(RestoreTrailer& trailer, std::span<const std::uint8_t> head, OutputStream& output) {
  const std::string cut = "Damaged file: the file ends inside its checksum trailer; every frame is restored";
  const std::string unchecked = "; the checksum is not checked";
  if (head.size() <= static_cast<std::size_t>(format::kTrailerLeftoverCountOffset)) {
    return cut + ", but not the bytes after the last whole frame, if there were any" + unchecked;
  }
  const std::size_t k = head[format::kTrailerLeftoverCountOffset];
  if (head.size() < format::kTrailerLeftoverOffset + k) {
    return cut + ", but not the " + std::to_string(k) + " bytes after the last whole frame" + unchecked;
  }
  const bool storedSwap = (head[format::kTrailerFlagsOffset] & format::kTrailerFlagSwapBytes) != 0 && !trailer.eightBit;
  requireStoredOrder(trailer, storedSwap);
  output.write(head.data() + format::kTrailerLeftoverOffset, k);
  output.digestInto(nullptr);
  const Md5Digest written = trailer.md5.finish();
  if (storedSwap != trailer.swapBytes) return cut + " in the byte order chosen" + unchecked;
  if (!std::equal(written.begin(), written.end(), head.begin() + format::kTrailerMd5Offset)) {
    return cut + ", but the restored data differs from the original's checksum";
  }
  return "Damaged file: the file ends inside its checksum trailer; every byte is restored and matches the checksum";
}

}  // namespace

void startCompressionTrailer(CompressionTrailer& trailer, const CodecSettings& settings, InputStream& input) {
  trailer.on = settings.trailer;
  if (trailer.on) input.digestInto(&trailer.md5);
}

void startBlockIndex(CompressionTrailer& trailer, const CodecSettings& settings, int blockLength,
                     std::int64_t frames) {
  if (trailer.on && settings.index) trailer.index.emplace(blockLength, frames);
}

void finishCompressionTrailer(CompressionTrailer& trailer, const PcmLayout& layout, std::int64_t inputSize,
                              InputStream& input, OutputStream& output, qola_result& result) {
  const std::int64_t frameBytes = static_cast<std::int64_t>(bytesPerSample(layout)) * layout.channels;
  const std::int64_t leftover =
      std::max<std::int64_t>(0, inputSize - layout.headerLength - layout.frames * frameBytes);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(leftover) + 1);
  const std::size_t got = input.read(bytes.data(), bytes.size());
  input.digestInto(nullptr);
  if (got > static_cast<std::size_t>(leftover)) {
    fatalError("The input is longer than it was when the job began: it was changed while compressing", 1);
  }
  if (got < static_cast<std::size_t>(leftover)) {
    fatalError("The input ended early: it was changed or could not be read while compressing", 1);
  }
  if (!trailer.on) return;
  Trailer record;
  record.md5 = trailer.md5.finish();
  record.swapBytes = layout.swapBytes;
  record.leftover.assign(bytes.begin(), bytes.begin() + leftover);
  if (trailer.index) record.index = trailer.index->finish();
  const std::vector<std::uint8_t> serialized = serializeTrailer(record);
  output.write(serialized.data(), serialized.size());
  result.checksum = QOLA_CHECKSUM_OK;
  std::copy(record.md5.begin(), record.md5.end(), result.md5);
}

void startRestoreTrailer(RestoreTrailer& trailer, const CodecSettings& settings, const FileHeader& header,
                         InputStream& input, OutputStream& output) {
  const bool eightBit = header.eightBit();
  trailer.on = settings.trailer;
  trailer.eightBit = eightBit;
  trailer.swapExplicit = !settings.swapBytesFromTrailer;
  trailer.maxLength = maxTrailerLength(header.sampleCount, header.blockLength());
  std::optional<TrailerAtEnd> found;
  if (trailer.on) found = readTrailerAtEnd(input, trailer.maxLength);
  trailer.endsLikeOne = trailer.on && (found || inputEndsWithMagic(input));
  if (found) {
    trailer.index = std::move(found->trailer.index);
    trailer.audioEnd = input.size() - static_cast<std::int64_t>(found->length);
  }
  const bool swap = trailer.swapExplicit ? settings.swapBytes : found && found->trailer.swapBytes;
  trailer.swapBytes = swap && !eightBit;
  if (trailer.on) output.digestInto(&trailer.md5);
}

void finishRestoreTrailer(RestoreTrailer& trailer, InputStream& input, OutputStream& output, qola_result& result) {
  if (!trailer.on) return;
  const Rest rest = readRest(input, trailer.maxLength + 1);
  if (trailerCutShort(rest)) {
    trailer.cut = salvageCutTrailer(trailer, rest.head, output);
    output.digestInto(nullptr);
    return;
  }
  const ParsedTrailer parsed = parseTrailer(rest.head);
  if (parsed.check == TrailerCheck::Damaged) damagedFile("the checksum trailer is damaged");
  if (parsed.check == TrailerCheck::NotATrailer) {
    // The input ends like a trailer, but none starts where the audio ends.
    const auto endLength = trailerLengthFromEnd(rest.tail);
    if (endLength && static_cast<std::int64_t>(*endLength) == rest.count) {
      damagedFile("the checksum trailer is damaged");
    }
    const bool overran = endLength && static_cast<std::int64_t>(*endLength) > rest.count;
    if (trailer.endsLikeOne || overran || holdsMagic(rest.head) || holdsMagic(rest.tail)) {
      damagedFile("the audio data does not end where its checksum trailer begins");
    }
    result.ignored_bytes = rest.count;
    output.digestInto(nullptr);
    return;
  }
  result.ignored_bytes = rest.count - static_cast<std::int64_t>(parsed.length);
  if (parsed.check == TrailerCheck::Newer) {  // a later version: its checks are not ours to make
    output.digestInto(nullptr);
    return;
  }
  const Trailer& stored = parsed.trailer;
  const bool storedSwap = stored.swapBytes && !trailer.eightBit;
  requireStoredOrder(trailer, storedSwap);
  output.write(stored.leftover.data(), stored.leftover.size());
  output.digestInto(nullptr);
  const Md5Digest written = trailer.md5.finish();
  std::copy(stored.md5.begin(), stored.md5.end(), result.md5);
  if (storedSwap != trailer.swapBytes) {
    result.checksum = QOLA_CHECKSUM_NOT_COMPARED;
  } else {
    result.checksum = written == stored.md5 ? QOLA_CHECKSUM_OK : QOLA_CHECKSUM_MISMATCH;
  }
}

void copyChecksum(const qola_result& from, qola_result& to) {
  to.checksum = from.checksum;
  std::copy(std::begin(from.md5), std::end(from.md5), std::begin(to.md5));
  to.ignored_bytes = from.ignored_bytes;
}

void requireChecksum(const qola_result& result, bool confirmationRequired) {
  if (result.checksum == QOLA_CHECKSUM_MISMATCH) {
    throw JobError{Failure::Checksum,
                   "checksum MISMATCH: the restored data differs from the original (the file is damaged)", 1};
  }
  if (!confirmationRequired || result.checksum == QOLA_CHECKSUM_OK) return;
  throw JobError{Failure::Job,
                 result.checksum == QOLA_CHECKSUM_NONE
                     ? "no checksum stored: nothing confirms the restore, and a checksum is required"
                     : "checksum not compared (another byte order was chosen), and a checksum is required",
                 1};
}

}  // namespace qola
