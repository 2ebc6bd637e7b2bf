// The compression job: PCM in, compressed file out, block by block; the
// blocks are coded on the job's threads and written in file order.
#include "codec/Jobs.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "codec/BlockEncoder.h"
#include "codec/CompressFile.h"
#include "codec/FileRecords.h"
#include "codec/JobSteps.h"
#include "codec/Report.h"
#include "codec/TrailerJob.h"
#include "common/Fatal.h"
#include "common/FormatConstants.h"
#include "common/WorkerPool.h"
#include "pcm/PcmIo.h"

namespace qola {
namespace {

// One block between reading and writing.
struct BlockSlot {
  BlockSamples samples;
  bool final = false;  // the final partial block, coded in the shape that codes smallest
  int frames = 0;
  std::vector<std::uint8_t> bytes;  // its coded segment records
};

struct CompressionJob {
  PcmLayout layout;
  EncoderChoices choices;
  Adaptation level = Adaptation::None;
  std::int64_t blocks = 0;
  int last = 0;  // frames of the final partial block, 0 when there is none
  std::vector<std::int16_t> byteScratch;  // PCM byte scratch of the readers
  std::vector<std::uint8_t> eightBitBytes;
  std::int64_t done = 0;
  std::int64_t workTotal = 0;  // passes * n, in 64 bits: long stereo files exceed 2^31
  IndexBuilder* index = nullptr;  // the trailer's block index, when it has one
};

void allocateReadScratch(CompressionJob& job) {
  const auto N = static_cast<std::size_t>(job.choices.N);
  // Stereo needs 4N bytes of PCM scratch; mono 16-bit reads through the same buffer.
  if (job.layout.channels == 2 || !job.layout.eightBit) allocateBuffer(job.byteScratch, 2 * N, "buff");
  if (job.layout.eightBit) {
    allocateBuffer(job.eightBitBytes, N * static_cast<std::size_t>(job.layout.channels), "AWb");
  }
}

void allocateSlot(const CompressionJob& job, BlockSlot& slot) {
  const auto N = static_cast<std::size_t>(job.choices.N);
  allocateBuffer(slot.samples.firstChannel, N, "AWi");
  if (job.layout.channels == 2) allocateBuffer(slot.samples.secondChannel, N, "AW2");
}

void copyWavHeader(InputStream& input, OutputStream& output, int headerLength) {
  std::vector<std::uint8_t> copy;
  allocateBuffer(copy, static_cast<std::size_t>(headerLength), "bcpy");
  input.read(copy.data(), copy.size());
  writeHeaderCopy(output, copy.data(), headerLength);
}

// The frame count was measured at the start; an input that now ends early
// changed under the job, and coding stale samples would be silent corruption.
void readSamples(CompressionJob& job, BlockSamples& block, int frames, InputStream& input) {
  auto* scratch = reinterpret_cast<std::uint8_t*>(job.byteScratch.data());
  bool complete = false;
  if (job.layout.channels == 1) {
    complete = job.layout.eightBit
                   ? readMono8(block.firstChannel.data(), frames, job.eightBitBytes.data(), input)
                   : readMono16(block.firstChannel.data(), frames, job.layout.swapBytes, scratch, input);
  } else if (job.layout.eightBit) {
    complete =
        readStereo8(block.firstChannel.data(), block.secondChannel.data(), frames, job.eightBitBytes.data(), input);
  } else {
    complete = readStereo16(block.firstChannel.data(), block.secondChannel.data(), frames, job.layout.swapBytes,
                            scratch, input);
  }
  if (!complete) fatalError("The input ended early: it was changed or could not be read while compressing", 1);
}

// What fills the final partial block's segment after its frames. Those
// samples are never restored, so the encoder may choose them: zeros (the
// reference encoder's choice) or the last sample held, which leaves no step
// at the end for the transform to code; on noise-like data the zeros can
// code smaller.
enum class Padding { Zeros, LastSample };

struct FinalShape {
  int length = 0;  // of the block's single segment
  Padding padding = Padding::Zeros;
};

// The shapes the final partial block is coded in; the smallest coding is
// kept. The reference encoder keeps the reference shape; the others also try
// the shortest segment that holds the frames, which a reader accepts as it
// accepts any final segment of at least the remaining frames, and both
// paddings. Trying the reference shape too keeps the block from coding larger
// than the reference encoder codes it.
std::vector<FinalShape> finalShapes(const CompressionJob& job) {
  const int N = job.choices.N;
  const int referenceLength = job.level == Adaptation::None ? N : finalSegmentLength(N, job.last, true);
  if (job.choices.mode == EncoderMode::Reference) return {{referenceLength, Padding::Zeros}};
  int shortest = 1 << format::kMinSegmentExponent;
  while (shortest < job.last) shortest *= 2;
  shortest = std::min(shortest, N);
  std::vector<FinalShape> shapes{{shortest, Padding::LastSample}, {shortest, Padding::Zeros}};
  if (referenceLength != shortest) {
    shapes.push_back({referenceLength, Padding::LastSample});
    shapes.push_back({referenceLength, Padding::Zeros});
  }
  return shapes;
}

void padFinalBlock(std::int16_t* samples, int frames, int length, Padding padding) {
  const std::int16_t value = padding == Padding::Zeros ? std::int16_t{0} : samples[frames - 1];
  std::fill(samples + frames, samples + length, value);
}

// Codes the final partial block in each of its shapes and keeps the
// smallest (the first of equal ones).
void encodeFinalBlock(const CompressionJob& job, BlockEncoder& coder, BlockSlot& slot) {
  std::vector<std::uint8_t> candidate;
  bool first = true;
  for (const FinalShape& shape : finalShapes(job)) {
    padFinalBlock(slot.samples.firstChannel.data(), slot.frames, shape.length, shape.padding);
    if (job.layout.channels == 2)
      padFinalBlock(slot.samples.secondChannel.data(), slot.frames, shape.length, shape.padding);
    candidate.clear();
    // The final partial block is never split.
    encodeBlock(coder, slot.samples, shape.length, Adaptation::None, candidate);
    if (first || candidate.size() < slot.bytes.size()) slot.bytes.swap(candidate);
    first = false;
  }
}

// Reads block k into the slot.
void readBlock(CompressionJob& job, std::int64_t k, BlockSlot& slot, InputStream& input) {
  slot.final = job.last != 0 && k == job.blocks - 1;
  slot.frames = slot.final ? job.last : job.choices.N;
  readSamples(job, slot.samples, slot.frames, input);
}

// Writes a coded block and reports the progress; false when the output failed.
bool writeBlock(CompressionJob& job, const BlockSlot& slot, ProgressSink& sink, OutputStream& output) {
  output.write(slot.bytes.data(), slot.bytes.size());
  if (output.failed()) return false;
  if (job.index != nullptr) job.index->addBlock(slot.bytes.data(), slot.bytes.size());
  job.done += static_cast<std::int64_t>(slot.frames) * job.layout.channels;
  showProgress(sink, job.done, job.workTotal);
  return true;
}

// Codes every block: the job's thread reads and writes in file order while
// the coding threads (none when threads is 1) code the blocks in between.
// Returns false when the output failed.
bool codeBlocks(CompressionJob& job, int threads, InputStream& input, OutputStream& output, ProgressSink& sink) {
  const int slotCount = blockSlotCount(threads);
  std::vector<BlockSlot> slots(static_cast<std::size_t>(slotCount));
  for (BlockSlot& slot : slots) allocateSlot(job, slot);
  std::vector<std::unique_ptr<BlockEncoder>> coders;
  for (int i = 0; i < threads; ++i) coders.push_back(std::make_unique<BlockEncoder>(job.choices));
  const auto code = [&](int slot, int worker) {
    BlockSlot& block = slots[static_cast<std::size_t>(slot)];
    BlockEncoder& coder = *coders[static_cast<std::size_t>(worker)];
    block.bytes.clear();
    if (block.final) {
      encodeFinalBlock(job, coder, block);
    } else {
      encodeBlock(coder, block.samples, job.choices.N, job.level, block.bytes);
    }
  };
  // Declared after what its workers use, so that they stop first.
  WorkerPool pool(threads == 1 ? 0 : threads, slotCount, code);
  const auto read = [&](std::int64_t k, int slot) {
    readBlock(job, k, slots[static_cast<std::size_t>(slot)], input);
  };
  const auto write = [&](int slot) { return writeBlock(job, slots[static_cast<std::size_t>(slot)], sink, output); };
  return runBlockRing(pool, job.blocks, read, write);
}

}  // namespace

void compressFile(const CodecSettings& settings, InputStream& input, OutputStream& output,
                  ProgressSink& sink) {
  compressFileWith(settings, BestTechniques{}, input, output, sink);
}

void compressFileWith(const CodecSettings& settings, const BestTechniques& techniques, InputStream& input,
                      OutputStream& output, ProgressSink& sink) {
  CompressionJob job;
  job.choices = encoderChoices(settings.encoderMode, techniques);
  job.choices.N = blockLength(settings);
  job.level = job.choices.mode == EncoderMode::Fast ? Adaptation::None : settings.adaptation;
  if (input.size() < 0) {  // a pipe: the frame count could not be measured
    stopJob(input, output);
    throw JobError{Failure::NeedsSize, "The input cannot be measured: compression needs a file, not a pipe", 1};
  }
  const std::int64_t inputSize = input.size();
  job.layout = evaluateWaveHeader(input, settings);
  CompressionTrailer trailer;
  startCompressionTrailer(trailer, settings, input);
  if (job.layout.frames > format::kMaxSampleCount) {
    stopJob(input, output);
    fatalError("The input holds more than 2147483647 sample frames, which a QOLA file cannot describe", 1);
  }
  job.choices.channels = job.layout.channels;
  job.choices.joint = job.layout.channels == 2 && settings.jointStereo;
  const std::int64_t n = job.layout.frames;
  startBlockIndex(trailer, settings, job.choices.N, n);
  if (trailer.index) job.index = &*trailer.index;

  writeFileHeader(output, headerFlags(job.layout, job.choices.joint, job.level, blockLengthIndexOf(job.choices.N)),
                  static_cast<std::int32_t>(n));
  allocateReadScratch(job);
  job.blocks = blockCount(n, job.choices.N);
  job.last = finalBlockFrames(n, job.choices.N);
  sink.setProgress(0);
  if (job.layout.headerLength == format::kWavHeaderSize) {
    copyWavHeader(input, output, job.layout.headerLength);
  }
  job.done = 0;
  job.workTotal = n * job.layout.channels;

  if (!codeBlocks(job, jobThreads(settings.threads, job.blocks), input, output, sink)) {
    stopJob(input, output);
    return;
  }

  qola_result checksum{};
  finishCompressionTrailer(trailer, job.layout, inputSize, input, output, checksum);
  output.flush();
  qola_result result = compressionResult(n, job.layout.channels, bytesPerSample(job.layout),
                                         job.layout.headerLength, output.position());
  copyChecksum(checksum, result);
  endJob(result, input, output, sink);
}

}  // namespace qola
