#include "entropy/BitPacker.h"

#include <bit>

#include "common/Fatal.h"

namespace qola {

std::size_t putLongBits(BitWriter& writer, OutputStream& output, std::uint64_t ones, std::uint32_t value,
                        int valueBits) {
  // Runs of 32 ones, then the rest of the run, then the value: each a short word.
  std::size_t bytes = 0;
  for (; ones > 32; ones -= 32) bytes += putBits(writer, output, 32, 0, 0);
  bytes += putBits(writer, output, ones, 0, 0);
  return bytes + putBits(writer, output, 0, value, valueBits);
}

std::size_t flushBits(BitWriter& writer, OutputStream& output) {
  const bool partial = writer.count > 0;
  if (partial) putBits(writer, output, 0, 0, 8 - writer.count);
  drainQueue(writer.queue, output);
  writer.bits = 0;
  return partial ? 1 : 0;
}

BitReader refillBitsSlowly(BitReader reader, InputStream& input) {
  while (reader.unread < kReadAheadBits && input.hasByte()) {
    reader.buffer |= static_cast<std::uint64_t>(input.getByte()) << (56 - reader.unread);
    reader.unread += 8;
  }
  return reader;
}

void codeEndsEarly() { fileEndsEarly("inside a coefficient code"); }

std::uint64_t getOnes(BitReader& reader, InputStream& input, std::uint64_t limit) {
  std::uint64_t count = 0;
  for (;;) {
    needBits(reader, input, 1);
    const int run = std::min(std::countl_one(reader.buffer), reader.unread);
    count += static_cast<std::uint64_t>(run);
    if (count > limit) damagedFile("a coefficient code word holds a value beyond 32 bits");
    if (run < reader.unread) {
      skipBits(reader, run + 1);  // the run and the 0-bit that ends it
      return count;
    }
    reader = BitReader{};  // the bytes below were not taken: the refill reads them again
  }
}

}  // namespace qola
