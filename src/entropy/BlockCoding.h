// Coding of one transform segment: the residual values through the
// arithmetic coder, then the band parameters and the quantised coefficients
// as bit-packed code words, one parameter per band of 32 coefficients.
#pragma once

#include <qola/qola.h>

#include <cstdint>

#include "entropy/BitPacker.h"

namespace qola {

// Band code words of count values with one parameter:
// -3 all zero (no bits), -2 pairs of -1..1, -1 single values in -1..1,
// 0 signed unary, 1..31 signed Rice code with that parameter.
// A value the parameter cannot represent is a coding error.
void encodeBand(const std::int32_t* values, int count, int parameter, BitWriter& writer,
                OutputStream& output);
void decodeBand(int parameter, int count, BitReader& reader, InputStream& input, std::int32_t* values);

// Writes a whole transform segment record of 2^s samples: segment byte (and
// lag byte unless lag is format::kNoJointStereo), model byte, residual code,
// coefficient code. nonZero counts the residual values that are not 0.
void encodeTransformSegment(int s, const std::int16_t* residual, const std::int8_t* bandParameters,
                            const std::int32_t* coefficients, int nonZero, int lag, BitWriter& writer,
                            OutputStream& output);

// Reads a transform segment from its model byte on and leaves the input on
// the first byte after it. The arrays hold at least 2^s values (2^s / 32 for
// bandParameters and parameterDifferences).
void decodeTransformSegment(int s, BitReader& reader, InputStream& input, std::int16_t* residual,
                            std::int32_t* coefficients, std::int8_t* bandParameters,
                            std::int32_t* parameterDifferences);

}  // namespace qola
