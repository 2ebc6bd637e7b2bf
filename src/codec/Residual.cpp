#include "codec/Residual.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/FormatConstants.h"
#include "dsp/Analysis.h"
#include "dsp/Dct.h"

namespace qola {
namespace {

constexpr int kRequantiseAttempts = 64;

// splitmix64: a fixed, portable sequence for the dither.
std::uint64_t nextRandom(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

double unitRandom(std::uint64_t& state) {
  return static_cast<double>(nextRandom(state) >> 11) * 0x1.0p-53;
}

void requantise(int s, const std::int16_t* source, std::uint64_t seed, std::int32_t* coefficients,
                std::int8_t* bandParameters, double* transform) {
  const int L = 1 << s;
  for (int i = 0; i < L; ++i) transform[i] = source[i];
  forwardDct(transform, s);
  const double step = quantiserStep(s);
  std::uint64_t state = seed;
  for (int i = 0; i < L; ++i) {
    coefficients[i] = static_cast<std::int32_t>(std::floor(transform[i] / step + unitRandom(state)));
  }
  for (int band = 0; band < L / format::kBandSize; ++band) {
    int parameter = 0;
    chooseBandParameter(coefficients + band * format::kBandSize, format::kBandSize, parameter);
    bandParameters[band] = static_cast<std::int8_t>(parameter);
  }
}

}  // namespace

int formResidual(int s, const std::int32_t* coefficients, const std::int16_t* source, double* transform,
                 std::int16_t* residual) {
  rebuildSegment(s, coefficients, transform);
  const int L = 1 << s;
  // The rounding and subtraction in vector lanes, then the largest magnitude in a loop of its own.
  subtractFromRounded(transform, source, L, residual);
  int largest = 0;
  for (int i = 0; i < L; ++i) largest = std::max(largest, std::abs(static_cast<int>(residual[i])));
  return largest;
}

void codableResidual(int s, const std::int16_t* source, std::int32_t* coefficients, std::int8_t* bandParameters,
                     double* transform, std::int16_t* residual) {
  if (formResidual(s, coefficients, source, transform, residual) <= format::kMaxResidual) return;
  for (int attempt = 0; attempt < kRequantiseAttempts; ++attempt) {
    requantise(s, source, static_cast<std::uint64_t>(attempt) + 1, coefficients, bandParameters, transform);
    if (formResidual(s, coefficients, source, transform, residual) <= format::kMaxResidual) return;
  }
  // Left as it is: the segment coder reports the residual it cannot carry.
}

}  // namespace qola
