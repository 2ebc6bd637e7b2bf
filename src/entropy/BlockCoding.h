// Coding of one transform segment: the residual values through the
// arithmetic coder, then the band parameters and the quantised coefficients
// as bit-packed code words, one parameter per band of 32 coefficients.
#pragma once

#include "common/Stream.h"

#include <cstdint>

#include "common/FormatConstants.h"
#include "entropy/BitPacker.h"

namespace qola {

// Band code words of count values with one parameter:
// -3 all zero (no bits), -2 pairs of -1..1, -1 single values in -1..1,
// 0 signed unary, 1..31 signed Rice code with that parameter.
// A value the parameter cannot represent is a coding error.
void encodeBand(const std::int32_t* values, int count, int parameter, BitWriter& writer,
                OutputStream& output);
void decodeBand(int parameter, int count, BitReader& reader, InputStream& input, std::int32_t* values);

// The coded data of one transform segment of 2^s samples, in arrays the
// caller owns: residual and coefficients hold 2^s values, bandParameters one
// per band of 32 coefficients.
struct TransformSegment {
  int s = format::kMinSegmentExponent;
  std::int16_t* residual = nullptr;  // rounded rebuild minus source, |e| <= 31
  std::int32_t* coefficients = nullptr;
  std::int8_t* bandParameters = nullptr;
};

// Writes the segment's payload after its segment header: model byte,
// residual code, coefficient code. A residual beyond 31 is a coding error.
void encodeTransformSegment(const TransformSegment& segment, BitWriter& writer, OutputStream& output);

// Reads what encodeTransformSegment wrote into the segment's arrays and
// leaves the input on the first byte after it.
void decodeTransformSegment(const TransformSegment& segment, BitReader& reader, InputStream& input);

}  // namespace qola
