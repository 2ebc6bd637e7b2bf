#include "codec/RangeRestore.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "codec/FrameDecoder.h"
#include "codec/JobSteps.h"
#include "codec/Report.h"
#include "common/ByteOrder.h"
#include "common/Fatal.h"

namespace qola {
namespace {

constexpr std::size_t kChunkFrames = 4096;  // frames per read and write
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kRiffHeaderSize = 12;  // "RIFF", its size, "WAVE"
constexpr std::uint64_t kMaxChunkSize = 0xffffffff;

std::uint32_t chunkSize(std::uint64_t size) { return static_cast<std::uint32_t>(std::min(size, kMaxChunkSize)); }

// Frames as the file's bytes: 16-bit samples in the chosen byte order.
void toFileBytes(std::uint8_t* samples, std::size_t values, bool eightBit, bool swapBytes) {
  if (eightBit) return;
  for (std::size_t i = 0; i < values; ++i) {
    std::int16_t value = 0;
    std::memcpy(&value, samples + 2 * i, sizeof value);
    const auto word = static_cast<std::uint16_t>(value);
    if (swapBytes) {
      storeBig16(samples + 2 * i, word);
    } else {
      storeLittle16(samples + 2 * i, word);
    }
  }
}

}  // namespace

bool fitWavHeader(std::vector<std::uint8_t>& header, std::uint64_t dataBytes) {
  if (header.size() < kRiffHeaderSize || std::memcmp(header.data(), "RIFF", 4) != 0 ||
      std::memcmp(header.data() + 8, "WAVE", 4) != 0) {
    return false;
  }
  const bool pad = (dataBytes & 1) != 0;
  storeLittle32(header.data() + 4, chunkSize(header.size() - 8 + dataBytes + (pad ? 1 : 0)));
  for (std::size_t at = kRiffHeaderSize; at + kChunkHeaderSize <= header.size();) {
    const std::uint32_t size = loadLittle32(header.data() + at + 4);
    if (std::memcmp(header.data() + at, "data", 4) == 0) {
      if (at + kChunkHeaderSize == header.size()) storeLittle32(header.data() + at + 4, chunkSize(dataBytes));
      break;
    }
    at += kChunkHeaderSize + size + (size & 1);
  }
  return pad;
}

void restoreRange(const CodecSettings& settings, InputStream& input, OutputStream& output, ProgressSink& sink,
                  std::int64_t first, std::int64_t end) {
  FrameDecoder decoder(input);
  const DecoderFacts& facts = decoder.facts();
  if (end < 0) end = facts.frames;
  if (first < 0 || first > end || end > facts.frames) {
    throw JobError{Failure::Argument,
                   "the range " + std::to_string(first) + " .. " + std::to_string(end) +
                       " lies outside the file's " + std::to_string(facts.frames) + " frames",
                   1};
  }
  const bool eightBit = facts.sampleBits == 8;
  const bool fromTrailer = settings.swapBytesFromTrailer;
  const bool swapBytes = !eightBit && (fromTrailer ? settings.trailer && facts.swapBytes : settings.swapBytes);
  const auto frameBytes = static_cast<std::size_t>(facts.channels * facts.sampleBits / 8);
  const auto dataBytes = static_cast<std::uint64_t>(end - first) * frameBytes;

  std::vector<std::uint8_t> header = facts.wavHeader;
  const bool pad = fitWavHeader(header, dataBytes);
  output.write(header.data(), header.size());
  sink.setProgress(0);
  decoder.seek(first);
  std::vector<std::uint8_t> chunk;
  allocateBuffer(chunk, kChunkFrames * frameBytes, "buff");
  for (std::int64_t at = first; at < end;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(end - at, kChunkFrames));
    std::size_t got = 0;
    decoder.read(chunk.data(), want, got);
    toFileBytes(chunk.data(), got * static_cast<std::size_t>(facts.channels), eightBit, swapBytes);
    output.write(chunk.data(), got * frameBytes);
    if (output.failed()) break;  // the caller reports it
    at += static_cast<std::int64_t>(got);
    showProgress(sink, at - first, end - first);
  }
  if (pad) output.putByte(0);

  qola_result result = decompressionResult(facts.header);
  result.samples = end - first;
  result.header_length = static_cast<int>(header.size());
  result.checksum = QOLA_CHECKSUM_PART;
  if (facts.trailer) std::copy(facts.md5.begin(), facts.md5.end(), result.md5);
  endRestore(result, input, output, sink);
}

}  // namespace qola
