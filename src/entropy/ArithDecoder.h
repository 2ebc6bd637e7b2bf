// The arithmetic decoder: reads ahead up to eight bytes at a time and
// decodes one symbol or a run of them with a frequency model.
#pragma once

#include <bit>
#include <cstdint>

#include "common/ByteOrder.h"
#include "common/Stream.h"
#include "entropy/Ac.h"
#include "entropy/FrequencyModel.h"

namespace qola {

// The decoder reads ahead up to eight bytes at a time, but counts its input
// as a reader taking one byte whenever it needs one of its bits: the reads
// past the end of the input it tolerates and the byte it stops on are those.
struct ArithDecoder {
  InputStream* stream = nullptr;
  // low, and high's complement 0xffff - high, in the top 16 bits of 32: a
  // renormalising shift moves the bits of both alike (high's 1-bits coming in
  // as complemented 0-bits) and drops those above.
  std::uint32_t low = 0;
  std::uint32_t highComplement = 0;
  // The code value minus low in the top 16 bits, then `ahead` bits read ahead
  // of it, each input byte in reversed bit order (the coder packs bits from
  // bit 0 up); below them the first bits of the next byte, or 0.
  std::uint64_t code = 0;
  int ahead = -16;   // at least 16 between symbols: the most one symbol takes
  int eofReads = 0;  // bytes taken past the end of the input, read as 0xff
};

void startDecoder(ArithDecoder& decoder, InputStream& stream);
// Refuses a message that needed too many bytes past the end of the input,
// and moves the input back onto the first byte after the message.
void finishDecoder(ArithDecoder& decoder);

// The decoder's inner step, inline so that the residual loop keeps the coder
// state in registers.
namespace ac {

ArithDecoder refillSlowly(ArithDecoder decoder);

// Reverses the bit order within each byte.
inline std::uint64_t reverseBitsOfBytes(std::uint64_t x) {
  x = ((x >> 1) & 0x5555555555555555u) | ((x & 0x5555555555555555u) << 1);
  x = ((x >> 2) & 0x3333333333333333u) | ((x & 0x3333333333333333u) << 2);
  return ((x >> 4) & 0x0f0f0f0f0f0f0f0fu) | ((x & 0x0f0f0f0f0f0f0f0fu) << 4);
}

// Reads ahead to at least 16 bits beyond the code value.
inline void refill(ArithDecoder& decoder) {
  InputStream& input = *decoder.stream;
  if (input.buffered() < 8) {
    decoder = refillSlowly(decoder);  // by value, so that a decoder kept in registers stays there
    return;
  }
  const int filled = 16 + decoder.ahead;
  // The bits below the read-ahead ones already equal the word's bits there.
  decoder.code |= reverseBitsOfBytes(loadBig64(input.next())) >> filled;
  const int bytes = (63 - filled) >> 3;
  input.skip(static_cast<std::size_t>(bytes));
  decoder.ahead += 8 * bytes;
}

inline std::uint32_t rangeOf(const ArithDecoder& decoder) {
  return static_cast<std::uint32_t>(((std::uint64_t{1} << 32) - decoder.low - decoder.highComplement) >> 16);
}

// The count within [0, total) that the code value points at.
inline std::uint32_t countOfValue(const ArithDecoder& decoder, std::uint32_t range, std::uint32_t total) {
  const auto offset = static_cast<std::uint32_t>(decoder.code >> 48);  // the code value minus low
  return ((offset + 1) * total - 1) / range;
}

// Narrows to [low + lowCut, low + highCut - 1] and renormalises. The leading
// bits that low and high share leave; then, while low is 01... and high
// 10..., the second bit of both leaves and the first stays. Each shifts the
// code value minus low alike, and together they take at most 16 bits.
inline void narrow(ArithDecoder& decoder, std::uint32_t range, std::uint32_t lowCut, std::uint32_t highCut) {
  std::uint32_t low = decoder.low + (lowCut << 16);
  std::uint32_t highComplement = decoder.highComplement + ((range - highCut) << 16);
  std::uint64_t code = decoder.code - (std::uint64_t{lowCut} << 48);
  const int shared = std::countl_zero(~(low ^ highComplement) | 0xffff);  // the low half is 0 in both
  // The straddling bits: 1 in low and 0 in high after the first differing bit.
  const int straddling = std::countl_one(((low & highComplement) << shared) << 1);
  const int shift = shared + straddling;
  // The first bit left is 0 in low and 1 in high (0 in its complement).
  decoder.low = (low << shift) & 0x7fffffff;
  decoder.highComplement = (highComplement << shift) & 0x7fffffff;
  decoder.code = code << shift;
  decoder.ahead -= shift;
  if (decoder.ahead < 16) refill(decoder);
}

}  // namespace ac

inline int decodeSymbol(ArithDecoder& decoder, FrequencyModel& model) {
  const std::int32_t* cumFreq = model.cumFreq.data();
  const auto total = static_cast<std::uint32_t>(cumFreq[0]);
  const std::uint32_t range = ac::rangeOf(decoder);
  const std::uint32_t cum = ac::countOfValue(decoder, range, total);
  // Within [0, total) the table holds the searched symbol; outside it only the search knows the answer.
  const int symbol = model.hasLookup && cum < total ? model.symbolOfCount[cum]
                                                    : ac::searchSymbol(model, static_cast<std::int32_t>(cum));
  ac::narrow(decoder, range, range * static_cast<std::uint32_t>(cumFreq[symbol + 1]) / total,
             range * static_cast<std::uint32_t>(cumFreq[symbol]) / total);
  if (model.adaptive) ac::updateModel(model, symbol);
  return symbol;
}

// Decodes count symbols into out[i] = symbol - offset. A model that never
// adapts divides by its total through a reciprocal, taken into the counts.
inline void decodeSymbols(ArithDecoder& decoder, FrequencyModel& model, int count, int offset, std::int16_t* out) {
  ArithDecoder d = decoder;  // a copy the stores into out cannot alias
  if (!model.hasLookup) {
    for (int i = 0; i < count; ++i) out[i] = static_cast<std::int16_t>(decodeSymbol(d, model) - offset);
    decoder = d;
    return;
  }
  const auto total = static_cast<std::uint32_t>(model.cumFreq[0]);
  const ac::Reciprocal perTotal = ac::reciprocalOf(total);
  // Counts below 2^11 times the multiplier, times a range below 2^17: the products stay in 64 bits.
  const ac::ScaledCounts scaled = ac::scaledCounts(model, perTotal);
  for (int i = 0; i < count; ++i) {
    const std::uint32_t range = ac::rangeOf(d);
    // The count is below the total (at most kLookupLimit): the mask only keeps the read inside the table.
    const int symbol = model.symbolOfCount[ac::countOfValue(d, range, total) & (FrequencyModel::kLookupLimit - 1)];
    ac::narrow(d, range,
               static_cast<std::uint32_t>((range * scaled[static_cast<std::size_t>(symbol) + 1]) >> perTotal.shift),
               static_cast<std::uint32_t>((range * scaled[static_cast<std::size_t>(symbol)]) >> perTotal.shift));
    out[i] = static_cast<std::int16_t>(symbol - offset);
  }
  decoder = d;
}

}  // namespace qola
