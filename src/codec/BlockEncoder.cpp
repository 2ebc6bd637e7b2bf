#include "codec/BlockEncoder.h"

#include <algorithm>
#include <array>
#include <limits>

#include "codec/FileRecords.h"
#include "codec/LagCarrier.h"
#include "codec/Residual.h"
#include "common/Fatal.h"
#include "common/FormatConstants.h"
#include "common/Stream.h"
#include "dsp/Analysis.h"
#include "dsp/Segmentation.h"
#include "dsp/StereoDecision.h"
#include "entropy/BlockCoding.h"

namespace qola {
namespace {

bool hasTransformSegment(const SegmentList& list) {
  return std::any_of(list.types.begin(), list.types.begin() + list.count,
                     [](SegmentType type) { return type == SegmentType::Transform; });
}

// Codes one transform segment of 2^s samples; the Best encoder's searches
// choose how.
void writeTransform(BlockEncoder& coder, int s, const std::int16_t* source, std::int32_t* coefficients,
                    std::int8_t* bandParameters, int lag, OutputStream& output) {
  if (coder.trials == nullptr) {
    codableResidual(s, source, coefficients, bandParameters, coder.transform.data(), coder.residual.data());
    writeSegmentHeader(output, transformHeader(s, lag));
    encodeTransformSegment({s, coder.residual.data(), coefficients, bandParameters}, coder.writer, output);
    return;
  }
  smallestTransformRecord(*coder.trials, coder.choices.best, s, source, coefficients, bandParameters, lag);
  output.write(coder.trials->bytes.data(), coder.trials->bytes.size());
}

// Writes the segments of one channel pass in time order.
void writePass(BlockEncoder& coder, const SegmentList& list, const std::int16_t* source, std::int32_t* coefficients,
               std::int8_t* bandParameters, int lag, OutputStream& output) {
  int p = 0;
  for (int i = 0; i < list.count; ++i) {
    const int s = list.exponents[static_cast<std::size_t>(i)];
    switch (list.types[static_cast<std::size_t>(i)]) {
      case SegmentType::Zero:
        writeZeroSegment(output, s);
        break;
      case SegmentType::Constant:
        writeConstantSegment(output, s, source[p]);
        break;
      case SegmentType::Transform:
        writeTransform(coder, s, source + p, coefficients + p, bandParameters + p / format::kBandSize, lag, output);
        break;
    }
    p += 1 << s;
  }
}

// Codes a pass into memory: the bytes it would add to the file.
std::vector<std::uint8_t> codedPass(BlockEncoder& coder, const SegmentList& list, const std::int16_t* source,
                                    std::int32_t* coefficients, std::int8_t* bandParameters, int lag) {
  std::vector<std::uint8_t> bytes;
  OutputStream memory(bytes);
  writePass(coder, list, source, coefficients, bandParameters, lag, memory);
  return bytes;
}

// Gives a difference signal without transform segments its lag carrier.
// Returns the candidate's cost with the carrier's exact bits, or the cost
// unchanged when there is nothing to carry.
std::int32_t carryLag(BlockEncoder& coder, SegmentList& candidate, std::int32_t cost, int L0, Adaptation level,
                      int lag) {
  if (placeLagCarrier(candidate, minimumSegmentExponent(L0, level), coder.differenceCoefficients.data(),
                      coder.differenceBandParameters.data()) < 0) {
    return cost;
  }
  int p = 0;
  int carrier = 0;
  while (candidate.types[static_cast<std::size_t>(carrier)] != SegmentType::Transform) {
    p += 1 << candidate.exponents[static_cast<std::size_t>(carrier++)];
  }
  std::vector<std::uint8_t>& bytes = coder.carrierBytes;
  bytes.clear();
  {
    OutputStream memory(bytes);
    writeTransform(coder, candidate.exponents[static_cast<std::size_t>(carrier)], coder.difference.data() + p,
                   coder.differenceCoefficients.data() + p,
                   coder.differenceBandParameters.data() + p / format::kBandSize, lag, memory);
  }
  return plainRecordBits(candidate) + 8 * static_cast<std::int32_t>(bytes.size());
}

// Segments one channel into list, coefficients and band parameters; returns
// the cost the joint decision compares (bits: estimated, or coded).
std::int32_t segmentChannel(BlockEncoder& coder, int L0, Adaptation level, const std::int16_t* samples, bool lagged,
                            SegmentList& list, std::int32_t* coefficients, std::int8_t* bandParameters) {
  const AnalysisTuning& tuning = coder.choices.tuning;
  if (!coder.choices.best.splitsByBytes)
    return segmentBlock(L0, level, samples, list, coefficients, bandParameters, tuning);
  return 8 * static_cast<std::int32_t>(segmentBlockByBytes(*coder.trials, L0, level, samples, lagged, list,
                                                           coefficients, bandParameters, tuning));
}

// The rate rounding of the Default and Best encoders: the error's cost as a
// multiple of the residual variance's bits (not bits, as in the byte search).
constexpr double kRateWeightOfVariance = 0.7;
constexpr int kRateMaxParameter = 1;

// An estimate more than 1/kClearWin below the other decides the joint
// candidates of the Best encoder without coding the loser.
constexpr std::int32_t kClearWin = 8;

// The Best encoder weighs this many minima of the lag error curve.
constexpr int kLagCandidates = 3;

// The lag among the error curve's minima whose difference signal the
// estimates find cheapest; the decision's lag (the least error) wins ties.
// Leaves that lag's difference in coder.difference.
int lagByEstimate(BlockEncoder& coder, const std::int16_t* left, const std::int16_t* right, int L0,
                  Adaptation level, int lag) {
  std::array<int, kLagCandidates> lags;
  const int count = lagCandidates(L0, left, right, coder.choices.jointTrial, kLagCandidates, lags.data());
  if (count < 2) return lag;
  SegmentList estimated;
  std::int32_t least =
      segmentBlock(L0, level, coder.difference.data(), estimated, coder.differenceCoefficients.data(),
                   coder.differenceBandParameters.data(), coder.choices.tuning);
  int chosen = lag;
  for (int i = 0; i < count; ++i) {
    if (lags[static_cast<std::size_t>(i)] == lag) continue;
    laggedDifference(L0, left, right, lags[static_cast<std::size_t>(i)], coder.lagTrial.data());
    const std::int32_t cost =
        segmentBlock(L0, level, coder.lagTrial.data(), estimated, coder.differenceCoefficients.data(),
                     coder.differenceBandParameters.data(), coder.choices.tuning);
    if (cost < least) {
      least = cost;
      chosen = lags[static_cast<std::size_t>(i)];
    }
  }
  if (chosen != lag) laggedDifference(L0, left, right, chosen, coder.difference.data());
  return chosen;
}

// Which joint candidates the Best encoder's byte search codes: both when
// their estimates are close, otherwise the clear winner alone.
struct JointSearch {
  bool right = true;
  bool difference = true;
};

JointSearch jointCandidatesToSearch(BlockEncoder& coder, const std::int16_t* right, int L0, Adaptation level,
                                    int lag) {
  JointSearch search;
  if (!coder.choices.best.splitsByBytes) return search;
  SegmentList estimated;
  const std::int32_t costRight = segmentBlock(L0, level, right, estimated, coder.coefficients.data(),
                                              coder.bandParameters.data(), coder.choices.tuning);
  std::int32_t difference =
      segmentBlock(L0, level, coder.difference.data(), estimated, coder.differenceCoefficients.data(),
                   coder.differenceBandParameters.data(), coder.choices.tuning);
  difference = carryLag(coder, estimated, difference, L0, level, lag);
  search.right = difference > costRight - costRight / kClearWin;
  search.difference = difference < costRight + costRight / kClearWin;
  return search;
}

// Codes both candidates in memory and writes the smaller one.
void writeSmallerPass(BlockEncoder& coder, const SegmentList& list, const std::int16_t* right,
                      const SegmentList& candidate, int lag, OutputStream& output) {
  const auto rightBytes =
      codedPass(coder, list, right, coder.coefficients.data(), coder.bandParameters.data(), format::kNoJointStereo);
  const auto differenceBytes =
      codedPass(coder, candidate, coder.difference.data(), coder.differenceCoefficients.data(),
                coder.differenceBandParameters.data(), lag);
  const auto& smaller = differenceBytes.size() < rightBytes.size() ? differenceBytes : rightBytes;
  output.write(smaller.data(), smaller.size());
}

// The second channel of a joint block: the right channel or its lagged
// difference from the left, whichever the mode finds smaller.
void encodeJointPass(BlockEncoder& coder, const std::int16_t* right, int L0, Adaptation level, int lag,
                     OutputStream& output) {
  const BestTechniques& best = coder.choices.best;
  JointSearch search = jointCandidatesToSearch(coder, right, L0, level, lag);
  SegmentList list;
  SegmentList candidate;
  std::int32_t costD = std::numeric_limits<std::int32_t>::max();
  if (search.difference) {
    costD = segmentChannel(coder, L0, level, coder.difference.data(), true, candidate,
                           coder.differenceCoefficients.data(), coder.differenceBandParameters.data());
    if (coder.choices.mode != EncoderMode::Reference) costD = carryLag(coder, candidate, costD, L0, level, lag);
  }
  // The difference can be stored only with a transform segment to carry its lag.
  const bool storable = hasTransformSegment(candidate);
  if (!storable) search.right = true;
  const std::int32_t costR = search.right ? segmentChannel(coder, L0, level, right, false, list,
                                                           coder.coefficients.data(), coder.bandParameters.data())
                                          : std::numeric_limits<std::int32_t>::max();
  if (best.jointByBytes && !best.splitsByBytes && storable) {
    writeSmallerPass(coder, list, right, candidate, lag, output);
    return;
  }
  // Coded sizes need no margin against the estimates' errors.
  const std::int32_t margin = best.splitsByBytes ? 0 : format::kJointStereoMinSaving;
  if (costD < costR - margin && storable) {
    writePass(coder, candidate, coder.difference.data(), coder.differenceCoefficients.data(),
              coder.differenceBandParameters.data(), lag, output);
  } else {
    writePass(coder, list, right, coder.coefficients.data(), coder.bandParameters.data(), format::kNoJointStereo,
              output);
  }
}

}  // namespace

EncoderChoices encoderChoices(EncoderMode mode, const BestTechniques& techniques) {
  EncoderChoices choices;
  choices.mode = mode;
  choices.best = BestTechniques{false, false, false, false, false, false, false, false};
  if (mode == EncoderMode::Reference) return choices;
  if (techniques.rateRounding) {
    // Measured on the corpus: 0.7 of the variance's weight codes smallest,
    // and bands above parameter 1 give a tenth of the gain for most of the time.
    choices.tuning.rateWeight = kRateWeightOfVariance;
    choices.tuning.rateMaxParameter = kRateMaxParameter;
  }
  if (techniques.wideJointTrial) choices.jointTrial = JointTrial::DoubleEnergy;
  if (mode == EncoderMode::Best) {
    choices.best = techniques;
    // The byte search weighs the difference against the right channel anyway.
    if (techniques.everyLagTried) choices.jointTrial = JointTrial::Always;
  }
  return choices;
}

BlockEncoder::BlockEncoder(const EncoderChoices& settings) : choices(settings) {
  const auto N = static_cast<std::size_t>(choices.N);
  allocateBuffer(residual, N, "AWf");
  allocateBuffer(transform, N, "Temp");
  allocateBuffer(coefficients, N, "TK");
  allocateBuffer(bandParameters, N / format::kBandSize, "CB");
  if (choices.joint) {
    allocateBuffer(differenceCoefficients, N, "D_TK");
    allocateBuffer(differenceBandParameters, N / format::kBandSize, "D_CB");
    allocateBuffer(difference, N, "buff");
    if (choices.mode == EncoderMode::Best) allocateBuffer(lagTrial, N, "lagTrial");
  }
  if (choices.mode == EncoderMode::Best) trials = std::make_unique<TrialCoder>(choices.N);
}

void encodeBlock(BlockEncoder& coder, const BlockSamples& block, int transformLength, Adaptation level,
                 std::vector<std::uint8_t>& bytes) {
  OutputStream output(bytes);
  const int L0 = transformLength;
  const std::int16_t* left = block.firstChannel.data();
  SegmentList list;
  segmentChannel(coder, L0, level, left, false, list, coder.coefficients.data(), coder.bandParameters.data());
  writePass(coder, list, left, coder.coefficients.data(), coder.bandParameters.data(), format::kNoJointStereo,
            output);
  if (coder.choices.channels == 1) return;

  const std::int16_t* right = block.secondChannel.data();
  int lag = format::kNoJointStereo;
  if (coder.choices.joint) lag = stereoDecision(L0, left, right, coder.difference.data(), coder.choices.jointTrial);
  if (lag != format::kNoJointStereo && coder.choices.best.lagsByEstimate) {
    lag = lagByEstimate(coder, left, right, L0, level, lag);
  }
  if (lag != format::kNoJointStereo) {
    encodeJointPass(coder, right, L0, level, lag, output);
    return;
  }
  segmentChannel(coder, L0, level, right, false, list, coder.coefficients.data(), coder.bandParameters.data());
  writePass(coder, list, right, coder.coefficients.data(), coder.bandParameters.data(), lag, output);
}

}  // namespace qola
