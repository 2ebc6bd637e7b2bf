#include "dsp/RateChoice.h"

#include <cmath>
#include <cstdint>

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

}  // namespace

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
