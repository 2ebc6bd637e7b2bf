// The frequency models that drive both coders: adaptive ones count every
// symbol, static ones keep their counts.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "entropy/Ac.h"

namespace qola {

// Symbol s owns the count range [cumFreq[s+1], cumFreq[s]); cumFreq[0] is the total.
struct FrequencyModel {
  int symbolCount = 0;
  std::vector<std::int32_t> counts;
  std::vector<std::int32_t> cumFreq;
  bool adaptive = false;
  // A model that never adapts and has a small total is decoded through a
  // table of its count values instead of a search.
  static constexpr int kLookupLimit = 2048;
  static constexpr int kLookupSymbols = 256;
  bool hasLookup = false;
};

// initialFreq: n counts, each at least 1, or nullptr for all counts 1.
void initModel(FrequencyModel& model, int n, const std::int32_t* initialFreq, bool adaptive);
void freeModel(FrequencyModel& model);

namespace ac {

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

// A static model's cumulative counts times its total's reciprocal, for both
// coders: (range * scaled[k]) >> shift is range * cumFreq[k] / total.
using ScaledCounts = std::array<std::uint64_t, FrequencyModel::kLookupSymbols + 1>;

inline ScaledCounts scaledCounts(const FrequencyModel& model, const Reciprocal& perTotal) {
  ScaledCounts scaled;
  for (int k = 0; k <= model.symbolCount; ++k) {
    scaled[static_cast<std::size_t>(k)] = static_cast<std::uint64_t>(model.cumFreq[k]) * perTotal.multiplier;
  }
  return scaled;
}

}  // namespace ac
}  // namespace qola
