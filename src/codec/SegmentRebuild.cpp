#include "codec/SegmentRebuild.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/ByteOrder.h"
#include "dsp/Dct.h"
#include "dsp/RebuildArithmetic.h"

namespace qola {

void rebuildSegment(int s, const std::int32_t* coefficients, double* transform) {
  const int L = 1 << s;
  const double step = quantiserStep(s);
  for (int i = 0; i < L; ++i) transform[i] = coefficients[i] * step;
  inverseDct(transform, s);
}

void reconstructSegment(int s, const std::int32_t* coefficients, const std::int16_t* residuals, double* transform,
                        std::int16_t* samples) {
  rebuildSegment(s, coefficients, transform);
  subtractFromRounded(transform, residuals, 1 << s, samples);
}

void jointReconstruct(int lag, int length, const std::int16_t* first, const std::int16_t* difference,
                      std::int16_t* second) {
  for (int j = 0; j < length; ++j) {
    second[j] = wrap16(static_cast<std::uint32_t>(static_cast<std::uint16_t>(difference[j])) +
                       static_cast<std::uint16_t>(mirroredSample(first, length, j + lag)));
  }
}

}  // namespace qola
