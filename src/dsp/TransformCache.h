// What the FFT and the DCT share: their length check and the per-length
// table slots of their process-wide caches.
#pragma once

#include <memory>
#include <mutex>

namespace qola {

// Every compressed file's rebuild depends on this exact value: never recompute it.
inline constexpr double kSqrtHalf = 0.7071067811865476;

// One length's table: filled once (call_once keeps a concurrent first use
// safe) and never released.
struct TableSlot {
  std::once_flag filled;
  std::unique_ptr<double[]> table;
};

// Ends the process with "Error: NAME: logm = L is out of bounds [0, MAX]" on
// standard output when logm is outside 0..maxLogm.
void checkLogm(const char* name, int logm, int maxLogm);

}  // namespace qola
