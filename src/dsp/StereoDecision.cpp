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

using LagErrors = std::array<std::int64_t, 2 * kMaxLag + 1>;

}  // namespace

int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right,
                   std::int16_t* difference) {
  return stereoDecision(N, left, right, difference, JointTrial::HalfEnergy);
}

namespace {

// The left channel with kMaxLag mirrored samples on each side.
using ExtendedLeft = std::array<std::int16_t, format::kMaxBlockLength + 2 * kMaxLag>;

void extendLeft(int N, const std::int16_t* left, ExtendedLeft& extended) {
  for (int t = -kMaxLag; t < 0; ++t) extended[t + kMaxLag] = mirroredSample(left, N, t);
  std::copy(left, left + N, extended.begin() + kMaxLag);
  for (int t = N; t < N + kMaxLag; ++t) extended[t + kMaxLag] = mirroredSample(left, N, t);
}

// The right channel's energy and the squared error each lag leaves.
std::int64_t lagErrors(int N, const ExtendedLeft& extended, const std::int16_t* right, LagErrors& errors) {
  std::int64_t energy = 0;
  for (int i = 0; i < N; ++i) energy += square(right[i]);
  // The window's energy slides along with the lag.
  std::int64_t windowEnergy = 0;
  for (int i = 0; i < N; ++i) windowEnergy += square(extended[i]);
  const CrossSum cross = crossSumKernel();
  for (int d = -kMaxLag; d <= kMaxLag; ++d) {
    const std::int16_t* window = extended.data() + kMaxLag + d;
    if (d > -kMaxLag) windowEnergy += square(window[N - 1]) - square(window[-1]);
    errors[static_cast<std::size_t>(d + kMaxLag)] = energy + windowEnergy - 2 * cross(right, window, N);
  }
  return energy;
}

// 0.5 * P > E, or 2 * P > E, both exact integers. A silent right channel
// is never worth a difference.
bool tried(JointTrial trial, std::int64_t energy, std::int64_t error) {
  if (trial == JointTrial::Always) return energy > 0;
  return trial == JointTrial::HalfEnergy ? energy > 2 * error : 2 * energy > error && energy > 0;
}

void differenceOf(int N, const ExtendedLeft& extended, const std::int16_t* right, int lag,
                  std::int16_t* difference) {
  const std::int16_t* shifted = extended.data() + kMaxLag + lag;
  for (int i = 0; i < N; ++i) {
    const auto wrapped = static_cast<std::uint16_t>(static_cast<std::uint16_t>(right[i]) -
                                                    static_cast<std::uint16_t>(shifted[i]));
    difference[i] = static_cast<std::int16_t>(wrapped);
  }
}

}  // namespace

int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right, std::int16_t* difference,
                   JointTrial trial) {
  assert(N > kMaxLag && N <= format::kMaxBlockLength);
  ExtendedLeft extended;
  extendLeft(N, left, extended);
  LagErrors errors;
  const std::int64_t energy = lagErrors(N, extended, right, errors);
  // The first lag with the least error wins ties.
  const auto least = std::min_element(errors.begin(), errors.end());
  if (!tried(trial, energy, *least)) return format::kNoJointStereo;
  const int best = static_cast<int>(least - errors.begin()) - kMaxLag;
  differenceOf(N, extended, right, best, difference);
  return best;
}

int lagCandidates(int N, const std::int16_t* left, const std::int16_t* right, JointTrial trial, int count,
                  int* lags) {
  assert(N > kMaxLag && N <= format::kMaxBlockLength);
  ExtendedLeft extended;
  extendLeft(N, left, extended);
  LagErrors errors;
  const std::int64_t energy = lagErrors(N, extended, right, errors);
  // Local minima of the error curve, the least first (the first of equal ones).
  std::array<int, 2 * kMaxLag + 1> order;
  int minima = 0;
  for (int i = 0; i <= 2 * kMaxLag; ++i) {
    const bool belowLeft = i == 0 || errors[i] < errors[i - 1];
    const bool notAboveRight = i == 2 * kMaxLag || errors[i] <= errors[i + 1];
    if (belowLeft && notAboveRight && tried(trial, energy, errors[i])) order[minima++] = i;
  }
  std::stable_sort(order.begin(), order.begin() + minima, [&](int a, int b) { return errors[a] < errors[b]; });
  const int found = std::min(count, minima);
  for (int i = 0; i < found; ++i) lags[i] = order[i] - kMaxLag;
  return found;
}

void laggedDifference(int N, const std::int16_t* left, const std::int16_t* right, int lag,
                      std::int16_t* difference) {
  ExtendedLeft extended;
  extendLeft(N, left, extended);
  differenceOf(N, extended, right, lag, difference);
}

}  // namespace qola
