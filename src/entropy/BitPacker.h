// Bit-packed stream of the coefficient code: code words appended most
// significant bit first, each piece closed on a byte boundary. The records
// hold only the partial byte; the stream is passed with every call.
#pragma once

#include "common/Stream.h"

#include <cstddef>
#include <array>
#include <cstdint>

namespace qola {

struct BitWriter {
  std::uint8_t pending = 0;  // the byte being filled; unfilled bits are 0
  int position = 7;          // bit that the next bit takes; 7 when pending is empty
};

struct BitReader {
  std::uint64_t buffer = 0;  // the unread bits at the top, the next one highest; the rest 0
  int unread = 0;            // bits in buffer, at most 39
};

// putBits for a code word that does not fit the short form.
std::size_t putLongBits(BitWriter& writer, OutputStream& output, std::uint64_t ones, std::uint32_t value,
                        int valueBits);

// Appends one code word: `ones` 1-bits, then the low `valueBits` bits of
// value (0..32 of them), most significant first. Completed bytes go out in
// one write (a code word of thousands of bits in a few). Returns the bytes written.
inline std::size_t putBits(BitWriter& writer, OutputStream& output, std::uint64_t ones, std::uint32_t value,
                           int valueBits) {
  // Code words that, with the bits waiting in the writer, fit one 64-bit number.
  constexpr int kShortWordBits = 56;
  const int filled = 7 - writer.position;
  if (ones + static_cast<std::uint64_t>(valueBits + filled) <= kShortWordBits) {
    // The usual short code word: the filled bits, the run and the value as one
    // number, its whole bytes out in one call.
    const int run = static_cast<int>(ones);
    std::uint64_t bits = writer.pending >> (8 - filled);
    bits = (bits << run) | ((std::uint64_t{1} << run) - 1);
    bits = (bits << valueBits) | (value & ((std::uint64_t{1} << valueBits) - 1));
    const int total = filled + run + valueBits;
    const int bytes = total / 8;
    const int rest = total % 8;
    if (bytes == 1) {
      output.putByte(static_cast<std::uint8_t>(bits >> rest));
    } else if (bytes > 1) {
      std::array<std::uint8_t, kShortWordBits / 8> out;
      for (int k = 0; k < bytes; ++k) out[k] = static_cast<std::uint8_t>(bits >> (total - 8 * (k + 1)));
      output.write(out.data(), static_cast<std::size_t>(bytes));
    }
    writer.pending = static_cast<std::uint8_t>(bits << (8 - rest));
    writer.position = 7 - rest;
    return static_cast<std::size_t>(bytes);
  }
  return putLongBits(writer, output, ones, value, valueBits);
}

// Pads a partial byte with 0-bits and writes it. Returns the bytes written (0 or 1).
std::size_t flushBits(BitWriter& writer, OutputStream& output);

// A byte is fetched only when one of its bits is needed: fetchByte appends
// the next input byte below the unread bits. Meeting the end of the input is
// a damaged file: no bits are invented.
void fetchByte(BitReader& reader, InputStream& input);

inline int getBit(BitReader& reader, InputStream& input) {
  if (reader.unread == 0) fetchByte(reader, input);
  const int bit = static_cast<int>(reader.buffer >> 63);
  reader.buffer <<= 1;
  --reader.unread;
  return bit;
}

// The next k bits (0..32), the first read being the most significant.
inline std::uint32_t getBits(BitReader& reader, InputStream& input, int k) {
  if (k == 0) return 0;
  while (reader.unread < k) fetchByte(reader, input);
  const auto bits = static_cast<std::uint32_t>(reader.buffer >> (64 - k));
  reader.buffer <<= k;
  reader.unread -= k;
  return bits;
}

// Reads a run of 1-bits and the 0-bit that ends it; returns the run length.
// A run longer than limit is a damaged file.
std::uint64_t getOnes(BitReader& reader, InputStream& input, std::uint64_t limit);
// Drops the unread bits of the current byte.
inline void resetBits(BitReader& reader) { reader = BitReader{}; }

}  // namespace qola
