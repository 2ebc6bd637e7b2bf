// Bit-packed stream of the coefficient code: code words appended most
// significant bit first, each piece closed on a byte boundary. The records
// hold only the partial byte; the stream is passed with every call.
#pragma once

#include <qola/qola.h>

#include <cstddef>
#include <cstdint>

namespace qola {

struct BitWriter {
  std::uint8_t pending = 0;  // the byte being filled; unfilled bits are 0
  int position = 7;          // bit that the next bit takes; 7 when pending is empty
};

struct BitReader {
  std::uint8_t current = 0;  // the byte being read
  int unread = 0;            // bits of current not yet delivered; the next is bit unread - 1
};

// Appends one code word: `ones` 1-bits, then the low `valueBits` bits of
// value (0..32 of them), most significant first. Completed bytes go out in
// one write (a code word of thousands of bits in a few). Returns the bytes written.
std::size_t putBits(BitWriter& writer, OutputStream& output, std::uint64_t ones, std::uint32_t value,
                    int valueBits);
// Pads a partial byte with 0-bits and writes it. Returns the bytes written (0 or 1).
std::size_t flushBits(BitWriter& writer, OutputStream& output);

// A byte is fetched only when one of its bits is needed. Meeting the end of
// the input is a damaged file: no bits are invented.
int getBit(BitReader& reader, InputStream& input);
// The next k bits (0..32), the first read being the most significant.
std::uint32_t getBits(BitReader& reader, InputStream& input, int k);
// Reads a run of 1-bits and the 0-bit that ends it; returns the run length.
// A run longer than limit is a damaged file.
std::uint64_t getOnes(BitReader& reader, InputStream& input, std::uint64_t limit);
// Drops the unread bits of the current byte.
void resetBits(BitReader& reader);

}  // namespace qola
