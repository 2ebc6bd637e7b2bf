// What a compressed file keeps of its input, checked and said plainly.
#pragma once

#include <qola/qola.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qola::cli {

struct Comparison {
  bool equal = false;
  std::int64_t missing = 0;  // input bytes after a restore that matches up to its end
};

// Compares a restored copy with the original, every byte to the end of both
// (read with pread, offsets untouched); nullopt on a read error.
std::optional<Comparison> compareFiles(int restored, int original);

}  // namespace qola::cli
