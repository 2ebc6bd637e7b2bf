// The compression job: PCM in, compressed file out, block by block.
#include <qola/qola.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/FileFormat.h"
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

// Writes the segments of one channel pass in time order.
void writePass(CompressionJob& job, const SegmentList& list, const std::int16_t* source, int frames,
               int lag, ProgressSink& sink, OutputStream& output) {
  CompressionBuffers& b = job.buffers;
  int p = 0;
  for (int i = 0; i < list.count; ++i) {
    const int s = list.exponents[static_cast<std::size_t>(i)];
    const int L = 1 << s;
    const SegmentType type = list.types[static_cast<std::size_t>(i)];
    if (type == SegmentType::Transform) {
      codableResidual(s, source + p, b.TK.data() + p, b.CB.data() + p / format::kBandSize, b.Temp.data(),
                      b.AWf.data());
    }
    job.done += std::min(frames, L);
    sink.setProgress(static_cast<int>(static_cast<double>(job.done) * 100.0 /
                                      static_cast<double>(job.workTotal)));
    switch (type) {
      case SegmentType::Zero:
        writeZeroSegment(output, s);
        break;
      case SegmentType::Constant:
        writeConstantSegment(output, s, source[p]);
        break;
      case SegmentType::Transform:
        writeSegmentHeader(output, transformHeader(s, lag));
        encodeTransformSegment({s, b.AWf.data(), b.TK.data() + p, b.CB.data() + p / format::kBandSize},
                               job.writer, output);
        break;
    }
    p += L;
  }
}

void compressBlock(CompressionJob& job, int transformLength, Adaptation level, int frames,
                   ProgressSink& sink, OutputStream& output) {
  CompressionBuffers& b = job.buffers;
  const int L0 = transformLength;
  SegmentList list;
  segmentBlock(L0, level, b.AWi.data(), list, b.TK.data(), b.CB.data());
  writePass(job, list, b.AWi.data(), frames, format::kNoJointStereo, sink, output);
  if (job.layout.channels == 1) return;

  int lag = format::kNoJointStereo;
  if (job.joint) lag = stereoDecision(L0, b.AWi.data(), b.AW2.data(), b.buff.data());
  const std::int32_t costR = segmentBlock(L0, level, b.AW2.data(), list, b.TK.data(), b.CB.data());
  const std::int16_t* source = b.AW2.data();
  if (lag != format::kNoJointStereo) {
    SegmentList candidate;
    const std::int32_t costD =
        segmentBlock(L0, level, b.buff.data(), candidate, b.D_TK.data(), b.D_CB.data());
    if (costD < costR - format::kJointStereoMinSaving && hasTransformSegment(candidate)) {
      list = candidate;
      std::copy_n(b.D_TK.begin(), L0, b.TK.begin());
      std::copy_n(b.D_CB.begin(), L0 / format::kBandSize, b.CB.begin());
      source = b.buff.data();
    } else {
      lag = format::kNoJointStereo;
    }
  }
  writePass(job, list, source, frames, lag, sink, output);
}

}  // namespace

void compressFile(const CodecSettings& settings, InputStream& input, OutputStream& output,
                  ProgressSink& sink) {
  CompressionJob job;
  job.N = blockLength(settings);
  job.level = settings.adaptation;
  if (input.size() < 0) {  // a pipe: the frame count could not be measured
    output.close();
    input.close();
    fatalError("The input cannot be measured: compression needs a file, not a pipe", 1);
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
  const std::string report = compressionReport(n, job.layout.channels, bytesPerSample(job.layout),
                                               job.layout.headerLength, output.position());
  output.close();
  input.close();
  sink.showReport(report, kReportTitle);
  sink.setProgress(0);
}

}  // namespace qola
