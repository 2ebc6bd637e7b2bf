// What the FFT and the DCT share: their length check and their tables of
// rotation constants. The tables are computed when QOLA is built, from
// correctly rounded sines and cosines (GenerateTransformTables.cpp), so that
// no process spends its start-up on them and every machine has the same bits.
#pragma once

#include <cstddef>

namespace qola {

// Every compressed file's rebuild depends on this exact value: never recompute it.
inline constexpr double kSqrtHalf = 0.7071067811865476;

// The longest transform with a table, and the shortest FFT that uses one.
inline constexpr int kMaxTableLogm = 12;
inline constexpr int kMinTwiddleLogm = 4;

// The DCT-IV table of 2^logm values: none for logm 0, P0 and P1 for logm 1,
// else six sub-tables of 2^logm / 2 entries.
constexpr std::size_t dctIvTableSize(int logm) {
  return logm == 0 ? 0 : logm == 1 ? 2 : 3 * (std::size_t{1} << logm);
}

// The FFT's twiddle table of 2^logm values: six sub-tables of 2^logm / 4 - 2.
constexpr std::size_t twiddleTableSize(int logm) {
  return logm < kMinTwiddleLogm ? 0 : 6 * ((std::size_t{1} << logm) / 4 - 2);
}

// Where a length's table starts when every length's follows the shorter ones.
constexpr std::size_t tableOffset(std::size_t (*size)(int), int logm) {
  std::size_t offset = 0;
  for (int shorter = 0; shorter < logm; ++shorter) offset += size(shorter);
  return offset;
}

inline constexpr std::size_t kDctIvTableEntries = tableOffset(dctIvTableSize, kMaxTableLogm + 1);
inline constexpr std::size_t kTwiddleTableEntries = tableOffset(twiddleTableSize, kMaxTableLogm + 1);

// Every length's table, shortest first; defined in the generated source.
extern const double kDctIvTableData[kDctIvTableEntries];
extern const double kTwiddleTableData[kTwiddleTableEntries];

// Ends the job with "NAME: logm = L is out of bounds [0, MAX]" on
// standard output when logm is outside 0..maxLogm.
void checkLogm(const char* name, int logm, int maxLogm);

}  // namespace qola
