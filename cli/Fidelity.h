// What a compressed file keeps of its input, checked and said plainly.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qola::cli {

// The bytes a restore of a compressed file gives back, from its first bytes:
// the header copy and the whole sample frames; nullopt when too short to tell.
// (A file that also stores its leftover bytes restores the whole input; this
// is where a reader of that record adds them.)
std::optional<std::int64_t> restoredSize(std::span<const std::uint8_t> head);

// Why a compressed file came out larger than its input, from its first bytes.
std::string growthReason(std::span<const std::uint8_t> head, std::int64_t inputSize);

struct Comparison {
  bool equal = false;
  std::int64_t missing = 0;  // input bytes after a restore that matches up to its end
};

// Compares a restored copy with the original, every byte to the end of both
// (read with pread, offsets untouched); nullopt on a read error.
std::optional<Comparison> compareFiles(int restored, int original);

}  // namespace qola::cli
