#include "dsp/RebuildKernels.h"

#include "common/ByteOrder.h"
#include "common/CpuPath.h"
#include "dsp/RebuildArithmetic.h"

namespace qola {

void subtractFromRounded(const double* values, const std::int16_t* subtrahends, int count, std::int16_t* out) {
#if QOLA_SSE2_KERNELS
  int i = sse2::subtractFromRounded(values, subtrahends, count, out);
#else
  int i = 0;
#endif
  for (; i < count; ++i) {
    out[i] =
        wrap16(static_cast<std::uint32_t>(roundRebuilt(values[i])) - static_cast<std::uint16_t>(subtrahends[i]));
  }
}

}  // namespace qola
