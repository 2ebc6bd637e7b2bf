#include "dsp/StereoDecision.h"

#include <array>
#include <cassert>
#include <cstdint>

#include "common/Format.h"

namespace qola {
namespace {

constexpr int kMaxLag = format::kMaxLag;
constexpr int kLagCount = 2 * kMaxLag + 1;

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
  // sums are exactly the double-precision sums in any order.
  std::array<std::int64_t, kLagCount> error{};
  for (int d = -kMaxLag; d <= kMaxLag; ++d) {
    const std::int32_t* shifted = extended.data() + kMaxLag + d;
    std::int64_t sum = 0;
    for (int i = 0; i < N; ++i) {
      const std::int64_t e = right[i] - shifted[i];
      sum += e * e;
    }
    error[d + kMaxLag] = sum;
  }

  int best = -kMaxLag;
  for (int d = -kMaxLag + 1; d <= kMaxLag; ++d) {
    if (error[d + kMaxLag] < error[best + kMaxLag]) best = d;  // ties keep the smaller lag
  }

  std::int64_t energy = 0;
  for (int i = 0; i < N; ++i) energy += static_cast<std::int64_t>(right[i]) * right[i];

  // 0.5 * P > E, both exact integers.
  if (!(energy > 2 * error[best + kMaxLag])) return format::kNoJointStereo;

  const std::int32_t* shifted = extended.data() + kMaxLag + best;
  for (int i = 0; i < N; ++i) {
    const auto wrapped = static_cast<std::uint16_t>(static_cast<std::uint16_t>(right[i]) -
                                                    static_cast<std::uint16_t>(shifted[i]));
    difference[i] = static_cast<std::int16_t>(wrapped);
  }
  return best;
}

}  // namespace qola
