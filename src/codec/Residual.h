// The encoder's residual of a transform segment: the source less the
// decoder's rebuild of the quantised coefficients, made small enough to code.
#pragma once

#include <cstdint>

#include "codec/SegmentRebuild.h"

namespace qola {

// Encoder: residual = rounded rebuild - source, in 16-bit wrap-around.
// Returns the largest residual magnitude.
int formResidual(int s, const std::int32_t* coefficients, const std::int16_t* source, double* transform,
                 std::int16_t* residual);

// Encoder: forms the residual of a transform segment and makes sure it can be
// coded. Where the quantisation error of a sparse signal piles up beyond the
// largest codable residual, the segment's coefficients are requantised with
// dithered rounding (fixed seeds, so the output is reproducible) and its band
// parameters chosen anew.
void codableResidual(int s, const std::int16_t* source, std::int32_t* coefficients, std::int8_t* bandParameters,
                     double* transform, std::int16_t* residual);

}  // namespace qola
