// Multi-symbol arithmetic coder with 16-bit code values and deferred
// ("follow") bits, and the frequency models that drive it.
//
// Code bits are packed least significant bit first. A finished stream is
// floor(E/8) + 1 bytes for E emitted bits, never empty. The decoder reads
// 14 bits past the last emitted one; repositionDecoder steps back over the
// bytes it fetched ahead.
#pragma once

#include "common/Stream.h"

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

namespace qola {

namespace ac {
inline constexpr std::int32_t kTop = 0xffff;
inline constexpr std::int32_t kFirstQuarter = 0x4000;
inline constexpr std::int32_t kHalf = 0x8000;
inline constexpr std::int32_t kThirdQuarter = 0xC000;
inline constexpr std::int32_t kMaxFrequency = 0x3fff;
inline constexpr int kEndOfFileReadsAllowed = 14;
}  // namespace ac

struct ArithEncoder {
  OutputStream* stream = nullptr;
  std::int32_t low = 0;
  std::int32_t high = ac::kTop;
  std::int32_t pendingBits = 0;
  std::int32_t bitBuffer = 0;  // the byte being assembled, filled from bit 7 downwards
  int bitsToGo = 8;
};

struct ArithDecoder {
  InputStream* stream = nullptr;
  std::int32_t value = 0;
  std::int32_t low = 0;
  std::int32_t high = ac::kTop;
  // The fetched bytes with their bit order reversed, the latest lowest (0xff
  // for a read at the end of the input); the low bitsToGo bits are unread,
  // the next one highest of them.
  std::uint32_t bitBuffer = 0;
  int bitsToGo = 0;
  int eofReads = 0;
};

// Symbol s owns the count range [cumFreq[s+1], cumFreq[s]); cumFreq[0] is the total.
struct FrequencyModel {
  int symbolCount = 0;
  std::vector<std::int32_t> counts;
  std::vector<std::int32_t> cumFreq;
  bool adaptive = false;
  // A model that never adapts and has a small total keeps the symbol of each
  // count value, so that decoding looks it up instead of searching.
  static constexpr int kLookupLimit = 2048;
  bool hasLookup = false;
  std::array<std::uint8_t, kLookupLimit> symbolOfCount;
};

void startEncoder(ArithEncoder& encoder, OutputStream& stream);
void encodeSymbol(ArithEncoder& encoder, FrequencyModel& model, int symbol);
void finishEncoder(ArithEncoder& encoder);

void startDecoder(ArithDecoder& decoder, InputStream& stream);
// Moves the input by offset bytes (-1 or -2) over the bytes fetched ahead.
void repositionDecoder(ArithDecoder& decoder, int offset);

// initialFreq: n counts, each at least 1, or nullptr for all counts 1.
void initModel(FrequencyModel& model, int n, const std::int32_t* initialFreq, bool adaptive);
void freeModel(FrequencyModel& model);

// The decoder's inner step, inline so that the residual loop keeps the coder
// state in registers.
namespace ac {

void fetchByte(ArithDecoder& decoder);
[[noreturn]] void symbolOutOfRange();

// The symbol whose count range holds cum (the first s with cumFreq[s + 1] <= cum).
inline int searchSymbol(const FrequencyModel& model, std::int32_t cum) {
  const std::int32_t* cumFreq = model.cumFreq.data();
  int symbol = 0;
  while (symbol < model.symbolCount && cumFreq[symbol + 1] > cum) ++symbol;
  if (symbol == model.symbolCount) symbolOutOfRange();
  return symbol;
}

// Counts the symbol; a total at the limit first halves every count.
inline void updateModel(FrequencyModel& model, int symbol) {
  std::int32_t* counts = model.counts.data();
  std::int32_t* cumFreq = model.cumFreq.data();
  if (cumFreq[0] == kMaxFrequency) {
    std::int32_t sum = 0;
    cumFreq[model.symbolCount] = 0;
    for (int i = model.symbolCount - 1; i >= 0; --i) {
      counts[i] = (counts[i] + 1) / 2;  // a count of 1 stays 1: no symbol loses its range
      sum += counts[i];
      cumFreq[i] = sum;
    }
  }
  ++counts[symbol];
  for (int i = 0; i <= symbol; ++i) ++cumFreq[i];
}

// The next count bits (0..16), the first one most significant. A byte is
// fetched only when one of its bits is taken, as a bit-by-bit reader would.
inline std::uint32_t readBits(ArithDecoder& decoder, int count) {
  while (decoder.bitsToGo < count) fetchByte(decoder);
  decoder.bitsToGo -= count;
  return (decoder.bitBuffer >> decoder.bitsToGo) & ((1u << count) - 1);
}

}  // namespace ac

inline int decodeSymbol(ArithDecoder& decoder, FrequencyModel& model) {
  using ac::kFirstQuarter;
  using ac::kHalf;
  using ac::kThirdQuarter;
  const std::int32_t* cumFreq = model.cumFreq.data();
  const std::int32_t range = decoder.high - decoder.low + 1;
  const std::int32_t total = cumFreq[0];
  const std::int32_t cum = ((decoder.value - decoder.low + 1) * total - 1) / range;
  // Within [0, total) the table holds the searched symbol; outside it only the search knows the answer.
  const int symbol = model.hasLookup && static_cast<std::uint32_t>(cum) < static_cast<std::uint32_t>(total)
                         ? model.symbolOfCount[static_cast<std::size_t>(cum)]
                         : ac::searchSymbol(model, cum);

  const std::int32_t low = decoder.low + (range * cumFreq[symbol + 1]) / total;
  const std::int32_t high = decoder.low + (range * cumFreq[symbol]) / total - 1;
  if (low < kHalf && high >= kHalf && (low < kFirstQuarter || high >= kThirdQuarter)) {
    // A likely symbol often leaves nothing to renormalise.
    decoder.low = low;
    decoder.high = high;
    if (model.adaptive) ac::updateModel(model, symbol);
    return symbol;
  }
  // The bit-by-bit renormalisation in two batches. First the leading bits
  // that low and high share leave (with the matching bits of value). Then,
  // while low is 01... and high 10..., the second bit of all three leaves and
  // the first stays. Neither batch can make the other apply again.
  const auto ulow = static_cast<std::uint32_t>(low);
  const auto uhigh = static_cast<std::uint32_t>(high);
  const int shared = std::countl_zero(static_cast<std::uint16_t>(ulow ^ uhigh));
  const std::uint32_t low1 = (ulow << shared) & 0xffff;
  const std::uint32_t high1 = ((uhigh << shared) | ((1u << shared) - 1)) & 0xffff;
  const int straddling = std::countl_one((low1 & ~high1 & 0x7fff) << 17);
  const std::uint32_t bits = ac::readBits(decoder, shared + straddling);
  const std::uint32_t value1 =
      ((static_cast<std::uint32_t>(decoder.value) << shared) | (bits >> straddling)) & 0xffff;
  const std::uint32_t straddleMask = (1u << straddling) - 1;
  decoder.low = static_cast<std::int32_t>((low1 << straddling) & 0x7fff);
  decoder.high = static_cast<std::int32_t>(((high1 << straddling) & 0x7fff) | 0x8000 | straddleMask);
  decoder.value =
      static_cast<std::int32_t>((value1 & 0x8000) | ((value1 << straddling) & 0x7fff) | (bits & straddleMask));
  if (model.adaptive) ac::updateModel(model, symbol);
  return symbol;
}

}  // namespace qola
