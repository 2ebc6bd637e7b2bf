#include "common/HeadedSamples.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qola {

HeadedSamples::HeadedSamples(std::vector<std::uint8_t> header, std::span<const std::uint8_t> samples,
                             bool swapPairs)
    : header_(std::move(header)), samples_(samples), swapPairs_(swapPairs && samples.size() % 2 == 0) {}

std::size_t HeadedSamples::copy(std::uint8_t* destination, std::size_t count) {
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size() - position_));
  std::size_t done = 0;
  if (position_ < header_.size()) {
    done = std::min(count, static_cast<std::size_t>(header_.size() - position_));
    std::memcpy(destination, header_.data() + position_, done);
  }
  const auto first = static_cast<std::size_t>(position_ + done - header_.size());  // offset among the samples
  const std::size_t rest = count - done;
  if (rest != 0 && !swapPairs_) std::memcpy(destination + done, samples_.data() + first, rest);
  if (swapPairs_) {
    for (std::size_t i = 0; i < rest; ++i) destination[done + i] = samples_[(first + i) ^ 1u];
  }
  position_ += count;
  return count;
}

ReadCallbacks HeadedSamples::callbacks() {
  ReadCallbacks callbacks;
  callbacks.user = this;
  callbacks.read = [](void* user, void* buffer, std::size_t count) {
    auto& self = *static_cast<HeadedSamples*>(user);
    return static_cast<std::ptrdiff_t>(self.copy(static_cast<std::uint8_t*>(buffer), count));
  };
  callbacks.size = [](void* user) { return static_cast<std::int64_t>(static_cast<HeadedSamples*>(user)->size()); };
  callbacks.seek = [](void* user, std::int64_t offset) {
    auto& self = *static_cast<HeadedSamples*>(user);
    if (offset < 0 || static_cast<std::uint64_t>(offset) > self.size()) return -1;
    self.position_ = static_cast<std::uint64_t>(offset);
    return 0;
  };
  return callbacks;
}

}  // namespace qola
