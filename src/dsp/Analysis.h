// How one run of 2^s samples would be coded, and an estimate of its bits.
#pragma once

#include <cstdint>

#include "dsp/RebuildArithmetic.h"

#include "dsp/RateChoice.h"

namespace qola {

enum class SegmentType : std::int8_t { Zero = 0, Constant = 1, Transform = 2 };

// Sizes in bits of the zero and constant segment records.
inline constexpr std::int32_t kZeroSegmentCost = 8;
inline constexpr std::int32_t kConstantSegmentCost = 24;

// Classifies samples[0 .. 2^s - 1] and returns its estimated cost in bits.
// 5 <= s <= 12: at least one band; the file's segments are never shorter
// than 2^7. A Transform run leaves 2^s quantised coefficients and 2^s/32
// band parameters in the two arrays; Zero and Constant runs leave them alone.
std::int32_t analyseBlock(int s, const std::int16_t* samples, std::int32_t* coefficients,
                          std::int8_t* bandParameters, SegmentType& type);
// The same with the tuned choices (the reference analysis when none is on).
std::int32_t analyseBlock(int s, const std::int16_t* samples, std::int32_t* coefficients,
                          std::int8_t* bandParameters, SegmentType& type, const AnalysisTuning& tuning);

// Coding parameter (-3 .. 31) of one band and its cost.
std::int32_t chooseBandParameter(const std::int32_t* values, int count, int& parameter);

// Bits of the band codes. Costs are 32-bit: a loud band costs far more than
// 16 bits can hold, and a wrapped cost would steer the choices wrongly.
std::int32_t riceCost(const std::int32_t* values, int count, int k);
std::int32_t riceCostPositiveFirst(const std::int32_t* values, int count, int k);
std::int32_t ternaryCost(const std::int32_t* values, int count);
std::int32_t pairCost(const std::int32_t* values, int count);

bool isAllZero(const std::int16_t* samples, int count);
// The common value when all samples are equal, else 0.
std::int16_t constantValue(const std::int16_t* samples, int count);

}  // namespace qola
