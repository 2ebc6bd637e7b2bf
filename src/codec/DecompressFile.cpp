// The decompression job: compressed file in, the original PCM file out.
#include "codec/Jobs.h"

#include <algorithm>
#include <vector>

#include "codec/FileFormat.h"
#include "codec/Report.h"
#include "codec/SegmentRebuild.h"
#include "codec/TrailerJob.h"
#include "common/Fatal.h"
#include "common/Format.h"
#include "dsp/Dct.h"
#include "entropy/BitPacker.h"
#include "entropy/BlockCoding.h"
#include "pcm/PcmIo.h"

namespace qola {
namespace {

struct DecompressionBuffers {
  std::vector<std::int16_t> AWi;
  std::vector<std::int32_t> TK;
  std::vector<double> Temp;
  std::vector<std::int16_t> AWf;
  std::vector<std::int8_t> CB;
  std::vector<std::int16_t> AW1;
  std::vector<std::int16_t> buff;       // second channel of an adaptive block
  std::vector<std::uint8_t> pcmBytes;   // interleaving scratch of the PCM writers
  std::vector<std::uint8_t> AWb;
};

constexpr const char* kShortSegment = "a segment is shorter than its block without adaptation";

// Where the segments of a block are collected (mono uses fill only).
struct StereoState {
  bool second = false;  // phase: collecting the second channel
  int fill = 0;         // samples of the current channel collected so far
  bool final = false;   // the block is the final partial block
  int firstLength = 0;  // segment length of the first channel of a one-segment block
  bool lagged = false;  // the block's second channel is a difference signal
  int lag = 0;
};

struct DecompressionJob {
  FileHeader header;
  int N = 0;
  int channels = 1;
  int finalFrames = 0;  // r
  bool swapBytes = false;
  DecompressionBuffers buffers;
  StereoState stereo;
  BitReader reader;
};

void allocateBuffers(DecompressionJob& job) {
  const auto N = static_cast<std::size_t>(job.N);
  DecompressionBuffers& b = job.buffers;
  allocateBuffer(b.AWi, N, "AWi");
  allocateBuffer(b.TK, N, "TK");
  allocateBuffer(b.Temp, N, "Temp");
  allocateBuffer(b.AWf, N, "AWf");
  allocateBuffer(b.CB, N / format::kBandSize, "CB");
  if (job.channels == 2) {
    allocateBuffer(b.AW1, N, "AW1");
    allocateBuffer(b.buff, N, "buff");
  }
  allocateBuffer(b.pcmBytes, N * 2 * static_cast<std::size_t>(job.channels), "buff");
  if (job.header.eightBit()) allocateBuffer(b.AWb, N * static_cast<std::size_t>(job.channels), "AWb");
}

void copyHeaderBack(InputStream& input, OutputStream& output) {
  const int length = readFileByte(input, "inside the header copy");
  std::vector<std::uint8_t> bcpy;
  allocateBuffer(bcpy, static_cast<std::size_t>(length), "bcpy");
  if (input.read(bcpy.data(), bcpy.size()) != bcpy.size()) damagedFile("the file ends inside the header copy");
  output.write(bcpy.data(), bcpy.size());
}

// Decodes one segment record into AWi[0 .. 2^s - 1]; returns s.
int decodeSegment(DecompressionJob& job, InputStream& input) {
  DecompressionBuffers& b = job.buffers;
  const SegmentHeader header = readSegmentHeader(input, job.header.jointStereo());
  const int s = header.s;
  const int m = 1 << s;
  if (m > job.N) damagedFile("a segment is longer than its block");
  switch (header.kind) {
    case format::SegmentKind::Zero:
      std::fill_n(b.AWi.begin(), m, 0);
      break;
    case format::SegmentKind::Constant:
      std::fill_n(b.AWi.begin(), m, readConstantValue(input));
      break;
    case format::SegmentKind::Transform:
    case format::SegmentKind::LaggedTransform:
      job.stereo.lagged = header.kind == format::SegmentKind::LaggedTransform;
      if (job.stereo.lagged) job.stereo.lag = header.lag;
      if (s > format::kMaxTransformExponent) FIDCT(b.Temp.data(), s);  // refuses the length
      decodeTransformSegment({s, b.AWf.data(), b.TK.data(), b.CB.data()}, job.reader, input);
      reconstructSegment(s, b.TK.data(), b.AWf.data(), b.Temp.data(), b.AWi.data());
      break;
  }
  return s;
}

void writeMono(DecompressionJob& job, int frames, OutputStream& output) {
  DecompressionBuffers& b = job.buffers;
  if (job.header.eightBit()) {
    WriteMono8(b.AWi.data(), frames, b.AWb.data(), output);
  } else {
    WriteMono16(b.AWi.data(), frames, job.swapBytes, b.pcmBytes.data(), output);
  }
}

void writePair(DecompressionJob& job, const std::int16_t* first, const std::int16_t* second, int frames,
               OutputStream& output) {
  DecompressionBuffers& b = job.buffers;
  if (job.header.eightBit()) {
    WriteStereo8(first, second, frames, b.AWb.data(), output);
  } else {
    WriteStereo16(first, second, frames, job.swapBytes, b.pcmBytes.data(), output);
  }
}

// Writes the block's pair, undoing joint stereo; the second channel is in AWi.
void completeBlock(DecompressionJob& job, int length, int frames, OutputStream& output) {
  DecompressionBuffers& b = job.buffers;
  const std::int16_t* second = b.AWi.data();
  if (job.stereo.lagged) {
    jointReconstruct(job.stereo.lag, length, b.AW1.data(), b.AWi.data(), b.AWf.data());
    second = b.AWf.data();
  }
  writePair(job, b.AW1.data(), second, frames, output);
  job.stereo.lagged = false;
  job.stereo.second = false;
  job.stereo.fill = 0;
}

// Checks a mono segment of m samples against the block layout the header
// describes; returns the samples it adds to the output.
std::int64_t placeMono(DecompressionJob& job, int m, std::int64_t remaining) {
  int& fill = job.stereo.fill;
  if (fill == 0 && remaining < job.N) {  // the final partial block: one segment, at least r long
    if (m < remaining) damagedFile("the segments do not match the sample count");
    return remaining;
  }
  if (!job.header.adaptive() && m != job.N) damagedFile(kShortSegment);
  if (fill + m > job.N) damagedFile("the segments of a block overrun its length");
  fill = (fill + m) % job.N;
  return m;
}

// Places a stereo segment of m samples; returns the samples accounted for.
std::int64_t placeStereo(DecompressionJob& job, int m, std::int64_t remaining, OutputStream& output) {
  DecompressionBuffers& b = job.buffers;
  StereoState& state = job.stereo;
  if (!state.second && state.fill == 0) state.final = remaining / 2 < job.N;

  if (!job.header.adaptive() || state.final) {
    if (state.final && (job.finalFrames == 0 || m < job.finalFrames)) {
      damagedFile("the segments do not match the sample count");
    }
    if (!state.final && m != job.N) damagedFile(kShortSegment);
    const int frames = state.final ? job.finalFrames : m;
    if (!state.second) {
      std::copy_n(b.AWi.begin(), m, b.AW1.begin());
      state.second = true;
      state.firstLength = m;
      return frames;
    }
    // Joint stereo rebuilds over one length; a writer gives both channels the same.
    if (m != state.firstLength) damagedFile("the channels of the final block differ in length");
    completeBlock(job, m, frames, output);
    return frames;
  }

  if (state.fill + m > job.N) damagedFile("the segments of a block overrun its length");
  std::copy_n(b.AWi.begin(), m, (state.second ? b.buff.begin() : b.AW1.begin()) + state.fill);
  state.fill += m;
  if (state.fill == job.N) {
    if (!state.second) {
      state.second = true;
      state.fill = 0;
    } else {
      std::copy_n(b.buff.begin(), job.N, b.AWi.begin());
      completeBlock(job, job.N, job.N, output);
    }
  }
  return m;
}

}  // namespace

void decompressFile(const CodecSettings& settings, InputStream& input, OutputStream& output,
                    ProgressSink& sink) {
  DecompressionJob job;
  job.header = readFileHeader(input);
  if (job.header.version < format::kMinVersion) {
    output.close();
    input.close();
    fatalError("Old file version, program terminated", 1);
  }
  // No writer stores a count above 2^31 - 1.
  if (job.header.sampleCount < 0) damagedFile("the sample count is out of range");
  job.N = job.header.blockLength();
  job.channels = job.header.stereo() ? 2 : 1;
  RestoreTrailer trailer;
  startRestoreTrailer(trailer, settings, job.header.eightBit(), input, output);
  job.swapBytes = trailer.swapBytes;
  const std::int64_t n = job.header.sampleCount;
  job.finalFrames = n > 0 ? finalBlockFrames(n, job.N) : 0;
  const std::int64_t total = n * job.channels;
  qola_result result = decompressionResult(job.header);

  allocateBuffers(job);
  if (job.header.headerCopy()) copyHeaderBack(input, output);
  sink.setProgress(0);
  job.reader = BitReader{};

  std::int64_t remaining = total;
  while (remaining > 0) {
    const int m = 1 << decodeSegment(job, input);
    const std::int64_t k = job.channels == 1 ? placeMono(job, m, remaining) : placeStereo(job, m, remaining, output);
    if (job.channels == 1) writeMono(job, static_cast<int>(k), output);
    remaining -= k;
    if (output.failed()) {  // a full disk or the file size limit: stop now, the caller reports it
      output.close();
      input.close();
      return;
    }
    const std::int64_t done = std::min(total - remaining, total);
    sink.setProgress(static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total)));
  }

  finishRestoreTrailer(trailer, input, output, result);
  output.flush();
  job.buffers = DecompressionBuffers{};
  result.original_size = output.position();
  output.close();
  input.close();
  sink.finish(result);
  sink.setProgress(0);
  requireChecksum(result);
}

}  // namespace qola
