// The rebuild of a transform segment that encoder and decoder must compute
// identically, and the joint-stereo rebuild of a block's second channel.
#pragma once

#include <cstdint>

namespace qola {

// Temp = FIDCT(coefficients * quantiserStep(s)) over 2^s values.
void rebuildSegment(int s, const std::int32_t* coefficients, double* Temp);

// The rounded rebuild of one value. Valid files stay far inside 32 bits;
// a crafted file's huge values saturate instead of overflowing.
std::int32_t roundRebuilt(double value);

// out[i] = roundRebuilt(values[i]) - subtrahends[i] in 16-bit wrap-around.
void subtractFromRounded(const double* values, const std::int16_t* subtrahends, int count, std::int16_t* out);

// Decoder: samples = rounded rebuild - residual, in 16-bit wrap-around.
void reconstructSegment(int s, const std::int32_t* TK, const std::int16_t* AWf, double* Temp,
                        std::int16_t* AWi);

// Encoder: residual = rounded rebuild - source, in 16-bit wrap-around.
// Returns the largest residual magnitude.
int formResidual(int s, const std::int32_t* TK, const std::int16_t* source, double* Temp, std::int16_t* AWf);

// Encoder: forms the residual of a transform segment and makes sure it can be
// coded. Where the quantisation error of a sparse signal piles up beyond the
// largest codable residual, the segment's coefficients are requantised with
// dithered rounding (fixed seeds, so the output is reproducible) and its band
// parameters chosen anew.
void codableResidual(int s, const std::int16_t* source, std::int32_t* TK, std::int8_t* CB, double* Temp,
                     std::int16_t* AWf);

// second[j] = difference[j] + first~[j + lag], first~ being first mirrored at
// both ends exactly as the stereo decision mirrors it.
void jointReconstruct(int lag, int length, const std::int16_t* first, const std::int16_t* difference,
                      std::int16_t* second);

}  // namespace qola
