#include "codec/BestSearch.h"

#include <algorithm>
#include <cmath>

#include "codec/FileRecords.h"
#include "codec/LagCarrier.h"
#include "codec/Residual.h"
#include "common/FormatConstants.h"
#include "dsp/Analysis.h"
#include "dsp/Dct.h"
#include "dsp/RateChoice.h"
#include "entropy/BlockCoding.h"

namespace qola {
namespace {

constexpr std::size_t kZeroRecordBytes = 1;
constexpr std::size_t kConstantRecordBytes = 3;
// Residual bits that one unit of squared quotient error is taken to cost when
// coefficients are moved toward zero. The rebuild's error spreads over the
// segment's samples, and the residual code of samples with variance v grows
// by about 1/(2 v ln 2) bits per unit of added squared error; with v near 1.4
// and the quantiser step of 4 that is about 8 per unit of quotient error, and
// the corpus favours less (4 codes smallest of 2, 3, 4, 5, 8 and 12).
constexpr double kErrorBitsPerUnit = 4.0;
// A split is coded and measured when its estimate misses by less than
// 1/kSplitDoubt of the undivided run's estimate.
constexpr std::int32_t kSplitDoubt = 32;

// Record of the segment with the given coefficients, in coder.candidate.
// With exactParameters the band parameters are chosen for the fewest bits of
// their code; the split search leaves that to the segments it keeps.
void codeRecord(TrialCoder& coder, int s, const std::int16_t* samples, std::int32_t* coefficients,
                std::int8_t* bandParameters, int lag, bool exactParameters = false) {
  codableResidual(s, samples, coefficients, bandParameters, coder.transform.data(), coder.residual.data());
  if (exactParameters) chooseBandParametersExactly(coefficients, (1 << s) / format::kBandSize, bandParameters);
  coder.candidate.clear();
  OutputStream memory(coder.candidate);
  writeSegmentHeader(memory, transformHeader(s, lag));
  encodeTransformSegment({s, coder.residual.data(), coefficients, bandParameters}, coder.writer, memory);
}

// Bits of one band code word for value v under the band parameter; -2 and
// -3 bands are costed as -1 (their values are moved only within -1..1).
int codeWordBits(std::int32_t v, int parameter) {
  if (parameter < 0) return v == 0 ? 1 : 2;
  if (parameter == 0) return (v >= 0 ? 2 * v : -2 * v - 1) + 1;
  const std::int32_t magnitude = v >= 0 ? v : -v - 1;
  return (magnitude >> (parameter - 1)) + 1 + parameter;
}

// Moves each coefficient one step toward zero where the code bits it saves
// outweigh the residual bits its larger error is expected to cost (lambda
// bits per unit of squared quotient error), then chooses the band parameters
// anew. The arrays hold the analysis's coefficients and parameters on entry.
void roundByRate(int s, const double* spectrum, double lambda, std::int32_t* coefficients,
                 std::int8_t* bandParameters) {
  const int L = 1 << s;
  const double step = quantiserStep(s);
  for (int i = 0; i < L; ++i) {
    const std::int32_t q = coefficients[i];
    if (q == 0) continue;
    const std::int32_t toward = q > 0 ? q - 1 : q + 1;
    const double x = spectrum[i] / step;
    const int parameter = bandParameters[i / format::kBandSize];
    const double saved = codeWordBits(q, parameter) - codeWordBits(toward, parameter);
    const double added = (x - toward) * (x - toward) - (x - q) * (x - q);
    if (saved > lambda * added) coefficients[i] = toward;
  }
  for (int band = 0; band < L / format::kBandSize; ++band) {
    int parameter = 0;
    chooseBandParameter(coefficients + band * format::kBandSize, format::kBandSize, parameter);
    bandParameters[band] = static_cast<std::int8_t>(parameter);
  }
}

struct Search {
  TrialCoder& coder;
  const std::int16_t* samples;
  std::int32_t* coefficients;
  std::int8_t* bandParameters;
  bool lagged;
  int minimumExponent;
  SegmentList& list;
  const AnalysisTuning& tuning;
};

void append(SegmentList& list, int s, SegmentType type) {
  list.exponents[static_cast<std::size_t>(list.count)] = static_cast<std::int8_t>(s);
  list.types[static_cast<std::size_t>(list.count++)] = type;
}

// The run of 2^s samples at position p, analysed in place (type and cost
// estimate known), coded as one segment or split into two halves searched
// the same way, whichever codes to fewer bytes. Halves are coded only where
// the estimates leave the split in doubt: they favour it, or miss by little,
// or a half is silent or constant (the estimates leave out the residual
// code, which such a half saves in full).
std::size_t searchRun(Search& search, int s, int p, SegmentType type, std::int32_t cost, int depth) {
  if (type != SegmentType::Transform) {
    append(search.list, s, type);
    return type == SegmentType::Zero ? kZeroRecordBytes : kConstantRecordBytes;
  }
  const std::int16_t* samples = search.samples + p;
  std::int32_t* coefficients = search.coefficients + p;
  std::int8_t* bandParameters = search.bandParameters + p / format::kBandSize;
  const std::size_t whole =
      transformRecordBytes(search.coder, s, samples, coefficients, bandParameters, search.lagged);
  if (s <= search.minimumExponent) {
    append(search.list, s, SegmentType::Transform);
    return whole;
  }
  const int L = 1 << s;
  const int half = L / 2;
  auto& keptCoefficients = search.coder.coefficients[static_cast<std::size_t>(depth)];
  auto& keptBandParameters = search.coder.bandParameters[static_cast<std::size_t>(depth)];
  std::copy_n(coefficients, L, keptCoefficients.begin());
  std::copy_n(bandParameters, L / format::kBandSize, keptBandParameters.begin());
  SegmentType type1 = SegmentType::Zero;
  SegmentType type2 = SegmentType::Zero;
  const std::int32_t cost1 = analyseBlock(s - 1, samples, coefficients, bandParameters, type1, search.tuning);
  const std::int32_t cost2 = analyseBlock(s - 1, samples + half, coefficients + half,
                                          bandParameters + half / format::kBandSize, type2, search.tuning);
  const bool inDoubt = cost1 + cost2 < cost + cost / kSplitDoubt || type1 != SegmentType::Transform ||
                       type2 != SegmentType::Transform;
  if (inDoubt) {
    const SegmentList before = search.list;
    const std::size_t split = searchRun(search, s - 1, p, type1, cost1, depth + 1) +
                              searchRun(search, s - 1, p + half, type2, cost2, depth + 1);
    if (split < whole) return split;
    search.list = before;
  }
  std::copy_n(keptCoefficients.begin(), L, coefficients);
  std::copy_n(keptBandParameters.begin(), L / format::kBandSize, bandParameters);
  append(search.list, s, SegmentType::Transform);
  return whole;
}

}  // namespace

TrialCoder::TrialCoder(int N)
    : transform(static_cast<std::size_t>(N)),
      residual(static_cast<std::size_t>(N)),
      spectrum(static_cast<std::size_t>(N)),
      trialCoefficients(static_cast<std::size_t>(N)),
      trialBandParameters(static_cast<std::size_t>(N) / format::kBandSize),
      coefficients(format::kMaxTransformExponent + 1, std::vector<std::int32_t>(static_cast<std::size_t>(N))),
      bandParameters(format::kMaxTransformExponent + 1,
                     std::vector<std::int8_t>(static_cast<std::size_t>(N) / format::kBandSize)) {}

std::size_t transformRecordBytes(TrialCoder& coder, int s, const std::int16_t* samples, std::int32_t* coefficients,
                                 std::int8_t* bandParameters, bool lagged) {
  // The lag's value does not change the size, only its presence.
  codeRecord(coder, s, samples, coefficients, bandParameters, lagged ? 0 : format::kNoJointStereo);
  return coder.candidate.size();
}

void smallestTransformRecord(TrialCoder& coder, const BestTechniques& techniques, int s,
                             const std::int16_t* samples, std::int32_t* coefficients, std::int8_t* bandParameters,
                             int lag) {
  const bool exact = techniques.exactBandParameters;
  codeRecord(coder, s, samples, coefficients, bandParameters, lag, exact);
  coder.bytes.swap(coder.candidate);
  if (!techniques.roundingByBytes) return;
  const int L = 1 << s;
  std::copy_n(samples, L, coder.spectrum.begin());
  forwardDct(coder.spectrum.data(), s);
  std::copy_n(coefficients, L, coder.trialCoefficients.begin());
  std::copy_n(bandParameters, L / format::kBandSize, coder.trialBandParameters.begin());
  roundByRate(s, coder.spectrum.data(), kErrorBitsPerUnit, coder.trialCoefficients.data(),
              coder.trialBandParameters.data());
  codeRecord(coder, s, samples, coder.trialCoefficients.data(), coder.trialBandParameters.data(), lag, exact);
  if (coder.candidate.size() < coder.bytes.size()) {
    coder.bytes.swap(coder.candidate);
    std::copy_n(coder.trialCoefficients.begin(), L, coefficients);
    std::copy_n(coder.trialBandParameters.begin(), L / format::kBandSize, bandParameters);
  }
}

std::size_t segmentBlockByBytes(TrialCoder& coder, int N, Adaptation level, const std::int16_t* samples,
                                bool lagged, SegmentList& list, std::int32_t* coefficients,
                                std::int8_t* bandParameters, const AnalysisTuning& tuning) {
  const int s0 = format::lengthExponent(N);
  list.count = 0;
  Search search{coder, samples, coefficients, bandParameters, lagged, minimumSegmentExponent(N, level),
                list,  tuning};
  SegmentType type = SegmentType::Zero;
  const std::int32_t cost = analyseBlock(s0, samples, coefficients, bandParameters, type, tuning);
  return searchRun(search, s0, 0, type, cost, 0);
}

}  // namespace qola
