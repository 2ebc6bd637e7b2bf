#include "dsp/StereoDecision.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cassert>
#include <cstdint>
#include <limits>

#include "common/FormatConstants.h"
#include "dsp/CrossSumKernels.h"
#include "dsp/RebuildArithmetic.h"

namespace qola {
namespace {

constexpr int kMaxLag = format::kMaxLag;

// The lag's error is R2 + S2(d) - 2 C(d): the right channel's energy, the
// shifted left window's energy and their cross sum (CrossSumKernels.h), all
// exact 64-bit integers, so any order of summing gives the same error.
std::int64_t square(std::int16_t v) { return std::int64_t{v} * v; }

}  // namespace

int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right,
                   std::int16_t* difference) {
  return stereoDecision(N, left, right, difference, JointTrial::HalfEnergy);
}

int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right, std::int16_t* difference,
                   JointTrial trial) {
  assert(N > kMaxLag && N <= format::kMaxBlockLength);

  // The left channel with kMaxLag mirrored samples on each side.
  std::array<std::int16_t, format::kMaxBlockLength + 2 * kMaxLag> extended;
  for (int t = -kMaxLag; t < 0; ++t) extended[t + kMaxLag] = mirroredSample(left, N, t);
  std::copy(left, left + N, extended.begin() + kMaxLag);
  for (int t = N; t < N + kMaxLag; ++t) extended[t + kMaxLag] = mirroredSample(left, N, t);

  std::int64_t energy = 0;
  for (int i = 0; i < N; ++i) energy += square(right[i]);
  // The window's energy slides along with the lag.
  std::int64_t windowEnergy = 0;
  for (int i = 0; i < N; ++i) windowEnergy += square(extended[i]);

  // The first lag with the least error wins ties.
  const CrossSum cross = crossSumKernel();
  int best = -kMaxLag;
  std::int64_t bestError = std::numeric_limits<std::int64_t>::max();
  for (int d = -kMaxLag; d <= kMaxLag; ++d) {
    const std::int16_t* window = extended.data() + kMaxLag + d;
    if (d > -kMaxLag) windowEnergy += square(window[N - 1]) - square(window[-1]);
    const std::int64_t error = energy + windowEnergy - 2 * cross(right, window, N);
    if (error < bestError) {
      best = d;
      bestError = error;
    }
  }

  // 0.5 * P > E, or 2 * P > E, both exact integers. A silent right channel
  // is never worth a difference.
  const bool tried = trial == JointTrial::HalfEnergy ? energy > 2 * bestError : 2 * energy > bestError && energy > 0;
  if (!tried) return format::kNoJointStereo;

  const std::int16_t* shifted = extended.data() + kMaxLag + best;
  for (int i = 0; i < N; ++i) {
    const auto wrapped = static_cast<std::uint16_t>(static_cast<std::uint16_t>(right[i]) -
                                                    static_cast<std::uint16_t>(shifted[i]));
    difference[i] = static_cast<std::int16_t>(wrapped);
  }
  return best;
}

}  // namespace qola
