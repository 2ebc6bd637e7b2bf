// The rebuild's last step, one build per instruction set: the portable C++
// in RebuildKernels.cpp, eight values at a time in RebuildKernels_sse2.cpp.
// Every value gets the steps of roundRebuilt in every build.
#pragma once

#include <cstdint>

namespace qola {

// out[i] = roundRebuilt(values[i]) - subtrahends[i] in 16-bit wrap-around.
void subtractFromRounded(const double* values, const std::int16_t* subtrahends, int count, std::int16_t* out);

// The lane build, where the processor family has it (QOLA_SSE2_KERNELS):
// the values from 0 on in whole groups of eight; returns how many it did.
namespace sse2 {
int subtractFromRounded(const double* values, const std::int16_t* subtrahends, int count, std::int16_t* out);
}  // namespace sse2

}  // namespace qola
