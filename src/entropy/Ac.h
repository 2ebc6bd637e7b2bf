// Multi-symbol arithmetic coder with 16-bit code values and deferred
// ("follow") bits, and the frequency models that drive it.
//
// Code bits are packed least significant bit first. A finished stream is
// floor(E/8) + 1 bytes for E emitted bits, never empty. The decoder reads
// 14 bits past the last emitted one; repositionDecoder steps back over the
// bytes it fetched ahead.
#pragma once

#include <qola/qola.h>

#include <array>
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
  // The current byte with its bit order reversed (0xff after a read at the
  // end of the input); its low bitsToGo bits are unread, the next one highest.
  std::int32_t bitBuffer = 0;
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
int decodeSymbol(ArithDecoder& decoder, FrequencyModel& model);
// Moves the input by offset bytes (-1 or -2) over the bytes fetched ahead.
void repositionDecoder(ArithDecoder& decoder, int offset);

// initialFreq: n counts, each at least 1, or nullptr for all counts 1.
void initModel(FrequencyModel& model, int n, const std::int32_t* initialFreq, bool adaptive);
void freeModel(FrequencyModel& model);

}  // namespace qola
