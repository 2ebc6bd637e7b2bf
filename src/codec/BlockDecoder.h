// The decoding of one block in two steps, so that the decompression job's
// threads can share it: the job's thread parses the block's segment records
// in file order (where a segment ends is known only once its payload is
// decoded), and any thread then rebuilds the samples and formats them as the
// output's bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "common/FormatConstants.h"
#include "common/Stream.h"
#include "entropy/BitPacker.h"

namespace qola {

// The file's shape that every block is decoded with.
struct BlockLayout {
  int N = 0;
  int channels = 1;
  bool adaptive = false;
  bool jointStereo = false;  // lagged segments carry a lag byte
  bool eightBit = false;
  bool swapBytes = false;
  int finalFrames = 0;  // frames of the final partial block, 0 when there is none
};

// One segment record as parsed: where it lies and what fills it.
struct ParsedSegment {
  format::SegmentKind kind = format::SegmentKind::Zero;  // lagged ones as Transform
  int s = format::kMinSegmentExponent;
  int channel = 0;
  int start = 0;           // first sample within the channel
  std::int16_t value = 0;  // of a constant segment
};

// One block between parsing and writing. Channel c's values lie at c * N.
struct DecodedBlock {
  std::vector<ParsedSegment> segments;  // in file order
  std::vector<std::int32_t> coefficients;         // coefficients of the transform segments
  std::vector<std::int16_t> residuals;        // their residuals
  std::vector<std::int16_t> samples;        // the rebuilt samples
  int frames = 0;                       // frames to write: after a damaged segment, those placed before it
  int length = 0;                       // stereo: the length the second channel is rebuilt over
  bool lagged = false;                  // the second channel is a difference signal
  int lag = 0;
  std::vector<std::uint8_t> bytes;  // the block as the output's bytes
};

// The parsing thread's state and scratch.
struct SegmentParser {
  explicit SegmentParser(const BlockLayout& layout);

  BlockLayout layout;
  BitReader reader;
  std::vector<std::int8_t> bandParameters;
  // A segment that overruns its block is decoded here, so that the payload's
  // own checks still come before the overrun is refused.
  std::vector<std::int32_t> spareCoefficients;
  std::vector<std::int16_t> spareResiduals;
};

// Working memory of one rebuilding thread.
struct BlockRebuilder {
  explicit BlockRebuilder(const BlockLayout& layout);

  BlockLayout layout;
  std::vector<double> transform;
  std::vector<std::int16_t> secondChannel;      // the second channel rebuilt from a difference
  std::vector<std::uint8_t> pcmBytes;  // interleaving scratch of the PCM writers
  std::vector<std::uint8_t> eightBitBytes;
};

// The block's buffers, for N samples per channel.
void allocateBlock(const BlockLayout& layout, DecodedBlock& block);

// Parses the segment records of the block that starts with remainingFrames
// frames left to restore. A damaged file ends the job at the segment where
// it shows, after block.segments and block.frames name what was placed.
void parseBlock(SegmentParser& parser, std::int64_t remainingFrames, InputStream& input, DecodedBlock& block);

// Rebuilds the parsed segments' samples: the first channel at block.samples, the
// second (stereo) at the returned address, in block.samples or the rebuilder's
// scratch, valid until the rebuilder's next block.
const std::int16_t* rebuildSamples(BlockRebuilder& rebuilder, DecodedBlock& block);

// Rebuilds the parsed segments and fills block.bytes with block.frames frames.
void rebuildBlock(BlockRebuilder& rebuilder, DecodedBlock& block);

}  // namespace qola
