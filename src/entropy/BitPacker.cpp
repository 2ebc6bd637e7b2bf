#include "entropy/BitPacker.h"

#include <algorithm>
#include <array>
#include <bit>

#include "common/Fatal.h"

namespace qola {
namespace {


// Completed bytes of one code word, written in one go unless the word is huge.
class ByteQueue {
 public:
  explicit ByteQueue(OutputStream& output) : output_(output) {}

  void push(std::uint8_t byte) {
    if (count_ == bytes_.size()) drain();
    bytes_[count_++] = byte;
  }

  std::size_t finish() {
    drain();
    return written_;
  }

 private:
  void drain() {
    if (count_ == 0) return;
    output_.write(bytes_.data(), count_);
    written_ += count_;
    count_ = 0;
  }

  OutputStream& output_;
  std::array<std::uint8_t, 512> bytes_;
  std::size_t count_ = 0;
  std::size_t written_ = 0;
};

}  // namespace

std::size_t putLongBits(BitWriter& writer, OutputStream& output, std::uint64_t ones, std::uint32_t value,
                        int valueBits) {
  ByteQueue queue(output);
  int free = writer.position + 1;
  std::uint32_t pending = writer.pending;

  if (ones > 0) {
    const int head = static_cast<int>(std::min<std::uint64_t>(ones, static_cast<std::uint64_t>(free)));
    pending |= ((1u << head) - 1) << (free - head);
    free -= head;
    ones -= static_cast<std::uint64_t>(head);
    if (free == 0) {
      queue.push(static_cast<std::uint8_t>(pending));
      for (; ones >= 8; ones -= 8) queue.push(0xff);
      free = 8 - static_cast<int>(ones);
      pending = ((1u << ones) - 1) << free;
    }
  }

  // Filled bits of pending, then the value bits, as one number of `total` bits.
  int total = 8 - free;
  std::uint64_t bits = pending >> free;
  const std::uint64_t mask = valueBits >= 32 ? 0xffffffffu : (std::uint64_t{1} << valueBits) - 1;
  bits = (bits << valueBits) | (value & mask);
  total += valueBits;
  for (; total >= 8; total -= 8) queue.push(static_cast<std::uint8_t>(bits >> (total - 8)));

  writer.pending = static_cast<std::uint8_t>(bits << (8 - total));
  writer.position = 7 - total;
  return queue.finish();
}

std::size_t flushBits(BitWriter& writer, OutputStream& output) {
  if (writer.position == 7) return 0;
  output.putByte(writer.pending);
  writer = BitWriter{};
  return 1;
}

BitReader refillBitsSlowly(BitReader reader, InputStream& input) {
  while (reader.unread < kReadAheadBits && input.hasByte()) {
    reader.buffer |= static_cast<std::uint64_t>(input.getByte()) << (56 - reader.unread);
    reader.unread += 8;
  }
  return reader;
}

void codeEndsEarly() { damagedFile("the file ends inside a coefficient code"); }

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
