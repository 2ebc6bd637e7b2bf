// The coding choices of one job, as the codec sees them.
#pragma once

#include <bit>

#include "common/FormatConstants.h"

namespace qola {

enum class Mode { Compress, Decompress };
enum class Adaptation { None = 1, Medium = 2, Full = 3 };
// How the encoder makes the choices the file format leaves to it. Every mode
// writes files that every reader restores.
//   Reference: every choice by the analysis' bit estimates alone, the lag
//              carried only where the estimate put a transform segment;
//              the conformance vectors hold its bytes.
//   Default:   the reference choices plus those that cost no time, such as
//              keeping joint stereo for blocks whose channels are identical.
//   Best:      codes candidates and keeps the smallest; several times slower.
//   Fast:      Default without block splitting (adaptation None).
enum class EncoderMode { Reference, Default, Best, Fast };

// Defaults are the dialog's initial settings; library users start from the
// command line's defaults instead (qola_default_settings).
struct CodecSettings {
  Mode mode = Mode::Compress;
  int channelCount = 2;      // 1 (mono) or 2 (stereo)
  int sampleBits = 16;       // 8 or 16
  int blockLengthIndex = 5;  // block length N = 2^(index + 7): 128 .. 4096
  Adaptation adaptation = Adaptation::Full;
  bool wavEvaluation = false;
  bool jointStereo = false;
  bool swapBytes = false;
  bool swapBytesFromTrailer = false;  // restore: the trailer's byte order, not swapBytes
  int threads = 0;  // 0: the cores available
  EncoderMode encoderMode = EncoderMode::Default;
  bool trailer = true;  // write the trailer; restore: read it (off: stop at the sample count)
  bool index = true;    // the trailer holds the block index
  bool requireChecksum = false;  // restore: fail unless the stored checksum confirmed every byte
};

inline constexpr int kMaxBlockLengthIndex = 5;  // 4096 samples
inline int blockLength(const CodecSettings& settings) { return 1 << (settings.blockLengthIndex + 7); }
// The block length index of a block length of 128 .. 4096 samples; -1 for any other length.
inline int blockLengthIndexOf(int length) {
  const int index = format::lengthExponent(length) - format::kBlockIndexBase;
  return std::has_single_bit(static_cast<unsigned>(length)) && index >= 0 && index <= kMaxBlockLengthIndex ? index
                                                                                                         : -1;
}

}  // namespace qola
