#include "dsp/RateChoice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <limits>

#include "common/FormatConstants.h"

namespace qola {
namespace {

constexpr int kBand = format::kBandSize;
// The quantiser step is 4 on orthonormally scaled coefficients: one unit of
// squared quotient error is 16 units of squared sample error.
constexpr double kStepSquared = 16.0;
constexpr double kLn2 = 0.6931471805599453;
// Residual bits per unit of squared quotient error: the error adds 16/L to
// the residual's per-sample variance v, and L samples of a code of
// log2(v)/2 bits each grow by 8 / (v ln 2) bits per unit. v is taken as that
// of plain rounding: a step's uniform error plus the rebuild's rounding.
constexpr double kPlainVariance = kStepSquared / 12.0 + 1.0 / 12.0;
constexpr double kBitsPerError = 8.0 / (kPlainVariance * kLn2);

// Bits that moving the non-zero q one step toward zero saves on its code
// word under the band's parameter. In a pair band a lone value of its pair
// saves the pair's whole code (4 bits become the 1 of a zero pair).
int savedBits(std::int32_t q, std::int32_t partner, int parameter) {
  if (parameter == format::kBandPairs) return partner == 0 ? 3 : 0;
  if (parameter == format::kBandTernary) return 1;
  if (parameter == format::kBandUnary) return q == -1 ? 1 : 2;
  // Rice: q 1-bits of the magnitude index shifted right by parameter - 1;
  // -1 and 0 share the index 0.
  const std::uint32_t index = q > 0 ? static_cast<std::uint32_t>(q) : static_cast<std::uint32_t>(-(q + 1));
  const std::uint32_t mask = (std::uint32_t{1} << (parameter - 1)) - 1;
  return index != 0 && (index & mask) == 0 ? 1 : 0;
}

// Bits of one band's code under a parameter; kNoCode where it cannot code the band.
constexpr std::int64_t kNoCode = std::numeric_limits<std::int64_t>::max() / 4;

std::int64_t bandBits(const std::int32_t* values, int parameter, std::int64_t largestMagnitude) {
  if (parameter == format::kBandZero) return largestMagnitude == 0 ? 0 : kNoCode;
  if (parameter == format::kBandPairs || parameter == format::kBandTernary) {
    if (largestMagnitude > 1) return kNoCode;
    std::int64_t bits = 0;
    if (parameter == format::kBandTernary) {
      for (int i = 0; i < kBand; ++i) bits += values[i] == 0 ? 1 : 2;
    } else {
      for (int i = 0; i < kBand; i += 2) bits += values[i] == 0 && values[i + 1] == 0 ? 1 : 4;
    }
    return bits;
  }
  // Unary and Rice alike: (u >> parameter) 1-bits, a 0-bit and parameter more
  // bits, u being 2v for v >= 0 and -2v - 1 below.
  std::int64_t bits = static_cast<std::int64_t>(kBand) * (1 + parameter);
  for (int i = 0; i < kBand; ++i) {
    const std::int64_t v = values[i];
    const auto u = static_cast<std::uint64_t>(v >= 0 ? 2 * v : -2 * v - 1);
    bits += static_cast<std::int64_t>(u >> parameter);
  }
  return bits;
}

// Bits of a parameter difference: a signed unary code word.
std::int64_t differenceBits(int from, int to) {
  const int d = to - from;
  return (d >= 0 ? 2 * d : -2 * d - 1) + 1;
}

// The parameters a band is tried with: those that can code it, around the
// analysis's choice (Rice costs change little from one parameter to the next).
constexpr int kCandidates = 6;

struct BandCandidates {
  std::array<std::int8_t, kCandidates> parameters;
  std::array<std::int64_t, kCandidates> bits;
  int count = 0;
};

BandCandidates candidatesOf(const std::int32_t* values, int chosen) {
  std::int64_t largest = 0;
  for (int i = 0; i < kBand; ++i) largest = std::max(largest, std::abs(std::int64_t{values[i]}));
  BandCandidates candidates;
  const auto add = [&](int parameter) {
    const std::int64_t bits = bandBits(values, parameter, largest);
    if (bits == kNoCode) return;
    candidates.parameters[static_cast<std::size_t>(candidates.count)] = static_cast<std::int8_t>(parameter);
    candidates.bits[static_cast<std::size_t>(candidates.count++)] = bits;
  };
  if (largest <= 1) {
    // Zero, pair, ternary and unary codes; Rice codes cost more for values in -1..1.
    for (int parameter = format::kBandZero; parameter <= format::kBandUnary; ++parameter) add(parameter);
    return candidates;
  }
  const int low = std::max(format::kBandUnary, chosen - 2);
  const int high = std::min(format::kMaxBandParameter, low + kCandidates - 1);
  for (int parameter = low; parameter <= high; ++parameter) add(parameter);
  return candidates;
}

}  // namespace

std::int64_t chooseBandParametersExactly(const std::int32_t* coefficients, int bands, std::int8_t* bandParameters) {
  constexpr int kMaxBands = format::kMaxBlockLength / kBand;
  std::array<BandCandidates, kMaxBands> candidates;
  // total[b][c]: the fewest bits of bands b .. bands-1 with band b at its candidate c.
  std::array<std::array<std::int64_t, kCandidates>, kMaxBands> total{};
  std::array<std::array<std::int8_t, kCandidates>, kMaxBands> next{};
  for (int b = 0; b < bands; ++b) candidates[b] = candidatesOf(coefficients + b * kBand, bandParameters[b]);
  for (int b = bands - 1; b >= 0; --b) {
    const BandCandidates& here = candidates[b];
    for (int c = 0; c < here.count; ++c) {
      const int parameter = here.parameters[c];
      if (b == bands - 1) {
        total[b][c] = here.bits[c] + differenceBits(parameter, format::kLastBandReference);
        continue;
      }
      const BandCandidates& after = candidates[b + 1];
      std::int64_t best = kNoCode;
      for (int d = 0; d < after.count; ++d) {
        const std::int64_t bits = differenceBits(parameter, after.parameters[d]) + total[b + 1][d];
        if (bits < best) {
          best = bits;
          next[b][c] = static_cast<std::int8_t>(d);
        }
      }
      total[b][c] = here.bits[c] + best;
    }
  }
  int c = 0;
  for (int d = 1; d < candidates[0].count; ++d) {
    if (total[0][d] < total[0][c]) c = d;
  }
  const std::int64_t bits = total[0][c];
  for (int b = 0; b < bands; ++b) {
    bandParameters[b] = candidates[b].parameters[c];
    if (b + 1 < bands) c = next[b][c];
  }
  return bits;
}

int moveTowardZero(int s, const double* quotients, const AnalysisTuning& tuning, std::int32_t* coefficients,
                   const std::int8_t* bandParameters, bool* changedBands) {
  const int L = 1 << s;
  // A coefficient q of quotient x moves when the bits saved exceed the
  // weighted added error (|x| - |q| + 1)^2 - (|x| - |q|)^2, that is when
  // |x| < |q| - 1/2 + saved / (2 w).
  const double halfPerBit = 0.5 / (tuning.rateWeight * kBitsPerError);
  int changed = 0;
  for (int j = 0; j < L / kBand; ++j) {
    const int parameter = bandParameters[j];
    bool moved = false;
    if (parameter != format::kBandZero && parameter <= tuning.rateMaxParameter) {
      std::int32_t* band = coefficients + j * kBand;
      const double* x = quotients + j * kBand;
      for (int i = 0; i < kBand; ++i) {
        const std::int32_t q = band[i];
        if (q == 0) continue;
        const int saved = savedBits(q, band[i ^ 1], parameter);
        if (saved == 0) continue;
        const double magnitude = q > 0 ? static_cast<double>(q) : -static_cast<double>(q);
        const double size = x[i] >= 0.0 ? x[i] : -x[i];
        if (size < magnitude - 0.5 + saved * halfPerBit) {
          band[i] = q > 0 ? q - 1 : q + 1;
          moved = true;
        }
      }
    }
    changedBands[j] = moved;
    changed += moved ? 1 : 0;
  }
  return changed;
}

}  // namespace qola
