#include "codec/Probe.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>

#include "common/ByteOrder.h"
#include "common/Fatal.h"
#include "common/FormatConstants.h"

namespace qola {
namespace {

// The first published info record ends with the index field.
constexpr std::size_t kFirstInfoSize = offsetof(qola_info, index) + sizeof(int);

constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kRiffHeaderSize = 12;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::size_t kRateOffset = 4;          // in the format chunk's data
constexpr std::size_t kChannelMaskOffset = 20;  // in an extensible format chunk's data
constexpr std::size_t kExtensibleSize = 40;

constexpr std::size_t kFrameSizeOffset = 12;    // the block align: bytes of one frame

struct WavChunk {
  const char* id;                     // four characters
  std::uint32_t length;               // as the chunk states it
  std::int64_t offset;                // of its data in the file
  std::span<const std::uint8_t> held; // the part of its data the bytes given hold
};

// Visits the chunks of a RIFF/WAVE header in the bytes given, until the visit
// returns true or the bytes end; nothing for bytes that are no such header.
template <typename Visit>
void forEachWavChunk(std::span<const std::uint8_t> header, Visit visit) {
  if (header.size() < kRiffHeaderSize || std::memcmp(header.data(), "RIFF", 4) != 0 ||
      std::memcmp(header.data() + 8, "WAVE", 4) != 0) {
    return;
  }
  for (std::size_t at = kRiffHeaderSize; at + kChunkHeaderSize <= header.size();) {
    const std::uint32_t length = loadLittle32(header.data() + at + 4);
    const std::size_t data = at + kChunkHeaderSize;
    const std::size_t held = std::min<std::size_t>(length, header.size() - data);
    const WavChunk chunk{reinterpret_cast<const char*>(header.data() + at), length, static_cast<std::int64_t>(data),
                         header.subspan(data, held)};
    if (visit(chunk) || length > header.size()) return;  // past anything the bytes hold
    at = data + length + (length & 1);                   // chunks are padded to even lengths
  }
}

// The last bytes of the input, up to count; empty when its end cannot be read.
std::vector<std::uint8_t> tailOf(InputStream& input, std::int64_t size, std::size_t count) {
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(std::min<std::int64_t>(size, count)));
  const std::size_t got = input.peekAt(size - static_cast<std::int64_t>(tail.size()), tail.data(), tail.size());
  if (got != tail.size()) tail.clear();
  return tail;
}

// Looks for the trailer at the end of an input of known size: its closing
// length says how far back it starts.
void readTrailerAtEnd(InputStream& input, FileFacts& facts) {
  if (facts.fileSize < 0) return;
  const std::int64_t afterHeader = facts.fileSize - facts.audioOffset;
  // The wide end holds the 32-bit length of an indexed trailer too long for 16 bits.
  const std::vector<std::uint8_t> end = tailOf(input, facts.fileSize, format::kWideTrailerEndSize);
  if (end.empty()) {  // the end cannot be read; known only when no trailer fits
    facts.trailerKnown = afterHeader < format::kTrailerFixedSize;
    return;
  }
  facts.trailerKnown = true;
  const auto length = trailerLengthFromEnd(end);
  if (!length || static_cast<std::int64_t>(*length) > afterHeader) return;
  const std::vector<std::uint8_t> bytes = tailOf(input, facts.fileSize, *length);
  const ParsedTrailer parsed = parseTrailer(bytes);
  if (parsed.check == TrailerCheck::Valid) {
    facts.trailer = parsed.trailer;
    facts.index = !parsed.trailer.index.units.empty();
  } else if (parsed.check == TrailerCheck::Newer) {
    facts.trailerKnown = false;  // there is one, but what it holds is not ours to read
  }
}

}  // namespace

void readWavFormat(const std::vector<std::uint8_t>& header, int& sampleRate, std::uint32_t& channelMask) {
  sampleRate = 0;
  channelMask = 0;
  forEachWavChunk(header, [&](const WavChunk& chunk) {
    if (std::memcmp(chunk.id, "fmt ", 4) != 0) return false;
    if (chunk.held.size() >= kRateOffset + 4) {
      const std::uint32_t rate = loadLittle32(chunk.held.data() + kRateOffset);
      sampleRate = rate <= 0x7fffffff ? static_cast<int>(rate) : 0;
    }
    if (chunk.held.size() >= kExtensibleSize && loadLittle16(chunk.held.data()) == kFormatExtensible) {
      channelMask = loadLittle32(chunk.held.data() + kChannelMaskOffset);
    }
    return true;
  });
}

double wavDuration(std::span<const std::uint8_t> head, std::int64_t totalSize) {
  std::uint32_t rate = 0;
  std::uint32_t frameBytes = 0;
  std::int64_t audioBytes = -1;
  forEachWavChunk(head, [&](const WavChunk& chunk) {
    if (std::memcmp(chunk.id, "fmt ", 4) == 0 && chunk.held.size() >= kFrameSizeOffset + 2) {
      rate = loadLittle32(chunk.held.data() + kRateOffset);
      frameBytes = loadLittle16(chunk.held.data() + kFrameSizeOffset);
    } else if (std::memcmp(chunk.id, "data", 4) == 0) {
      // A header written before its length was known may state more than the file holds.
      audioBytes = totalSize < 0 ? chunk.length : std::min<std::int64_t>(chunk.length, totalSize - chunk.offset);
      return true;
    }
    return false;
  });
  if (rate == 0 || frameBytes == 0 || audioBytes < 0) return -1;
  return static_cast<double>(audioBytes / frameBytes) / rate;
}

FileFacts readFileFacts(InputStream& input) {
  FileFacts facts;
  FileHeader& header = facts.header;
  header = readFileHeader(input);
  if (header.version < format::kMinVersion) terminatingError("Old file version");
  // No writer stores a count above 2^31 - 1.
  if (header.sampleCount < 0) damagedFile("the sample count is out of range");
  facts.fileSize = input.size();
  if (!holdsItsBlocks(header, facts.fileSize)) {
    damagedFile("the file is shorter than the blocks its header announces");
  }
  facts.audioOffset = format::kFileHeaderSize;
  if (header.headerCopy()) {
    facts.wavHeader = readHeaderCopy(input);
    facts.audioOffset += 1 + static_cast<int>(facts.wavHeader.size());
    readWavFormat(facts.wavHeader, facts.sampleRate, facts.channelMask);
  }
  readTrailerAtEnd(input, facts);
  return facts;
}

qola_info infoOf(const FileFacts& facts) {
  qola_info info{};
  info.size = sizeof(qola_info);
  info.channels = facts.channels();
  info.sample_bits = facts.sampleBits();
  info.block_length = facts.header.blockLength();
  info.frames = facts.frames();
  info.file_version = facts.header.version;
  info.wav_header = facts.header.headerCopy() ? 1 : 0;
  info.header_length = static_cast<int>(facts.wavHeader.size());
  info.sample_rate = facts.sampleRate;
  info.channel_mask = facts.channelMask;
  info.duration = facts.sampleRate > 0 ? static_cast<double>(info.frames) / facts.sampleRate : -1.0;
  info.trailer = facts.trailer ? 1 : facts.trailerKnown ? 0 : -1;
  info.index = facts.trailer ? (facts.index ? 1 : 0) : facts.trailerKnown ? 0 : -1;
  info.compressed_size = facts.fileSize;
  info.original_size = -1;
  if (facts.trailerKnown) {
    const std::int64_t frameBytes = static_cast<std::int64_t>(info.channels) * (info.sample_bits / 8);
    const auto leftover = static_cast<std::int64_t>(facts.trailer ? facts.trailer->leftover.size() : 0);
    info.original_size = info.header_length + info.frames * frameBytes + leftover;
  }
  if (facts.trailer) {
    std::copy(facts.trailer->md5.begin(), facts.trailer->md5.end(), info.md5);
    info.swap_bytes = facts.trailer->swapBytes && !facts.header.eightBit() ? 1 : 0;
  }
  return info;
}

bool copyInfo(const qola_info& full, qola_info* info) {
  if (info == nullptr || info->size < kFirstInfoSize || info->size > sizeof(qola_info)) return false;
  const std::size_t size = info->size;
  std::memcpy(static_cast<void*>(info), &full, size);
  info->size = size;
  return true;
}

}  // namespace qola
