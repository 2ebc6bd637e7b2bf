// The decompression job: compressed file in, the original PCM file out.
// Without a block index the job's thread parses the blocks in file order and
// writes them in the same order; the rebuilding threads turn the blocks in
// between into PCM bytes and take the output's MD5 of them in file order.
// With one, every thread parses and rebuilds whole units (UnitRestore).
#include "codec/Jobs.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "codec/BlockDecoder.h"
#include "codec/FileRecords.h"
#include "codec/JobSteps.h"
#include "codec/Probe.h"
#include "codec/Report.h"
#include "codec/TrailerJob.h"
#include "codec/UnitRestore.h"
#include "common/Fatal.h"
#include "common/FormatConstants.h"
#include "common/WorkerPool.h"

namespace qola {
namespace {

struct DecompressionJob {
  FileHeader header;
  BlockLayout layout;
  std::int64_t blocks = 0;
  std::int64_t frames = 0;            // n
  std::int64_t done = 0;              // samples written, of frames * channels
  int headerLength = 0;               // of the header copy
  int sampleRate = 0;                 // from the header copy; 0: unknown
  std::vector<DamagedRange> damaged;  // units restored as silence
};

// Writes the header copy back and takes its length and sample rate.
void copyHeaderBack(DecompressionJob& job, InputStream& input, OutputStream& output) {
  const std::vector<std::uint8_t> copy = readHeaderCopy(input);
  output.write(copy.data(), copy.size());
  job.headerLength = static_cast<int>(copy.size());
  std::uint32_t channelMask = 0;
  readWavFormat(copy, job.sampleRate, channelMask);
}

// Writes a rebuilt block and reports the progress; false when the output failed.
bool writeBlock(DecompressionJob& job, const DecodedBlock& block, ProgressSink& sink, OutputStream& output) {
  output.write(block.bytes.data(), block.bytes.size());
  if (output.failed()) return false;
  job.done += static_cast<std::int64_t>(block.frames) * job.layout.channels;
  showProgress(sink, job.done, job.frames * job.layout.channels);
  return true;
}

// Decodes every block: the job's thread parses and writes in file order
// while the rebuilding threads (none when threads is 1) work in between.
// Returns false when the output failed.
bool decodeBlocks(DecompressionJob& job, int threads, InputStream& input, OutputStream& output,
                  ProgressSink& sink) {
  const int slotCount = blockSlotCount(threads);
  const int workers = threads - 1;  // the job's thread is the parser
  std::vector<DecodedBlock> slots(static_cast<std::size_t>(slotCount));
  for (DecodedBlock& block : slots) allocateBlock(job.layout, block);
  std::vector<std::unique_ptr<BlockRebuilder>> rebuilders;
  for (int i = 0; i < std::max(1, workers); ++i) rebuilders.push_back(std::make_unique<BlockRebuilder>(job.layout));
  SegmentParser parser(job.layout);
  const auto rebuild = [&](int slot, int worker) {
    rebuildBlock(*rebuilders[static_cast<std::size_t>(worker)], slots[static_cast<std::size_t>(slot)]);
  };
  // The digest is the largest part of writing, so it moves to the rebuilding
  // threads; the writes stay on the job's thread, where a caller's write
  // callback expects them.
  const DigestSetAside aside(output);
  const auto digestBlock = [&](int slot) {
    const std::vector<std::uint8_t>& bytes = slots[static_cast<std::size_t>(slot)].bytes;
    if (aside.digest() != nullptr) aside.digest()->update(bytes.data(), bytes.size());
  };
  // Declared after what its workers use, so that they stop first.
  WorkerPool pool(workers, slotCount, rebuild, digestBlock);
  const auto parse = [&](std::int64_t k, int slot) {
    parseBlock(parser, job.frames - k * job.layout.N, input, slots[static_cast<std::size_t>(slot)]);
  };
  const auto write = [&](int slot) { return writeBlock(job, slots[static_cast<std::size_t>(slot)], sink, output); };
  // A damaged file ends the job after the output a single thread gives:
  // every block before (the ring writes those), and the mono segments placed
  // before the damage.
  const auto writeBeforeDamage = [&](int slot) {
    DecodedBlock& block = slots[static_cast<std::size_t>(slot)];
    if (job.layout.channels != 1 || block.frames == 0) return true;
    rebuild(slot, 0);  // every worker is idle now
    digestBlock(slot);
    return writeBlock(job, block, sink, output);
  };
  return runBlockRing(pool, job.blocks, parse, write, writeBeforeDamage);
}

// A file cut inside its audio has lost its trailer and so its index: the
// blocks were decoded forward until the bytes ran out, and what came before
// the cut is written (every whole block; in mono also the segments before
// it). Names what is lost.
// The cause stays in the message, last where the arithmetic decoder's check
// names it.
JobError cutShortError(const DecompressionJob& job, JobError cause) {
  const std::int64_t restored = job.done / job.layout.channels;
  const std::string lost = "frames " + framesText(restored, job.frames - 1, job.sampleRate) + " are lost, the " +
                           std::to_string(restored) + " frames before them are restored";
  JobError error{Failure::Checksum,
                 cause.status == Failure::Coder ? "Damaged file: the file ends early; " + lost + ": " + cause.message
                                                : cause.message + "; " + lost,
                 1};
  return error;
}

// Through the block index when the file has one that fits it: every thread
// then parses and rebuilds; else block by block in file order.
bool decodeAudio(DecompressionJob& job, const RestoreTrailer& trailer, int threads, InputStream& input,
                 OutputStream& output, ProgressSink& sink) {
  const int headerCopy = job.header.headerCopy() ? 1 + job.headerLength : 0;
  UnitRestore units{
      job.layout, job.frames,
      placeUnits(trailer.index, job.frames, job.layout.N, format::kFileHeaderSize + headerCopy, trailer.audioEnd)};
  if (!units.units.empty()) {
    return restoreUnits(units, jobThreads(threads, static_cast<long long>(units.units.size())), input, output,
                        sink, job.damaged);
  }
  try {
    return decodeBlocks(job, jobThreads(threads, job.blocks), input, output, sink);
  } catch (const JobError& error) {
    // The arithmetic decoder fails on the 1-bits it reads past a cut.
    const bool cut = error.inputEnded || input.fetchedPastEnd();
    if (!cut || input.readFailed() || job.done == 0) throw;  // damage, or nothing to salvage
    throw cutShortError(job, error);
  }
}

}  // namespace

void decompressFile(const CodecSettings& settings, InputStream& input, OutputStream& output, ProgressSink& sink) {
  DecompressionJob job;
  job.header = readFileHeader(input);
  if (job.header.version < format::kMinVersion) {
    stopJob(input, output);
    terminatingError("Old file version");
  }
  // No writer stores a count above 2^31 - 1.
  if (job.header.sampleCount < 0) damagedFile("the sample count is out of range");
  BlockLayout& layout = job.layout;
  layout.N = job.header.blockLength();
  layout.channels = job.header.stereo() ? 2 : 1;
  layout.adaptive = job.header.adaptive();
  layout.jointStereo = job.header.jointStereo();
  layout.eightBit = job.header.eightBit();
  RestoreTrailer trailer;
  startRestoreTrailer(trailer, settings, job.header, input, output);
  layout.swapBytes = trailer.swapBytes;
  job.frames = job.header.sampleCount;
  layout.finalFrames = job.frames > 0 ? finalBlockFrames(job.frames, layout.N) : 0;
  job.blocks = blockCount(job.frames, layout.N);
  qola_result result = decompressionResult(job.header);

  if (job.header.headerCopy()) copyHeaderBack(job, input, output);
  result.header_length = job.headerLength;
  sink.setProgress(0);
  if (!decodeAudio(job, trailer, settings.threads, input, output, sink)) {
    stopJob(input, output);
    return;
  }

  finishRestoreTrailer(trailer, input, output, result);
  endRestore(result, input, output, sink);
  if (!trailer.cut.empty()) throw JobError{Failure::Checksum, trailer.cut, 1};
  if (!job.damaged.empty()) throw damagedUnitsError(job.damaged, job.sampleRate);
  requireChecksum(result, settings.requireChecksum);
}

}  // namespace qola
