// Bit-packed stream of the coefficient code: code words appended most
// significant bit first, each piece closed on a byte boundary. The records
// hold only the partial byte; the stream is passed with every call.
#pragma once

#include "common/ByteOrder.h"
#include "common/Stream.h"
#include "entropy/ByteQueue.h"

#include <cstddef>
#include <array>
#include <cstdint>

namespace qola {

// Completed bytes wait in the writer's queue until it fills or flushBits.
struct BitWriter {
  std::uint64_t bits = 0;  // the low count bits are unwritten, the earliest highest
  int count = 0;           // below 8 between calls
  ByteQueue queue{};
};

// Reads the code up to eight bytes ahead; resetBits gives back the whole
// bytes not yet taken.
struct BitReader {
  // The unread bits at the top, the next one highest; below them the first
  // bits of the next input byte, or 0.
  std::uint64_t buffer = 0;
  int unread = 0;  // bits in buffer, at most 63
};

// putBits for a code word that does not fit the short form.
std::size_t putLongBits(BitWriter& writer, OutputStream& output, std::uint64_t ones, std::uint32_t value,
                        int valueBits);

// Appends one code word: `ones` 1-bits, then the low `valueBits` bits of
// value (0..32 of them), most significant first. Returns the bytes it completed.
inline std::size_t putBits(BitWriter& writer, OutputStream& output, std::uint64_t ones, std::uint32_t value,
                           int valueBits) {
  // Code words that, with the bits waiting in the writer, fit one 64-bit number.
  constexpr int kShortWordBits = 56;
  if (ones + static_cast<std::uint64_t>(valueBits) > kShortWordBits) {
    return putLongBits(writer, output, ones, value, valueBits);
  }
  reserveQueue(writer.queue, output, kShortWordBits / 8);
  const int run = static_cast<int>(ones);
  std::uint64_t bits = (writer.bits << run) | ((std::uint64_t{1} << run) - 1);
  bits = (bits << valueBits) | (value & ((std::uint64_t{1} << valueBits) - 1));
  int count = writer.count + run + valueBits;
  const int bytes = count / 8;
  for (; count >= 8; count -= 8) {
    pushByte(writer.queue, static_cast<std::uint8_t>(bits >> (count - 8)));
  }
  writer.bits = bits;
  writer.count = count;
  return static_cast<std::size_t>(bytes);
}

// Pads a partial byte with 0-bits and writes every queued byte. Returns the
// bytes it completed (0 or 1).
std::size_t flushBits(BitWriter& writer, OutputStream& output);

// Reading ahead stops at 56 unread bits, so that a whole byte always fits below them.
inline constexpr int kReadAheadBits = 56;

// Reads ahead byte by byte where the input's buffer holds fewer than eight
// bytes. The end of the input is no error until a bit beyond it is needed.
BitReader refillBitsSlowly(BitReader reader, InputStream& input);
[[noreturn]] void codeEndsEarly();

// Tops the reader up to at least kReadAheadBits unread bits, or to the end of the input.
inline void refillBits(BitReader& reader, InputStream& input) {
  if (input.buffered() < 8) {
    reader = refillBitsSlowly(reader, input);  // by value, so that a reader kept in registers stays there
    return;
  }
  // The bits below the unread ones already equal the word's bits there.
  reader.buffer |= loadBig64(input.next()) >> reader.unread;
  const int bytes = (63 - reader.unread) >> 3;
  input.skip(static_cast<std::size_t>(bytes));
  reader.unread += 8 * bytes;
}

// Makes sure that count bits (count <= kReadAheadBits) are unread.
inline void needBits(BitReader& reader, InputStream& input, int count) {
  if (reader.unread >= count) return;
  refillBits(reader, input);
  if (reader.unread < count) codeEndsEarly();
}

inline void skipBits(BitReader& reader, int count) {
  reader.buffer <<= count;
  reader.unread -= count;
}

inline int getBit(BitReader& reader, InputStream& input) {
  needBits(reader, input, 1);
  const int bit = static_cast<int>(reader.buffer >> 63);
  skipBits(reader, 1);
  return bit;
}

// The next k bits (0..32), the first read being the most significant.
inline std::uint32_t getBits(BitReader& reader, InputStream& input, int k) {
  if (k == 0) return 0;
  needBits(reader, input, k);
  const auto bits = static_cast<std::uint32_t>(reader.buffer >> (64 - k));
  skipBits(reader, k);
  return bits;
}

// Reads a run of 1-bits and the 0-bit that ends it; returns the run length.
// A run longer than limit is a damaged file.
std::uint64_t getOnes(BitReader& reader, InputStream& input, std::uint64_t limit);
// Drops the unread bits of the current byte and gives back the whole bytes read ahead.
inline void resetBits(BitReader& reader, InputStream& input) {
  input.stepBack(reader.unread / 8);
  reader = BitReader{};
}

}  // namespace qola
