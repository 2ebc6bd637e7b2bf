// Choices of the Best encoder, made by the bytes that candidates code to
// rather than by bit estimates.
#pragma once

#include "common/CodecSettings.h"
#include "common/Stream.h"

#include <cstdint>
#include <vector>

#include "dsp/Segmentation.h"
#include "entropy/BitPacker.h"

namespace qola {

// The choices of the Default and Best encoders beyond the reference ones.
// Each can be switched off on its own, so that what it gives can be measured;
// the searches by coded size are the Best encoder's alone.
struct BestTechniques {
  bool rateRounding = true;          // coefficients moved toward zero where the bits saved outweigh the residual's growth
  bool wideJointTrial = true;        // a lag's difference tried whenever its error is below twice the right's energy
  bool splitsByBytes = true;         // segment splits chosen by coded size
  bool jointByBytes = true;          // right channel or difference signal by coded size
  bool roundingByBytes = true;       // coefficients moved toward zero where that codes smaller
  bool exactBandParameters = true;   // band parameters for the fewest bits of their exact code
  bool lagsByEstimate = true;        // the joint lag among the error curve's minima by the difference's estimate
  bool everyLagTried = true;         // a difference signal tried for every right channel that is not silent
};

// Working memory of the trial codings, sized for blocks of up to N samples.
struct TrialCoder {
  explicit TrialCoder(int N);
  std::vector<double> transform;  // the rebuild's working vector
  std::vector<std::int16_t> residual;
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> candidate;
  std::vector<double> spectrum;
  std::vector<std::int32_t> trialCoefficients;
  std::vector<std::int8_t> trialBandParameters;
  BitWriter writer;
  // Per halving depth: the undivided run's coefficients and band parameters,
  // kept while its halves are tried.
  std::vector<std::vector<std::int32_t>> coefficients;
  std::vector<std::vector<std::int8_t>> bandParameters;
};

// Bytes of the transform segment record of samples[0 .. 2^s - 1] with the
// given coefficients (requantised in place where the residual would not be
// codable), with a lag byte when lagged.
std::size_t transformRecordBytes(TrialCoder& coder, int s, const std::int16_t* samples, std::int32_t* coefficients,
                                 std::int8_t* bandParameters, bool lagged);

// Codes the transform segment record of samples[0 .. 2^s - 1] as small as the
// chosen techniques find it, starting from the given coefficients and band
// parameters; leaves the record in coder.bytes and the coefficients and band
// parameters it used in their place.
void smallestTransformRecord(TrialCoder& coder, const BestTechniques& techniques, int s,
                             const std::int16_t* samples, std::int32_t* coefficients, std::int8_t* bandParameters,
                             int lag);

// Segments one channel of a block like segmentBlock, but every run is coded
// and a run is split wherever its two halves, each segmented the same way,
// code to fewer bytes. Returns the bytes of the chosen segments.
std::size_t segmentBlockByBytes(TrialCoder& coder, int N, Adaptation level, const std::int16_t* samples,
                                bool lagged, SegmentList& list, std::int32_t* coefficients,
                                std::int8_t* bandParameters, const AnalysisTuning& tuning);

}  // namespace qola
