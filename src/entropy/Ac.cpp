#include "entropy/Ac.h"

#include <algorithm>
#include <array>
#include <bit>
#include <new>

#include "common/Fatal.h"

namespace qola {
namespace {

using ac::kFirstQuarter;
using ac::kHalf;
using ac::kThirdQuarter;

inline void writeBit(ArithEncoder& encoder, int bit) {
  encoder.bitBuffer >>= 1;
  if (bit != 0) encoder.bitBuffer |= 0x80;
  if (--encoder.bitsToGo == 0) {
    // The buffer is not cleared: its old bits shift out during the next eight writes.
    encoder.stream->putByte(static_cast<std::uint8_t>(encoder.bitBuffer));
    encoder.bitsToGo = 8;
  }
}

inline void writeBitPlusPending(ArithEncoder& encoder, int bit) {
  writeBit(encoder, bit);
  for (; encoder.pendingBits > 0; --encoder.pendingBits) writeBit(encoder, 1 - bit);
}

// Bytes with their bit order reversed: the decoder reads each byte from bit 0
// up, and reversed those bits come out most significant first.
constexpr std::array<std::uint8_t, 256> kReversed = [] {
  std::array<std::uint8_t, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit) reversed |= ((byte >> bit) & 1) << (7 - bit);
    table[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(reversed);
  }
  return table;
}();

// Refuses a message that a byte-at-a-time reader would have read more than
// kEndOfFileReadsAllowed bytes past the end for: the whole bytes read ahead
// are the latest ones taken, so they are not counted.
void checkEndReads(const ArithDecoder& decoder) {
  if (decoder.eofReads - std::max(decoder.ahead, 0) / 8 > ac::kEndOfFileReadsAllowed) {
    coderError(__FILE__, __LINE__, "arithmetic decoder bad input file");
  }
}

}  // namespace

namespace ac {

ArithDecoder refillSlowly(ArithDecoder decoder) {
  checkEndReads(decoder);
  while (decoder.ahead < 16) {
    int byte = decoder.stream->getByte();
    if (byte < 0) {
      // Past the end the stream reads as 1-bits, for a message that ends the file.
      byte = 0xff;
      ++decoder.eofReads;
    }
    decoder.code |= std::uint64_t{kReversed[static_cast<std::size_t>(byte)]} << (40 - decoder.ahead);
    decoder.ahead += 8;
  }
  return decoder;
}

void symbolOutOfRange() { coderError(__FILE__, __LINE__, "symbol out of range"); }

}  // namespace ac

namespace {

void fillLookup(FrequencyModel& model) {
  const int n = model.symbolCount;
  model.hasLookup = !model.adaptive && n <= FrequencyModel::kLookupSymbols && model.cumFreq[0] <= FrequencyModel::kLookupLimit;
  if (!model.hasLookup) return;
  for (int symbol = 0; symbol < n; ++symbol) {
    for (std::int32_t c = model.cumFreq[symbol + 1]; c < model.cumFreq[symbol]; ++c) {
      model.symbolOfCount[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(symbol);
    }
  }
}

}  // namespace

void startEncoder(ArithEncoder& encoder, OutputStream& stream) { encoder = ArithEncoder{&stream}; }

void encodeSymbol(ArithEncoder& encoder, FrequencyModel& model, int symbol) {
  if (symbol < 0 || symbol >= model.symbolCount) coderError(__FILE__, __LINE__, "symbol out of range");
  const std::int32_t range = encoder.high - encoder.low + 1;
  const std::int32_t total = model.cumFreq[0];
  std::int32_t low = encoder.low;
  std::int32_t high = low + (range * model.cumFreq[symbol]) / total - 1;
  low += (range * model.cumFreq[symbol + 1]) / total;
  for (;;) {
    if (high < kHalf) {
      writeBitPlusPending(encoder, 0);
    } else if (low >= kHalf) {
      writeBitPlusPending(encoder, 1);
      low -= kHalf;
      high -= kHalf;
    } else if (low >= kFirstQuarter && high < kThirdQuarter) {
      ++encoder.pendingBits;
      low -= kFirstQuarter;
      high -= kFirstQuarter;
    } else {
      break;
    }
    low = 2 * low;
    high = 2 * high + 1;
  }
  encoder.low = low;
  encoder.high = high;
  if (model.adaptive) ac::updateModel(model, symbol);
}

void finishEncoder(ArithEncoder& encoder) {
  ++encoder.pendingBits;
  writeBitPlusPending(encoder, encoder.low < kFirstQuarter ? 0 : 1);
  // Moves the bits of an unfinished byte down to bit 0; a lone zero byte when there are none.
  encoder.stream->putByte(static_cast<std::uint8_t>(encoder.bitBuffer >> encoder.bitsToGo));
}

void startDecoder(ArithDecoder& decoder, InputStream& stream) {
  decoder = ArithDecoder{&stream};
  ac::refill(decoder);
}

void finishDecoder(ArithDecoder& decoder) {
  checkEndReads(decoder);
  // A byte-at-a-time reader would have taken all but the whole bytes read
  // ahead, leaving ahead % 8 bits of its last byte; it then steps back over
  // the bytes fetched for the 14 bits past the message.
  const int backwards = decoder.ahead / 8 + (decoder.ahead % 8 < 3 ? 1 : 2);
  decoder.stream->stepBack(backwards);
}

void initModel(FrequencyModel& model, int n, const std::int32_t* initialFreq, bool adaptive) {
  model.symbolCount = n;
  try {
    model.counts.assign(static_cast<std::size_t>(n), 0);
    model.cumFreq.assign(static_cast<std::size_t>(n) + 1, 0);
  } catch (const std::bad_alloc&) {
    coderError(__FILE__, __LINE__, "arithmetic coder model allocation failure");
  }
  model.adaptive = adaptive;
  model.cumFreq[n] = 0;
  if (initialFreq == nullptr) {
    // The flat model is exempt from the limit test.
    for (int i = 0; i < n; ++i) {
      model.counts[i] = 1;
      model.cumFreq[i] = n - i;
    }
    fillLookup(model);
    return;
  }
  for (int i = n - 1; i >= 0; --i) {
    model.counts[i] = initialFreq[i];
    model.cumFreq[i] = model.cumFreq[i + 1] + model.counts[i];
  }
  if (model.cumFreq[0] > ac::kMaxFrequency) {
    coderError(__FILE__, __LINE__, "arithmetic coder model max frequency exceeded");
  }
  fillLookup(model);
}

void freeModel(FrequencyModel& model) {
  model.symbolCount = 0;
  model.hasLookup = false;
  model.counts = {};
  model.cumFreq = {};
}

}  // namespace qola
