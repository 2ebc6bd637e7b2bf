#include "dsp/RebuildArithmetic.h"

#include <cmath>

namespace qola {

double quantiserStep(int s) {
  // ldexp scales exactly; sqrt is correctly rounded, so is the product.
  if (s % 2 == 0) return std::ldexp(1.0, s / 2 + 2);
  return std::ldexp(std::sqrt(2.0), (s - 1) / 2 + 2);
}

std::int16_t mirroredSample(const std::int16_t* left, int N, int t) {
  if (t < 0) return left[-t - 1];
  if (t >= N) return left[2 * N - 1 - t];
  return left[t];
}

}  // namespace qola
