// The arithmetic decoder: reads ahead up to eight bytes at a time and
// decodes one symbol or a run of them with a frequency model.
#pragma once

#include <array>
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
  // low in the top 16 bits of 32, and the range high - low + 1 (up to 2^16).
  std::uint32_t low = 0;
  std::uint32_t range = 0x10000;
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

// The count within [0, total) that the code value points at.
inline std::uint32_t countOfValue(const ArithDecoder& decoder, std::uint32_t total) {
  const auto offset = static_cast<std::uint32_t>(decoder.code >> 48);  // the code value minus low
  return (offset * total + (total - 1)) / decoder.range;
}

// Narrows to [low + lowCut, low + highCut - 1] and renormalises. The leading
// bits that low and high share leave; then, while low is 01... and high
// 10..., the second bit of both leaves and the first stays. Each doubles the
// range, and they stop once it exceeds a quarter, by the first doubling past
// that at the latest (a range over a half always straddles the middle): the
// shift is s0, the doublings that take the range past a quarter, or s0 + 1,
// which it is exactly when the first s0 + 2 bits of high are those of low
// plus at most 1 (either shared, or low's 0 then 1s and high's 1 then 0s).
// Returns the shift.
inline int narrow(ArithDecoder& decoder, std::uint32_t lowCut, std::uint32_t highCut) {
  const std::uint32_t range = highCut - lowCut;  // at least 1
  const std::uint32_t low = decoder.low + (lowCut << 16);
  const std::uint32_t high = low + (range << 16) - 1;  // and 1-bits below
  // clz(range - 1) - 17 on 32 bits: from -1 (a range over a half: t = 31 and
  // the shift 0) up to 15 (a range of 1); the 1-bit keeps the count off zero.
  const int s0 = std::countl_zero(((range - 1) << 1) | 1) - 16;
  const int t = 30 - s0;
  const int shift = s0 + static_cast<int>((high >> t) - (low >> t) <= 1);
  // The first bit left is 0 in low and 1 in high.
  decoder.low = (low << shift) & 0x7fffffff;
  decoder.range = range << shift;
  decoder.code = (decoder.code - (std::uint64_t{lowCut} << 48)) << shift;
  decoder.ahead -= shift;
  if (decoder.ahead < 16) refill(decoder);
  return shift;
}

// Division through a reciprocal with a fixed shift: for a divisor d and
// m = ceil(2^43 / d), (n * m) >> 43 is floor(n / d) whenever n * d < 2^43,
// since the excess n * (m - 2^43 / d) / 2^43 < n / 2^43 then stays below
// 1 / d, the least distance of n / d below the next whole number. The
// decoder divides so by a static model's total (n = range * count < 2^27,
// d <= 2^11) and by a narrowed range r shifted left by s: floor(n / (r << s))
// = floor((n >> s) / r) with n >> s < r * 2^11 for counts of such a total,
// and r <= 2^16. Every product stays below 2^60.
inline constexpr int kReciprocalBits = 43;

inline std::uint64_t reciprocal43(std::uint32_t d) { return ((std::uint64_t{1} << kReciprocalBits) + d - 1) / d; }

}  // namespace ac

// A model that adapts, or one too large for a table of its counts.
inline int decodeSymbol(ArithDecoder& decoder, FrequencyModel& model) {
  const std::int32_t* cumFreq = model.cumFreq.data();
  const auto total = static_cast<std::uint32_t>(cumFreq[0]);
  const std::uint32_t range = decoder.range;
  const int symbol = ac::searchSymbol(model, static_cast<std::int32_t>(ac::countOfValue(decoder, total)));
  ac::narrow(decoder, range * static_cast<std::uint32_t>(cumFreq[symbol + 1]) / total,
             range * static_cast<std::uint32_t>(cumFreq[symbol]) / total);
  if (model.adaptive) ac::updateModel(model, symbol);
  return symbol;
}

namespace ac {

// For each count value of a small static model: its symbol's count range
// [cumFreq[s + 1], cumFreq[s]) and the value it stands for, s - offset,
// packed as low | high << 12 | (s - offset) << 24 (a signed byte), so that
// one look-up gives both ends of the narrowing.
using CountTable = std::array<std::uint32_t, FrequencyModel::kLookupLimit>;

inline void fillCountTable(const FrequencyModel& model, int offset, CountTable& table) {
  for (int symbol = 0; symbol < model.symbolCount; ++symbol) {
    const auto below = static_cast<std::uint32_t>(model.cumFreq[symbol + 1]);
    const auto upTo = static_cast<std::uint32_t>(model.cumFreq[symbol]);
    const auto value = static_cast<std::uint8_t>(symbol - offset);
    const std::uint32_t entry = below | upTo << 12 | std::uint32_t{value} << 24;
    for (std::uint32_t c = below; c < upTo; ++c) table[c] = entry;
  }
}

}  // namespace ac

// Decodes count symbols into out[i] = symbol - offset. A model that never
// adapts and has a small total looks each count up in a table and divides
// by its total through a reciprocal.
inline void decodeSymbols(ArithDecoder& decoder, FrequencyModel& model, int count, int offset, std::int16_t* out) {
  ArithDecoder d = decoder;  // a copy the stores into out cannot alias
  if (!model.hasLookup) {
    for (int i = 0; i < count; ++i) out[i] = static_cast<std::int16_t>(decodeSymbol(d, model) - offset);
    decoder = d;
    return;
  }
  // The values s - offset fit a signed byte: a table's model has at most 2 * 31 + 1 symbols.
  ac::CountTable table;
  ac::fillCountTable(model, offset, table);
  const auto total = static_cast<std::uint32_t>(model.cumFreq[0]);
  const std::uint64_t perTotal = ac::reciprocal43(total);
  // The range as the last narrowed one shifted: its reciprocal is taken
  // while the shift is found, so that the count needs no division of its own.
  std::uint64_t perNarrowed = ac::reciprocal43(d.range);
  int shift = 0;
  for (std::int16_t* const end = out + count; out != end; ++out) {
    const std::uint64_t scaled = ((d.code >> 48) * total + (total - 1)) >> shift;
    // The count is below the total (at most kLookupLimit): the mask only keeps the read inside the table.
    const auto at = static_cast<std::size_t>((scaled * perNarrowed) >> ac::kReciprocalBits);
    const std::uint32_t entry = table[at & (FrequencyModel::kLookupLimit - 1)];
    const std::uint64_t scaledRange = d.range * perTotal;  // range * count / total: (range * m) * count >> 43
    const auto lowCut = static_cast<std::uint32_t>((scaledRange * (entry & 0xfff)) >> ac::kReciprocalBits);
    const auto highCut = static_cast<std::uint32_t>((scaledRange * ((entry >> 12) & 0xfff)) >> ac::kReciprocalBits);
    perNarrowed = ac::reciprocal43(highCut - lowCut);
    shift = ac::narrow(d, lowCut, highCut);
    *out = static_cast<std::int16_t>(static_cast<std::int32_t>(entry) >> 24);
  }
  decoder = d;
}

}  // namespace qola
