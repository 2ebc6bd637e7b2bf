#include "codec/SegmentRebuild.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/ByteOrder.h"
#include "common/Fatal.h"
#include "common/Format.h"
#include "dsp/Analysis.h"
#include "dsp/Dct.h"
#include "dsp/StereoDecision.h"

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

void requantise(int s, const std::int16_t* source, std::uint64_t seed, std::int32_t* TK,
                std::int8_t* CB, double* Temp) {
  const int L = 1 << s;
  for (int i = 0; i < L; ++i) Temp[i] = source[i];
  FDCT(Temp, s);
  const double step = quantiserStep(s);
  std::uint64_t state = seed;
  for (int i = 0; i < L; ++i) {
    TK[i] = static_cast<std::int32_t>(std::floor(Temp[i] / step + unitRandom(state)));
  }
  for (int band = 0; band < L / format::kBandSize; ++band) {
    int parameter = 0;
    chooseBandParameter(TK + band * format::kBandSize, format::kBandSize, parameter);
    CB[band] = static_cast<std::int8_t>(parameter);
  }
}

}  // namespace

void rebuildSegment(int s, const std::int32_t* coefficients, double* Temp) {
  const int L = 1 << s;
  const double step = quantiserStep(s);
  for (int i = 0; i < L; ++i) Temp[i] = coefficients[i] * step;
  FIDCT(Temp, s);
}

std::int32_t roundRebuilt(double value) {
  return roundHalfAway(std::clamp(value, -2147483648.0, 2147483647.0));
}

void reconstructSegment(int s, const std::int32_t* TK, const std::int16_t* AWf, double* Temp,
                        std::int16_t* AWi) {
  rebuildSegment(s, TK, Temp);
  const int L = 1 << s;
  for (int i = 0; i < L; ++i) {
    AWi[i] = wrap16(static_cast<std::uint32_t>(roundRebuilt(Temp[i])) - static_cast<std::uint16_t>(AWf[i]));
  }
}

int formResidual(int s, const std::int32_t* TK, const std::int16_t* source, double* Temp, std::int16_t* AWf) {
  rebuildSegment(s, TK, Temp);
  const int L = 1 << s;
  int largest = 0;
  for (int i = 0; i < L; ++i) {
    AWf[i] = wrap16(static_cast<std::uint32_t>(roundRebuilt(Temp[i])) - static_cast<std::uint16_t>(source[i]));
    largest = std::max(largest, std::abs(static_cast<int>(AWf[i])));
  }
  return largest;
}

void codableResidual(int s, const std::int16_t* source, std::int32_t* TK, std::int8_t* CB, double* Temp,
                     std::int16_t* AWf) {
  if (formResidual(s, TK, source, Temp, AWf) <= format::kMaxResidual) return;
  for (int attempt = 0; attempt < kRequantiseAttempts; ++attempt) {
    requantise(s, source, static_cast<std::uint64_t>(attempt) + 1, TK, CB, Temp);
    if (formResidual(s, TK, source, Temp, AWf) <= format::kMaxResidual) return;
  }
  // Left as it is: the segment coder reports the residual it cannot carry.
}

void jointReconstruct(int lag, int length, const std::int16_t* first, const std::int16_t* difference,
                      std::int16_t* second) {
  for (int j = 0; j < length; ++j) {
    second[j] = wrap16(static_cast<std::uint32_t>(static_cast<std::uint16_t>(difference[j])) +
                       static_cast<std::uint16_t>(mirroredSample(first, length, j + lag)));
  }
}

}  // namespace qola
