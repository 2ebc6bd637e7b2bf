#include "dsp/StereoDecision.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cassert>
#include <cstdint>

#include "common/Format.h"

namespace qola {
namespace {

constexpr int kMaxLag = format::kMaxLag;

}  // namespace

std::int16_t mirroredSample(const std::int16_t* left, int N, int t) {
  if (t < 0) return left[-t - 1];
  if (t >= N) return left[2 * N - 1 - t];
  return left[t];
}

int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right,
                   std::int16_t* difference) {
  assert(N > kMaxLag && N <= format::kMaxBlockLength);

  // The left channel with kMaxLag mirrored samples on each side.
  std::array<std::int32_t, format::kMaxBlockLength + 2 * kMaxLag> extended;
  for (int t = -kMaxLag; t < N + kMaxLag; ++t) extended[t + kMaxLag] = mirroredSample(left, N, t);

  // Every square is below 2^32 and every sum below 2^44, so these integer
  // sums are exactly the double-precision sums in any order. A lag whose
  // partial sum already reaches the best error cannot become strictly
  // better, so its sum stops early; ties still keep the smaller lag.
  constexpr int kChunk = 128;
  int best = -kMaxLag;
  std::int64_t bestError = INT64_MAX;
  for (int d = -kMaxLag; d <= kMaxLag; ++d) {
    const std::int32_t* shifted = extended.data() + kMaxLag + d;
    std::int64_t sum = 0;
    for (int start = 0; start < N && sum < bestError; start += kChunk) {
      const int end = std::min(N, start + kChunk);
      for (int i = start; i < end; ++i) {
        const std::int64_t e = right[i] - shifted[i];
        sum += e * e;
      }
    }
    if (sum < bestError) {
      best = d;
      bestError = sum;
    }
  }

  std::int64_t energy = 0;
  for (int i = 0; i < N; ++i) energy += static_cast<std::int64_t>(right[i]) * right[i];

  // 0.5 * P > E, both exact integers.
  if (!(energy > 2 * bestError)) return format::kNoJointStereo;

  const std::int32_t* shifted = extended.data() + kMaxLag + best;
  for (int i = 0; i < N; ++i) {
    const auto wrapped = static_cast<std::uint16_t>(static_cast<std::uint16_t>(right[i]) -
                                                    static_cast<std::uint16_t>(shifted[i]));
    difference[i] = static_cast<std::int16_t>(wrapped);
  }
  return best;
}

}  // namespace qola
