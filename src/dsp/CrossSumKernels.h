// The lag search's cross sum C(d) = sum of right[i] * shifted[i], one build
// per instruction set: the portable C++ in CrossSumKernels.cpp, eight 16-bit
// lanes in CrossSumKernels_sse2.cpp, sixteen in CrossSumKernels_avx2.cpp.
// Every build sums exact 64-bit integers, so all give the same value.
#pragma once

#include <cstdint>

namespace qola {

using CrossSum = std::int64_t (*)(const std::int16_t* right, const std::int16_t* shifted, int count);

// The kernel of the processor path in use.
CrossSum crossSumKernel();
std::int64_t portableCrossSum(const std::int16_t* right, const std::int16_t* shifted, int count);

namespace lagSum {

// The lanes multiply 16-bit values and add two products per 32-bit lane. A
// pair sum lies in [-2^31 + 2^16, 2^31]; only 2^31 (both pairs -32768 *
// -32768) wraps. Adding kPairBias maps the range onto [0, 2^32 - 2^16] as an
// unsigned 32-bit number, which widens to 64 bits without loss; the biases
// come off at the end.
inline constexpr std::uint32_t kPairBias = (1u << 31) - (1u << 16);

// Adds the products from start to end to sum: the values the lanes left over.
inline std::int64_t runningSum(const std::int16_t* right, const std::int16_t* shifted, int start, int end,
                               std::int64_t sum) {
  for (int i = start; i < end; ++i) sum += std::int32_t{right[i]} * shifted[i];
  return sum;
}

}  // namespace lagSum

// The lane builds, where the processor family has them (QOLA_SSE2_KERNELS,
// QOLA_AVX2_KERNELS).
namespace sse2 {
std::int64_t crossSum(const std::int16_t* right, const std::int16_t* shifted, int count);
}  // namespace sse2
namespace avx2 {
std::int64_t crossSum(const std::int16_t* right, const std::int16_t* shifted, int count);
}  // namespace avx2

}  // namespace qola
