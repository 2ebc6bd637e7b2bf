#include "entropy/ArithDecoder.h"
#include "entropy/ArithEncoder.h"
#include <algorithm>
#include <array>
#include <bit>
#include <new>

#include "common/Fatal.h"

namespace qola {
namespace {

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
    decoder.code |= std::uint64_t{ac::kReversedBytes[static_cast<std::size_t>(byte)]} << (40 - decoder.ahead);
    decoder.ahead += 8;
  }
  return decoder;
}

void symbolOutOfRange() { coderError(__FILE__, __LINE__, "symbol out of range"); }

}  // namespace ac

namespace {

void setLookup(FrequencyModel& model) {
  model.hasLookup = !model.adaptive && model.symbolCount <= FrequencyModel::kLookupSymbols &&
                    model.cumFreq[0] <= FrequencyModel::kLookupLimit;
}

}  // namespace

void startEncoder(ArithEncoder& encoder, OutputStream& stream) { encoder = ArithEncoder{&stream}; }

int finishEncoder(ArithEncoder& encoder) {
  ac::CodeRegisters& code = encoder.code;
  OutputStream& stream = *encoder.stream;
  const std::uint32_t bit = code.low < ac::kFirstQuarter ? 0 : 1;
  ac::putCodeBits(code, encoder.queue, stream, bit, 1);
  ac::putRun(code, encoder.queue, stream, bit ^ 1, code.pendingBits + 1);
  // 0-bits up to the byte's end: the bits of an unfinished byte end up from
  // bit 0 up, and a stream that ends on a byte boundary gets a zero byte.
  const int padding = 8 - code.bitCount % 8;
  ac::putCodeBits(code, encoder.queue, stream, 0, padding);
  reserveQueue(encoder.queue, stream, 4);
  while (code.bitCount > 0) {
    code.bitCount -= 8;
    pushByte(encoder.queue, ac::kReversedBytes[static_cast<std::size_t>((code.bits >> code.bitCount) & 0xff)]);
  }
  drainQueue(encoder.queue, stream);
  return padding;
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
    setLookup(model);
    return;
  }
  for (int i = n - 1; i >= 0; --i) {
    model.counts[i] = initialFreq[i];
    model.cumFreq[i] = model.cumFreq[i + 1] + model.counts[i];
  }
  if (model.cumFreq[0] > ac::kMaxFrequency) {
    coderError(__FILE__, __LINE__, "arithmetic coder model max frequency exceeded");
  }
  setLookup(model);
}

void freeModel(FrequencyModel& model) {
  model.symbolCount = 0;
  model.hasLookup = false;
  model.counts = {};
  model.cumFreq = {};
}

}  // namespace qola
