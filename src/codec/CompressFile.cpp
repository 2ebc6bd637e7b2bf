// The compression job: PCM in, compressed file out, block by block.
#include "codec/Jobs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "codec/BestSearch.h"
#include "codec/CompressFile.h"
#include "codec/FileFormat.h"
#include "codec/LagCarrier.h"
#include "codec/Report.h"
#include "codec/SegmentRebuild.h"
#include "common/Fatal.h"
#include "common/Format.h"
#include "dsp/Analysis.h"
#include "dsp/Segmentation.h"
#include "dsp/StereoDecision.h"
#include "entropy/BitPacker.h"
#include "entropy/BlockCoding.h"
#include "pcm/PcmIo.h"

namespace qola {
namespace {

// Block-sized buffers of one job, named as in their allocation messages.
struct CompressionBuffers {
  std::vector<std::int16_t> AWi, AWf;
  std::vector<double> Temp;
  std::vector<std::int32_t> TK;
  std::vector<std::int8_t> CB;
  std::vector<std::int32_t> D_TK;
  std::vector<std::int8_t> D_CB;
  std::vector<std::int16_t> AW2;
  std::vector<std::int16_t> buff;  // PCM byte scratch, then the joint difference signal
  std::vector<std::uint8_t> AWb;
};

struct CompressionJob {
  PcmLayout layout;
  int N = 0;
  Adaptation level = Adaptation::None;
  bool joint = false;
  CompressionBuffers buffers;
  BitWriter writer;
  std::int64_t done = 0;
  std::int64_t workTotal = 0;  // passes * n, in 64 bits: long stereo files exceed 2^31
  EncoderMode mode = EncoderMode::Default;
  BestTechniques best;  // all off unless the mode is Best
  std::unique_ptr<TrialCoder> trials;
  std::vector<std::uint8_t> carrierBytes;  // trial coding of the lag carrier
};

void allocateBuffers(CompressionJob& job) {
  const std::size_t N = static_cast<std::size_t>(job.N);
  CompressionBuffers& b = job.buffers;
  allocateBuffer(b.AWi, N, "AWi");
  allocateBuffer(b.AWf, N, "AWf");
  allocateBuffer(b.Temp, N, "Temp");
  allocateBuffer(b.TK, N, "TK");
  allocateBuffer(b.CB, N / format::kBandSize, "CB");
  if (job.joint) {
    allocateBuffer(b.D_TK, N, "D_TK");
    allocateBuffer(b.D_CB, N / format::kBandSize, "D_CB");
  }
  if (job.layout.channels == 2) allocateBuffer(b.AW2, N, "AW2");
  // Stereo needs 4N bytes of PCM scratch; mono 16-bit reads through the same buffer.
  if (job.layout.channels == 2 || !job.layout.eightBit) allocateBuffer(b.buff, 2 * N, "buff");
  if (job.layout.eightBit) {
    allocateBuffer(b.AWb, N * static_cast<std::size_t>(job.layout.channels), "AWb");
  }
}

void copyWavHeader(InputStream& input, OutputStream& output, int headerLength) {
  std::vector<std::uint8_t> bcpy;
  allocateBuffer(bcpy, static_cast<std::size_t>(headerLength), "bcpy");
  input.read(bcpy.data(), bcpy.size());
  writeHeaderCopy(output, bcpy.data(), headerLength);
}

// The frame count was measured at the start; an input that now ends early
// changed under the job, and coding stale samples would be silent corruption.
void readBlock(CompressionJob& job, int frames, InputStream& input) {
  CompressionBuffers& b = job.buffers;
  auto* scratch = reinterpret_cast<std::uint8_t*>(b.buff.data());
  bool complete = false;
  if (job.layout.channels == 1) {
    complete = job.layout.eightBit ? ReadMono8(b.AWi.data(), frames, b.AWb.data(), input)
                                   : ReadMono16(b.AWi.data(), frames, job.layout.swapBytes, scratch, input);
  } else if (job.layout.eightBit) {
    complete = ReadStereo8(b.AWi.data(), b.AW2.data(), frames, b.AWb.data(), input);
  } else {
    complete = ReadStereo16(b.AWi.data(), b.AW2.data(), frames, job.layout.swapBytes, scratch, input);
  }
  if (!complete) fatalError("The input ended early: it was changed or could not be read while compressing", 1);
}

bool hasTransformSegment(const SegmentList& list) {
  return std::any_of(list.types.begin(), list.types.begin() + list.count,
                     [](SegmentType type) { return type == SegmentType::Transform; });
}

// Codes one transform segment of 2^s samples; the Best encoder's searches
// choose how.
void writeTransform(CompressionJob& job, int s, const std::int16_t* source, std::int32_t* TK,
                    std::int8_t* CB, int lag, OutputStream& output) {
  CompressionBuffers& b = job.buffers;
  if (job.trials == nullptr) {
    codableResidual(s, source, TK, CB, b.Temp.data(), b.AWf.data());
    writeSegmentHeader(output, transformHeader(s, lag));
    encodeTransformSegment({s, b.AWf.data(), TK, CB}, job.writer, output);
    return;
  }
  smallestTransformRecord(*job.trials, job.best, s, source, TK, CB, lag);
  output.write(job.trials->bytes.data(), job.trials->bytes.size());
}

// Writes the segments of one channel pass in time order; with a sink, the
// progress follows every segment.
void writePass(CompressionJob& job, const SegmentList& list, const std::int16_t* source, std::int32_t* TK,
               std::int8_t* CB, int frames, int lag, ProgressSink* sink, OutputStream& output) {
  int p = 0;
  for (int i = 0; i < list.count; ++i) {
    const int s = list.exponents[static_cast<std::size_t>(i)];
    const int L = 1 << s;
    if (sink != nullptr) {
      job.done += std::min(frames, L);
      sink->setProgress(static_cast<int>(static_cast<double>(job.done) * 100.0 /
                                         static_cast<double>(job.workTotal)));
    }
    switch (list.types[static_cast<std::size_t>(i)]) {
      case SegmentType::Zero:
        writeZeroSegment(output, s);
        break;
      case SegmentType::Constant:
        writeConstantSegment(output, s, source[p]);
        break;
      case SegmentType::Transform:
        writeTransform(job, s, source + p, TK + p, CB + p / format::kBandSize, lag, output);
        break;
    }
    p += L;
  }
}

// Codes a pass into memory: the bytes it would add to the file.
std::vector<std::uint8_t> codedPass(CompressionJob& job, const SegmentList& list, const std::int16_t* source,
                                    std::int32_t* TK, std::int8_t* CB, int frames, int lag) {
  std::vector<std::uint8_t> bytes;
  OutputStream memory(bytes);
  writePass(job, list, source, TK, CB, frames, lag, nullptr, memory);
  return bytes;
}

// Gives a difference signal without transform segments its lag carrier.
// Returns the candidate's cost with the carrier's exact bits, or the cost
// unchanged when there is nothing to carry.
std::int32_t carryLag(CompressionJob& job, SegmentList& candidate, std::int32_t cost, int L0,
                      Adaptation level, int lag) {
  CompressionBuffers& b = job.buffers;
  if (placeLagCarrier(candidate, minimumSegmentExponent(L0, level), b.D_TK.data(), b.D_CB.data()) < 0) {
    return cost;
  }
  int p = 0;
  int carrier = 0;
  while (candidate.types[static_cast<std::size_t>(carrier)] != SegmentType::Transform) {
    p += 1 << candidate.exponents[static_cast<std::size_t>(carrier++)];
  }
  std::vector<std::uint8_t>& bytes = job.carrierBytes;
  bytes.clear();
  {
    OutputStream memory(bytes);
    writeTransform(job, candidate.exponents[static_cast<std::size_t>(carrier)], b.buff.data() + p,
                   b.D_TK.data() + p, b.D_CB.data() + p / format::kBandSize, lag, memory);
  }
  return plainRecordBits(candidate) + 8 * static_cast<std::int32_t>(bytes.size());
}

// Segments one channel into list, coefficients and band parameters; returns
// the cost the joint decision compares (bits: estimated, or coded).
std::int32_t segmentChannel(CompressionJob& job, int L0, Adaptation level, const std::int16_t* samples,
                            bool lagged, SegmentList& list, std::int32_t* TK, std::int8_t* CB) {
  if (!job.best.splitsByBytes) return segmentBlock(L0, level, samples, list, TK, CB);
  return 8 * static_cast<std::int32_t>(
                 segmentBlockByBytes(*job.trials, L0, level, samples, lagged, list, TK, CB));
}

// An estimate more than 1/kClearWin below the other decides the joint
// candidates of the Best encoder without coding the loser.
constexpr std::int32_t kClearWin = 8;

void compressBlock(CompressionJob& job, int transformLength, Adaptation level, int frames,
                   ProgressSink& sink, OutputStream& output) {
  CompressionBuffers& b = job.buffers;
  const int L0 = transformLength;
  SegmentList list;
  segmentChannel(job, L0, level, b.AWi.data(), false, list, b.TK.data(), b.CB.data());
  writePass(job, list, b.AWi.data(), b.TK.data(), b.CB.data(), frames, format::kNoJointStereo, &sink, output);
  if (job.layout.channels == 1) return;

  int lag = format::kNoJointStereo;
  if (job.joint) lag = stereoDecision(L0, b.AWi.data(), b.AW2.data(), b.buff.data());
  if (lag == format::kNoJointStereo) {
    segmentChannel(job, L0, level, b.AW2.data(), false, list, b.TK.data(), b.CB.data());
    writePass(job, list, b.AW2.data(), b.TK.data(), b.CB.data(), frames, lag, &sink, output);
    return;
  }
  // The byte search runs on both candidates only when their estimates are
  // close; otherwise on the clear winner alone.
  bool searchRight = true;
  bool searchDifference = true;
  if (job.best.splitsByBytes) {
    SegmentList estimated;
    const std::int32_t right = segmentBlock(L0, level, b.AW2.data(), estimated, b.TK.data(), b.CB.data());
    std::int32_t difference = segmentBlock(L0, level, b.buff.data(), estimated, b.D_TK.data(), b.D_CB.data());
    difference = carryLag(job, estimated, difference, L0, level, lag);
    searchRight = difference > right - right / kClearWin;
    searchDifference = difference < right + right / kClearWin;
  }
  SegmentList candidate;
  std::int32_t costD = std::numeric_limits<std::int32_t>::max();
  if (searchDifference) {
    costD = segmentChannel(job, L0, level, b.buff.data(), true, candidate, b.D_TK.data(), b.D_CB.data());
    if (job.mode != EncoderMode::Reference) costD = carryLag(job, candidate, costD, L0, level, lag);
  }
  if (!hasTransformSegment(candidate)) searchRight = true;  // the difference cannot be stored
  const std::int32_t costR =
      searchRight ? segmentChannel(job, L0, level, b.AW2.data(), false, list, b.TK.data(), b.CB.data())
                  : std::numeric_limits<std::int32_t>::max();
  if (job.best.jointByBytes && !job.best.splitsByBytes && hasTransformSegment(candidate)) {
    // Both candidates coded: the smaller one goes to the file.
    const auto right = codedPass(job, list, b.AW2.data(), b.TK.data(), b.CB.data(), frames,
                                 format::kNoJointStereo);
    const auto difference = codedPass(job, candidate, b.buff.data(), b.D_TK.data(), b.D_CB.data(), frames, lag);
    const auto& smaller = difference.size() < right.size() ? difference : right;
    output.write(smaller.data(), smaller.size());
    job.done += std::min(frames, L0);
    sink.setProgress(static_cast<int>(static_cast<double>(job.done) * 100.0 / static_cast<double>(job.workTotal)));
    return;
  }
  // Coded sizes need no margin against the estimates' errors.
  const std::int32_t margin = job.best.splitsByBytes ? 0 : format::kJointStereoMinSaving;
  if (costD < costR - margin && hasTransformSegment(candidate)) {
    writePass(job, candidate, b.buff.data(), b.D_TK.data(), b.D_CB.data(), frames, lag, &sink, output);
  } else {
    writePass(job, list, b.AW2.data(), b.TK.data(), b.CB.data(), frames, format::kNoJointStereo, &sink, output);
  }
}

}  // namespace

void compressFile(const CodecSettings& settings, InputStream& input, OutputStream& output,
                  ProgressSink& sink) {
  compressFileWith(settings, BestTechniques{}, input, output, sink);
}

void compressFileWith(const CodecSettings& settings, const BestTechniques& techniques, InputStream& input,
                      OutputStream& output, ProgressSink& sink) {
  CompressionJob job;
  job.N = blockLength(settings);
  job.mode = settings.encoderMode;
  if (job.mode == EncoderMode::Best) {
    job.best = techniques;
    job.trials = std::make_unique<TrialCoder>(job.N);
  } else {
    job.best = BestTechniques{false, false, false};
  }
  job.level = job.mode == EncoderMode::Fast ? Adaptation::None : settings.adaptation;
  if (input.size() < 0) {  // a pipe: the frame count could not be measured
    output.close();
    input.close();
    throw JobError{QOLA_ERROR_NEEDS_SIZE, "The input cannot be measured: compression needs a file, not a pipe", 1};
  }
  job.layout = EvaluateWaveHeader(input, settings);
  if (job.layout.frames > format::kMaxSampleCount) {
    output.close();
    input.close();
    fatalError("The input holds more than 2147483647 sample frames, which a QOLA file cannot describe", 1);
  }
  job.joint = job.layout.channels == 2 && settings.jointStereo;
  const std::int64_t n = job.layout.frames;

  writeFileHeader(output, headerFlags(job.layout, job.joint, job.level, settings.blockLengthIndex),
                  static_cast<std::int32_t>(n));
  allocateBuffers(job);
  const std::int64_t blocks = blockCount(n, job.N);
  const int last = finalBlockFrames(n, job.N);
  sink.setProgress(0);
  if (job.layout.headerLength == format::kWavHeaderSize) {
    copyWavHeader(input, output, job.layout.headerLength);
  }
  job.done = 0;
  job.workTotal = n * job.layout.channels;
  job.writer = BitWriter{};

  for (std::int64_t k = 0; k < blocks; ++k) {
    int L0 = job.N;
    int frames = job.N;
    Adaptation level = job.level;
    if (last != 0 && k == blocks - 1) {
      if (level != Adaptation::None) {
        L0 = finalSegmentLength(job.N, last, true);
        level = Adaptation::None;  // the final partial block is never split
      }
      if (last < L0) {
        std::fill(job.buffers.AWi.begin() + last, job.buffers.AWi.begin() + L0, 0);
        if (job.layout.channels == 2) {
          std::fill(job.buffers.AW2.begin() + last, job.buffers.AW2.begin() + L0, 0);
        }
      }
      frames = last;
    }
    readBlock(job, frames, input);
    compressBlock(job, L0, level, frames, sink, output);
    if (output.failed()) {  // a full disk or the file size limit: stop now, the caller reports it
      output.close();
      input.close();
      return;
    }
  }

  output.flush();
  job.buffers = CompressionBuffers{};
  const qola_result result = compressionResult(n, job.layout.channels, bytesPerSample(job.layout),
                                               job.layout.headerLength, output.position());
  output.close();
  input.close();
  sink.finish(result);
  sink.setProgress(0);
}

}  // namespace qola
