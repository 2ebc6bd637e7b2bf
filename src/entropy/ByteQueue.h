// Completed code bytes on their way to the stream. Both coders gather them
// here and write them in one call when the queue fills or the code ends,
// instead of a call per byte.
#pragma once

#include "common/ByteOrder.h"
#include "common/Stream.h"

#include <array>
#include <cstdint>

namespace qola {

struct ByteQueue {
  static constexpr int kCapacity = 256;
  std::array<std::uint8_t, kCapacity> bytes{};
  int count = 0;
};

inline void drainQueue(ByteQueue& queue, OutputStream& output) {
  if (queue.count > 0) output.write(queue.bytes.data(), static_cast<std::size_t>(queue.count));
  queue.count = 0;
}

// Makes room for `needed` more bytes.
inline void reserveQueue(ByteQueue& queue, OutputStream& output, int needed) {
  if (queue.count + needed > ByteQueue::kCapacity) drainQueue(queue, output);
}

inline void pushByte(ByteQueue& queue, std::uint8_t byte) {
  queue.bytes[static_cast<std::size_t>(queue.count++)] = byte;
}

// Four bytes at once, the word's highest first; room for them must be reserved.
inline void pushWord(ByteQueue& queue, std::uint32_t word) {
  storeBig32(queue.bytes.data() + queue.count, word);
  queue.count += 4;
}

}  // namespace qola
