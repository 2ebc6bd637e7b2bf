// The coding of one block into the bytes of its segment records: the work
// that the compression job's threads share. Blocks are independent (every
// segment starts a fresh coder and model, and the bit writer is empty at
// every segment's end), so coded blocks concatenate to the file.
#pragma once

#include "common/CodecSettings.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/BestSearch.h"
#include "dsp/RateChoice.h"
#include "dsp/StereoDecision.h"
#include "entropy/BitPacker.h"

namespace qola {

// The job's choices every block is coded with.
struct EncoderChoices {
  int N = 0;
  int channels = 1;
  bool joint = false;
  EncoderMode mode = EncoderMode::Default;
  BestTechniques best;  // all off unless the mode is Best
  AnalysisTuning tuning;  // all off in the Reference mode
  JointTrial jointTrial = JointTrial::HalfEnergy;
};

// The choices of an encoder mode with the given techniques (those of the
// Best searches count only in the Best mode); N is left to the caller.
EncoderChoices encoderChoices(EncoderMode mode, const BestTechniques& techniques);

// One block as read: the mono or left channel and, in stereo, the right,
// N samples each.
struct BlockSamples {
  std::vector<std::int16_t> firstChannel;
  std::vector<std::int16_t> secondChannel;
};

// Working memory of one coding thread. A failed allocation names the buffer
// by its short name in the message (AWf, Temp, TK, CB, D_TK, D_CB, buff),
// which the messages have always used.
struct BlockEncoder {
  explicit BlockEncoder(const EncoderChoices& choices);

  EncoderChoices choices;
  std::vector<std::int16_t> residual;                // of the transform segment being coded
  std::vector<double> transform;                     // the rebuild's working vector
  std::vector<std::int32_t> coefficients;            // quantised, of the channel pass
  std::vector<std::int8_t> bandParameters;           // of the channel pass
  std::vector<std::int32_t> differenceCoefficients;  // those of the joint difference signal
  std::vector<std::int8_t> differenceBandParameters;
  std::vector<std::int16_t> difference;  // the joint difference signal
  std::vector<std::int16_t> lagTrial;  // the difference of a lag the Best encoder weighs
  BitWriter writer;
  std::unique_ptr<TrialCoder> trials;      // the Best mode's
  std::vector<std::uint8_t> carrierBytes;  // trial coding of the lag carrier
};

// Appends the block's segment records to bytes: the first channel's, then
// the second's. transformLength and level are the block's (shorter and
// None for the final partial block).
void encodeBlock(BlockEncoder& coder, const BlockSamples& block, int transformLength, Adaptation level,
                 std::vector<std::uint8_t>& bytes);

}  // namespace qola
