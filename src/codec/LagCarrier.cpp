#include "codec/LagCarrier.h"

#include <algorithm>

#include "common/FormatConstants.h"

namespace qola {
namespace {

// The run to host the carrier: the shortest zero run, else the shortest
// constant run (a zero run's carrier codes to fewer bytes); -1 when none.
int hostIndex(const SegmentList& list) {
  int best = -1;
  for (int i = 0; i < list.count; ++i) {
    const SegmentType type = list.types[static_cast<std::size_t>(i)];
    if (type == SegmentType::Transform) return -1;
    if (best < 0) {
      best = i;
      continue;
    }
    const SegmentType bestType = list.types[static_cast<std::size_t>(best)];
    const bool zeroOverConstant = type == SegmentType::Zero && bestType == SegmentType::Constant;
    const bool shorterOfKind = type == bestType && list.exponents[static_cast<std::size_t>(i)] <
                                                       list.exponents[static_cast<std::size_t>(best)];
    if (zeroOverConstant || shorterOfKind) best = i;
  }
  return best;
}

}  // namespace

int minimumSegmentExponent(int N, Adaptation level) {
  const int s0 = format::lengthExponent(N);
  switch (level) {
    case Adaptation::Full: return format::kMinSegmentExponent;
    case Adaptation::Medium: return std::max(s0 - 2, format::kMinSegmentExponent);
    case Adaptation::None: break;
  }
  return s0;
}

int placeLagCarrier(SegmentList& list, int minimumExponent, std::int32_t* coefficients,
                    std::int8_t* bandParameters) {
  const int host = hostIndex(list);
  if (host < 0) return -1;
  int position = 0;
  for (int i = 0; i < host; ++i) position += 1 << list.exponents[static_cast<std::size_t>(i)];
  const int s = list.exponents[static_cast<std::size_t>(host)];
  const SegmentType kind = list.types[static_cast<std::size_t>(host)];
  const int carrierExponent = std::min(minimumExponent, s);
  const int pieces = s - carrierExponent;  // runs after the carrier

  // Open a gap of `pieces` entries after the host; the lengths still add up
  // to the block, so the list never outgrows its N/128 entries.
  SegmentList result;
  result.count = list.count + pieces;
  int out = 0;
  for (int i = 0; i < list.count; ++i) {
    if (i != host) {
      result.exponents[static_cast<std::size_t>(out)] = list.exponents[static_cast<std::size_t>(i)];
      result.types[static_cast<std::size_t>(out++)] = list.types[static_cast<std::size_t>(i)];
      continue;
    }
    result.exponents[static_cast<std::size_t>(out)] = static_cast<std::int8_t>(carrierExponent);
    result.types[static_cast<std::size_t>(out++)] = SegmentType::Transform;
    for (int piece = 0; piece < pieces; ++piece) {
      result.exponents[static_cast<std::size_t>(out)] = static_cast<std::int8_t>(carrierExponent + piece);
      result.types[static_cast<std::size_t>(out++)] = kind;
    }
  }
  list = result;

  const int length = 1 << carrierExponent;
  std::fill_n(coefficients + position, length, 0);
  std::fill_n(bandParameters + position / format::kBandSize, length / format::kBandSize,
              static_cast<std::int8_t>(format::kMinBandParameter));
  return host;
}

std::int32_t plainRecordBits(const SegmentList& list) {
  std::int32_t bits = 0;
  for (int i = 0; i < list.count; ++i) {
    const SegmentType type = list.types[static_cast<std::size_t>(i)];
    if (type == SegmentType::Zero) bits += kZeroSegmentCost;
    if (type == SegmentType::Constant) bits += kConstantSegmentCost;
  }
  return bits;
}

}  // namespace qola
