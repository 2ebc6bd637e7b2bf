#include "entropy/BlockCoding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

#include "common/Fatal.h"
#include "common/FormatConstants.h"
#include "entropy/ArithDecoder.h"
#include "entropy/ArithEncoder.h"

namespace qola {
namespace {

using format::kBandSize;

constexpr int kDifferenceParameter = format::kBandUnary;

constexpr int kMaxSymbols = 2 * format::kMaxResidual + 1;

// Parameter -2: the 3-bit index of each pair other than (0, 0), by (a + 1) * 3 + (b + 1).
constexpr std::array<int, 9> kPairIndex = {7, 3, 6, 2, -1, 0, 5, 1, 4};
constexpr std::array<std::array<std::int32_t, 2>, 8> kPairs = {
    {{0, 1}, {1, 0}, {0, -1}, {-1, 0}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}}};

// Largest run of leading 1-bits whose value still fits a signed 32-bit
// coefficient: unary u up to 2^32 - 1, Rice q up to (2^31 - 1) >> (b - 1).
constexpr std::uint64_t kMaxUnaryRun = 0xffffffffu;
constexpr std::uint64_t maxRiceRun(int b) { return std::uint64_t{0x7fffffff} >> (b - 1); }

[[noreturn]] void codingError() { terminatingError("coding error"); }

bool withinUnit(std::int32_t value) { return value >= -1 && value <= 1; }

void encodePairs(const std::int32_t* values, int count, BitWriter& writer, OutputStream& output) {
  for (int j = 0; j + 1 < count; j += 2) {
    const std::int32_t a = values[j];
    const std::int32_t b = values[j + 1];
    if (!withinUnit(a) || !withinUnit(b)) codingError();
    const int index = kPairIndex[static_cast<std::size_t>((a + 1) * 3 + (b + 1))];
    if (index < 0) {
      putBits(writer, output, 0, 0, 1);
    } else {
      putBits(writer, output, 1, static_cast<std::uint32_t>(index), 3);
    }
  }
}

void encodeTernary(const std::int32_t* values, int count, BitWriter& writer, OutputStream& output) {
  for (int j = 0; j < count; ++j) {
    switch (values[j]) {
      case 0: putBits(writer, output, 0, 0, 1); break;
      case 1: putBits(writer, output, 1, 0, 1); break;
      case -1: putBits(writer, output, 2, 0, 0); break;
      default: codingError();
    }
  }
}

void encodeUnary(const std::int32_t* values, int count, BitWriter& writer, OutputStream& output) {
  for (int j = 0; j < count; ++j) {
    const std::int64_t e = values[j];
    const auto u = static_cast<std::uint64_t>(e >= 0 ? 2 * e : -2 * e - 1);
    putBits(writer, output, u, 0, 1);
  }
}

// Code words of up to 32 bits go straight into a local 64-bit number and
// leave it in 32-bit words; longer ones take putBits.
constexpr int kFastRiceBits = 32;

// Hands locally gathered bits (fewer than 32) back to the writer, which keeps fewer than 8.
void settleBits(BitWriter& writer, OutputStream& output, std::uint64_t bits, int pending) {
  reserveQueue(writer.queue, output, 4);
  for (; pending >= 8; pending -= 8) pushByte(writer.queue, static_cast<std::uint8_t>(bits >> (pending - 8)));
  writer.bits = bits;
  writer.count = pending;
}

void encodeRice(const std::int32_t* values, int count, int b, BitWriter& writer, OutputStream& output) {
  const std::uint32_t signBit = std::uint32_t{1} << (b - 1);
  const std::uint32_t lowMask = signBit - 1;
  // The run's closing 0-bit: q 1-bits and the b bits after it are 2^length - 2^(b + 1) + tail.
  const std::uint64_t afterRun = std::uint64_t{1} << (b + 1);
  std::uint64_t bits = writer.bits;
  int pending = writer.count;  // below 32 between words
  for (int j = 0; j < count; ++j) {
    const std::int32_t e = values[j];
    const auto negative = static_cast<std::uint32_t>(e >> 31);  // all ones below 0
    const std::uint32_t v = static_cast<std::uint32_t>(e) ^ negative;  // e, or -(e + 1)
    // q 1-bits, then 0, the sign bit (1 for e >= 0) and the low b - 1 bits of v.
    const std::uint32_t q = v >> (b - 1);
    const std::uint32_t tail = (signBit & ~negative) | (v & lowMask);
    if (q + static_cast<std::uint32_t>(b) + 1 > kFastRiceBits) {
      settleBits(writer, output, bits, pending);
      putBits(writer, output, q, tail, b + 1);
      bits = writer.bits;
      pending = writer.count;
      continue;
    }
    const int length = static_cast<int>(q) + b + 1;
    bits = (bits << length) | ((std::uint64_t{1} << length) - afterRun + tail);
    pending += length;
    if (pending >= 32) {
      pending -= 32;
      reserveQueue(writer.queue, output, 4);
      pushWord(writer.queue, static_cast<std::uint32_t>(bits >> pending));
    }
  }
  settleBits(writer, output, bits, pending);
}

// The band decoders read each code word from the reader's buffer when it
// holds the whole word, and through the general readers (which refill,
// refuse long runs and meet the end of the input) when it does not. They work
// on a copy of the reader that stays in registers: the values they store
// could otherwise alias its bit count. The general readers get another copy.

void decodePairs(int count, BitReader& reader, InputStream& input, std::int32_t* values) {
  BitReader bits = reader;
  for (int j = 0; j + 1 < count; j += 2) {
    if (bits.unread < 4) refillBits(bits, input);
    std::array<std::int32_t, 2> pair = {0, 0};
    if (bits.unread >= 4) {
      const auto word = static_cast<unsigned>(bits.buffer >> 60);  // 0xxx or 1 and a 3-bit index
      if (word >= 8) pair = kPairs[word & 7];
      skipBits(bits, word >= 8 ? 4 : 1);
    } else {
      BitReader slow = bits;
      if (getBit(slow, input) != 0) pair = kPairs[getBits(slow, input, 3)];
      bits = slow;
    }
    values[j] = pair[0];
    values[j + 1] = pair[1];
  }
  reader = bits;
}

void decodeTernary(int count, BitReader& reader, InputStream& input, std::int32_t* values) {
  // 0 is 0, 10 is 1, 11 is -1.
  constexpr std::array<std::int32_t, 4> kValue = {0, 0, 1, -1};
  BitReader bits = reader;
  for (int j = 0; j < count; ++j) {
    if (bits.unread < 2) refillBits(bits, input);
    if (bits.unread >= 2) {
      const auto word = static_cast<unsigned>(bits.buffer >> 62);
      values[j] = kValue[word];
      skipBits(bits, 1 + static_cast<int>(word >> 1));
    } else {
      BitReader slow = bits;
      values[j] = getBit(slow, input) == 0 ? 0 : kValue[2 + getBit(slow, input)];
      bits = slow;
    }
  }
  reader = bits;
}

// u = 2e for e >= 0, -2e - 1 below.
std::int32_t unaryValue(std::uint64_t u) {
  const auto half = static_cast<std::uint32_t>(u >> 1);
  return static_cast<std::int32_t>(half ^ (0u - static_cast<std::uint32_t>(u & 1)));
}

// Reading ahead whenever 32 or fewer bits are left keeps at least 33 in the
// buffer, so that the fast paths below need only check the run. Near the end
// of the input, where that cannot be kept, every word takes the general path.
constexpr int kRefillBelow = 33;

// A code word through the general readers, for runs too long for the fast
// path and at the end of the input; the reader goes by value and comes back.
struct SlowWord {
  BitReader bits;
  std::int32_t value;
};

SlowWord unarySlowly(BitReader bits, InputStream& input) {
  const std::uint64_t u = getOnes(bits, input, kMaxUnaryRun);
  return {bits, unaryValue(u)};
}

// q 1-bits, their 0-bit, then t: the sign bit (1 for e >= 0) and the low b - 1 bits of |e| or -e - 1.
std::int32_t riceValue(std::uint64_t q, std::uint32_t t, int b) {
  const std::uint32_t magnitude = (static_cast<std::uint32_t>(q) << (b - 1)) | (t & ((1u << (b - 1)) - 1));
  const std::uint32_t negative = (t >> (b - 1)) - 1;  // all ones for a sign bit of 0
  return static_cast<std::int32_t>(magnitude ^ negative);
}

SlowWord riceSlowly(BitReader bits, InputStream& input, int b) {
  const std::uint64_t q = getOnes(bits, input, maxRiceRun(b));
  const std::uint32_t t = getBits(bits, input, b);
  return {bits, riceValue(q, t, b)};
}

// The leading 1-bits of the buffer, at most 63 (enough for the fast paths, and cheaper to count).
int leadingOnes(const BitReader& bits) { return std::countl_zero(~bits.buffer | 1); }

// Reads ahead when fewer than kRefillBelow bits are left; false where the input ends too soon for that.
bool keepFilled(BitReader& bits, InputStream& input) {
  if (bits.unread >= kRefillBelow) return true;
  refillBits(bits, input);
  return bits.unread >= kRefillBelow;
}

void decodeUnary(int count, BitReader& reader, InputStream& input, std::int32_t* values) {
  BitReader bits = reader;
  for (int j = 0; j < count; ++j) {
    const int run = keepFilled(bits, input) ? leadingOnes(bits) : kRefillBelow;
    if (run < kRefillBelow - 1) {
      skipBits(bits, run + 1);
      values[j] = unaryValue(static_cast<std::uint64_t>(run));
    } else {
      const SlowWord word = unarySlowly(bits, input);
      bits = word.bits;
      values[j] = word.value;
    }
  }
  reader = bits;
}

void decodeRice(int count, int b, BitReader& reader, InputStream& input, std::int32_t* values) {
  // Runs up to this one have their whole word in the buffer and their value in 32 bits.
  const int fastRun = static_cast<int>(std::min<std::uint64_t>(maxRiceRun(b), kRefillBelow - 1 - b));
  BitReader bits = reader;
  for (int j = 0; j < count; ++j) {
    const int run = keepFilled(bits, input) ? leadingOnes(bits) : kRefillBelow;
    if (run <= fastRun) {
      const auto t = static_cast<std::uint32_t>((bits.buffer << (run + 1)) >> (64 - b));
      skipBits(bits, run + 1 + b);
      values[j] = riceValue(static_cast<std::uint64_t>(run), t, b);
    } else {
      const SlowWord word = riceSlowly(bits, input, b);
      bits = word.bits;
      values[j] = word.value;
    }
  }
  reader = bits;
}

// Symbols 0..2M for the residuals -M..M: all counts 1, or the fixed peak
// around the centre.
void initResidualModel(FrequencyModel& model, int magnitude, bool peaked) {
  const int symbols = 2 * magnitude + 1;
  std::array<std::int32_t, kMaxSymbols> freq;
  freq.fill(1);
  if (peaked) {
    for (std::size_t k = 0; k < format::kPeakCounts.size(); ++k) {
      freq[static_cast<std::size_t>(magnitude - 3) + k] = format::kPeakCounts[k];
    }
  }
  initModel(model, symbols, freq.data(), !peaked);
}

void encodeResidual(int m, const std::int16_t* residual, int magnitude, bool peaked, OutputStream& output) {
  ArithEncoder encoder;
  FrequencyModel model;
  startEncoder(encoder, output);
  initResidualModel(model, magnitude, peaked);
  encodeSymbols(encoder, model, m, magnitude, residual);
  finishEncoder(encoder);
  freeModel(model);
}

void decodeResidual(int m, int magnitude, bool peaked, InputStream& input, std::int16_t* residual) {
  ArithDecoder decoder;
  FrequencyModel model;
  startDecoder(decoder, input);
  initResidualModel(model, magnitude, peaked);
  decodeSymbols(decoder, model, m, magnitude, residual);
  finishDecoder(decoder);  // onto the first byte after the residual code
  freeModel(model);
}

}  // namespace

void encodeBand(const std::int32_t* values, int count, int parameter, BitWriter& writer,
                OutputStream& output) {
  switch (parameter) {
    case format::kBandZero:
      for (int j = 0; j < count; ++j) {
        if (values[j] != 0) codingError();
      }
      return;
    case format::kBandPairs: return encodePairs(values, count, writer, output);
    case format::kBandTernary: return encodeTernary(values, count, writer, output);
    case format::kBandUnary: return encodeUnary(values, count, writer, output);
    default:
      if (parameter < format::kMinBandParameter || parameter > format::kMaxBandParameter) codingError();
      return encodeRice(values, count, parameter, writer, output);
  }
}

void decodeBand(int parameter, int count, BitReader& reader, InputStream& input, std::int32_t* values) {
  switch (parameter) {
    case format::kBandZero:
      for (int j = 0; j < count; ++j) values[j] = 0;
      return;
    case format::kBandPairs: return decodePairs(count, reader, input, values);
    case format::kBandTernary: return decodeTernary(count, reader, input, values);
    case format::kBandUnary: return decodeUnary(count, reader, input, values);
    default:
      if (parameter < format::kMinBandParameter || parameter > format::kMaxBandParameter) {
        damagedFile("a band parameter outside -3..31");
      }
      return decodeRice(count, parameter, reader, input, values);
  }
}

void encodeTransformSegment(const TransformSegment& segment, BitWriter& writer, OutputStream& output) {
  const int m = 1 << segment.s;
  const int bands = m / kBandSize;
  int magnitude = 0;
  int nonZero = 0;
  for (int i = 0; i < m; ++i) {
    magnitude = std::max(magnitude, std::abs(int{segment.residual[i]}));
    nonZero += segment.residual[i] != 0;
  }
  if (magnitude > format::kMaxResidual) codingError();
  const bool peaked = magnitude >= format::kMinPeakedResidual && nonZero > format::peakedModelThreshold(m);
  output.putByte(static_cast<std::uint8_t>(peaked ? magnitude : magnitude | format::kModelAdaptiveBit));
  encodeResidual(m, segment.residual, magnitude, peaked, output);

  // Parameter differences, the highest band's taken against -1.
  const std::int8_t* parameters = segment.bandParameters;
  for (int i = 0; i < bands; ++i) {
    const int next = i + 1 < bands ? parameters[i + 1] : format::kLastBandReference;
    const std::int32_t difference = next - parameters[i];
    encodeBand(&difference, 1, kDifferenceParameter, writer, output);
  }
  for (int i = 0; i < bands; ++i) {
    encodeBand(segment.coefficients + i * kBandSize, kBandSize, parameters[i], writer, output);
  }
  flushBits(writer, output);
}

void decodeTransformSegment(const TransformSegment& segment, BitReader& reader, InputStream& input) {
  const int m = 1 << segment.s;
  const int bands = m / kBandSize;
  const int modelByte = input.getByte();
  if (modelByte < 0) fileEndsEarly("before a model byte");
  const int magnitude = modelByte & format::kModelMagnitudeMask;
  const bool peaked = (modelByte & format::kModelAdaptiveBit) == 0;
  if (magnitude > format::kMaxResidual) damagedFile("a model byte states residuals above 31");
  if (peaked && magnitude < format::kMinPeakedResidual) damagedFile("a fixed peaked residual model with M below 3");
  decodeResidual(m, magnitude, peaked, input, segment.residual);

  std::array<std::int32_t, format::kMaxBlockLength / kBandSize> differences;
  if (bands > static_cast<int>(differences.size())) damagedFile("a transform segment is longer than 4096 samples");
  decodeBand(kDifferenceParameter, bands, reader, input, differences.data());
  // Differences are undone in 8-bit arithmetic, from the highest band down.
  std::uint8_t parameter = static_cast<std::uint8_t>(format::kLastBandReference);
  for (int i = bands - 1; i >= 0; --i) {
    parameter = static_cast<std::uint8_t>(parameter - static_cast<std::uint32_t>(differences[i]));
    const auto value = static_cast<std::int8_t>(parameter);
    if (value < format::kMinBandParameter || value > format::kMaxBandParameter) {
      damagedFile("a band parameter outside -3..31");
    }
    segment.bandParameters[i] = value;
  }
  for (int i = 0; i < bands; ++i) {
    decodeBand(segment.bandParameters[i], kBandSize, reader, input, segment.coefficients + i * kBandSize);
  }
  resetBits(reader, input);
}

}  // namespace qola
