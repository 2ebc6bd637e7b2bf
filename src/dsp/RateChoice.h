// Coefficient and band-parameter choices of a transform run beyond the plain
// rounding and band rule, made for the smallest coded size: the run's bits
// are its coefficient code plus its residual code, and the residual grows
// with the quantisation error the coefficients leave.
#pragma once

#include <cstdint>

#include "common/FormatConstants.h"

namespace qola {

// What the analysis may choose beyond the reference rules. All off is the
// reference analysis. Every choice is exact (integers, or doubles in a fixed
// order of operations), so it gives the same bytes on every processor path
// and thread count.
struct AnalysisTuning {
  // Residual bits that one unit of added squared quotient error is taken to
  // cost, as a multiple of what plain rounding's residual variance gives; a
  // coefficient is moved one step toward zero where its code saves more.
  // 0: plain rounding.
  double rateWeight = 0.0;
  // Only bands up to this parameter are looked at: in bands of larger values
  // a step toward zero seldom shortens a code word.
  int rateMaxParameter = format::kMaxBandParameter;
};

// Moves each quantised coefficient one step toward zero where the bits its
// code word saves under its band's parameter outweigh the residual bits its
// larger error costs. quotients are the 2^s coefficients divided by the
// quantiser step, coefficients their rounding. Marks each band that changed
// in changedBands (one entry per band of 32) and returns how many did.
int moveTowardZero(int s, const double* quotients, const AnalysisTuning& tuning, std::int32_t* coefficients,
                   const std::int8_t* bandParameters, bool* changedBands);

// Chooses the band parameters of bands coefficients (32 values each) for the
// fewest bits of their exact code: each band's code words plus the
// parameter differences between neighbouring bands, found by a shortest path
// over each band's few cheapest parameters. bandParameters holds the
// analysis's choice on entry, the chosen parameters on return. Returns the
// bits of the band and difference codes.
std::int64_t chooseBandParametersExactly(const std::int32_t* coefficients, int bands, std::int8_t* bandParameters);

}  // namespace qola
