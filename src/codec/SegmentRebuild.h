// The rebuild of a transform segment that encoder and decoder must compute
// identically, and the joint-stereo rebuild of a block's second channel. The
// encoder's side of it, the residual, is in codec/Residual.h.
#pragma once

#include <cstdint>

#include "dsp/RebuildArithmetic.h"
#include "dsp/RebuildKernels.h"

namespace qola {

// transform = inverseDct(coefficients * quantiserStep(s)) over 2^s values.
void rebuildSegment(int s, const std::int32_t* coefficients, double* transform);

// Decoder: samples = rounded rebuild - residual, in 16-bit wrap-around.
void reconstructSegment(int s, const std::int32_t* coefficients, const std::int16_t* residuals, double* transform,
                        std::int16_t* samples);

// second[j] = difference[j] + first~[j + lag], first~ being first mirrored at
// both ends exactly as the stereo decision mirrors it.
void jointReconstruct(int lag, int length, const std::int16_t* first, const std::int16_t* difference,
                      std::int16_t* second);

}  // namespace qola
