#include "pcm/PcmIo.h"

#include <array>
#include <cstring>

#include "common/ByteOrder.h"
#include "common/FormatConstants.h"

namespace qola {
namespace {

constexpr int kChannelsOffset = 22;
constexpr int kBitsPerSampleOffset = 34;

bool isWaveHeader(const std::uint8_t* header) {
  return std::memcmp(header, "RIFF", 4) == 0 && std::memcmp(header + 8, "WAVE", 4) == 0;
}

std::int16_t fromByte(std::uint8_t byte) { return static_cast<std::int16_t>(byte - 128); }

std::uint8_t toByte(std::int16_t sample) {
  return static_cast<std::uint8_t>((static_cast<std::uint16_t>(sample) + 128u) & 0xffu);
}

std::int16_t decode16(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(loadLittle16(bytes));
}

void encode16(std::uint8_t* bytes, std::int16_t sample) {
  storeLittle16(bytes, static_cast<std::uint16_t>(sample));
}

std::int16_t swapped(std::int16_t sample) {
  const auto value = static_cast<std::uint16_t>(sample);
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((value << 8) | (value >> 8)));
}

}  // namespace

PcmLayout evaluateWaveHeader(InputStream& input, const CodecSettings& settings) {
  PcmLayout layout;
  layout.channels = settings.channelCount;
  layout.eightBit = settings.sampleBits == 8;
  layout.swapBytes = settings.swapBytes;
  layout.headerLength = 0;

  if (settings.wavEvaluation) {
    std::array<std::uint8_t, format::kWavHeaderSize> header{};
    // Peeked, not read: a pipe or the caller's read function cannot go back.
    const std::size_t got = input.peekStart(header.data(), header.size());
    if (got == header.size() && isWaveHeader(header.data())) {
      layout.channels = loadLittle16(header.data() + kChannelsOffset);
      const int bytesPerSample = loadLittle16(header.data() + kBitsPerSampleOffset) / 8;
      layout.eightBit = bytesPerSample % 2 == 1;  // 24-bit data is coded byte by byte
      layout.headerLength = format::kWavHeaderSize;
    }
  }

  layout.channels = layout.channels == 1 ? 1 : 2;
  if (layout.eightBit) layout.swapBytes = false;

  const std::int64_t size = input.size();
  std::int64_t frames = size < layout.headerLength ? 0 : size - layout.headerLength;
  if (!layout.eightBit) frames /= 2;
  if (layout.channels == 2) frames /= 2;
  layout.frames = frames;
  return layout;
}

std::vector<std::uint8_t> plainWavHeader(int channels, int bits, std::uint32_t sampleRate,
                                         std::uint64_t dataBytes) {
  constexpr std::uint64_t kMax32 = 0xffffffffu;
  constexpr std::uint32_t kRiffSizeBeyondData = format::kWavHeaderSize - 8;
  const auto blockAlign = static_cast<std::uint32_t>(channels * (bits / 8));
  if (sampleRate == 0 || std::uint64_t{sampleRate} * blockAlign > kMax32 ||
      dataBytes > kMax32 - kRiffSizeBeyondData) {
    return {};
  }
  std::vector<std::uint8_t> header(format::kWavHeaderSize);
  std::uint8_t* at = header.data();
  std::memcpy(at, "RIFF", 4);
  storeLittle32(at + 4, static_cast<std::uint32_t>(dataBytes) + kRiffSizeBeyondData);
  std::memcpy(at + 8, "WAVEfmt ", 8);
  storeLittle32(at + 16, 16);  // the format chunk's size
  storeLittle16(at + 20, 1);   // integer PCM
  storeLittle16(at + kChannelsOffset, static_cast<std::uint16_t>(channels));
  storeLittle32(at + 24, sampleRate);
  storeLittle32(at + 28, sampleRate * blockAlign);
  storeLittle16(at + 32, static_cast<std::uint16_t>(blockAlign));
  storeLittle16(at + kBitsPerSampleOffset, static_cast<std::uint16_t>(bits));
  std::memcpy(at + 36, "data", 4);
  storeLittle32(at + 40, static_cast<std::uint32_t>(dataBytes));
  return header;
}

std::optional<WavDataChunk> findWavDataChunk(std::span<const std::uint8_t> fileStart) {
  constexpr std::uint64_t kChunkHeader = 8;
  if (fileStart.size() < 12 || !isWaveHeader(fileStart.data())) return std::nullopt;
  std::uint64_t at = 12;
  while (at + kChunkHeader <= fileStart.size()) {
    const std::uint32_t size = loadLittle32(fileStart.data() + at + 4);
    if (std::memcmp(fileStart.data() + at, "data", 4) == 0) return WavDataChunk{at + kChunkHeader, size};
    at += kChunkHeader + size + (size & 1u);  // chunks keep even offsets
  }
  return std::nullopt;
}

void swapBytes16(std::int16_t* samples, int count) {
  for (int i = 0; i < count; ++i) samples[i] = swapped(samples[i]);
}

bool readMono16(std::int16_t* samples, int frames, bool swapBytes, std::uint8_t* scratch,
                InputStream& input) {
  const std::size_t bytes = static_cast<std::size_t>(frames) * 2;
  const bool complete = input.read(scratch, bytes) == bytes;
  for (int i = 0; i < frames; ++i) samples[i] = decode16(scratch + 2 * i);
  if (swapBytes) swapBytes16(samples, frames);
  return complete;
}

bool readMono8(std::int16_t* samples, int frames, std::uint8_t* scratch, InputStream& input) {
  const auto bytes = static_cast<std::size_t>(frames);
  const bool complete = input.read(scratch, bytes) == bytes;
  for (int i = 0; i < frames; ++i) samples[i] = fromByte(scratch[i]);
  return complete;
}

bool readStereo16(std::int16_t* left, std::int16_t* right, int frames, bool swapBytes,
                  std::uint8_t* scratch, InputStream& input) {
  const std::size_t bytes = static_cast<std::size_t>(frames) * 4;
  const bool complete = input.read(scratch, bytes) == bytes;
  for (int i = 0; i < frames; ++i) {
    left[i] = decode16(scratch + 4 * i);
    right[i] = decode16(scratch + 4 * i + 2);
  }
  if (swapBytes) {
    swapBytes16(left, frames);
    swapBytes16(right, frames);
  }
  return complete;
}

bool readStereo8(std::int16_t* left, std::int16_t* right, int frames, std::uint8_t* scratch,
                 InputStream& input) {
  const std::size_t bytes = static_cast<std::size_t>(frames) * 2;
  const bool complete = input.read(scratch, bytes) == bytes;
  for (int i = 0; i < frames; ++i) {
    left[i] = fromByte(scratch[2 * i]);
    right[i] = fromByte(scratch[2 * i + 1]);
  }
  return complete;
}

void writeMono16(const std::int16_t* samples, int frames, bool swapBytes, std::uint8_t* scratch,
                 OutputStream& output) {
  for (int i = 0; i < frames; ++i) {
    encode16(scratch + 2 * i, swapBytes ? swapped(samples[i]) : samples[i]);
  }
  output.write(scratch, static_cast<std::size_t>(frames) * 2);
}

void writeMono8(const std::int16_t* samples, int frames, std::uint8_t* scratch, OutputStream& output) {
  for (int i = 0; i < frames; ++i) scratch[i] = toByte(samples[i]);
  output.write(scratch, static_cast<std::size_t>(frames));
}

void writeStereo16(const std::int16_t* left, const std::int16_t* right, int frames, bool swapBytes,
                   std::uint8_t* scratch, OutputStream& output) {
  for (int i = 0; i < frames; ++i) {
    encode16(scratch + 4 * i, swapBytes ? swapped(left[i]) : left[i]);
    encode16(scratch + 4 * i + 2, swapBytes ? swapped(right[i]) : right[i]);
  }
  output.write(scratch, static_cast<std::size_t>(frames) * 4);
}

void writeStereo8(const std::int16_t* left, const std::int16_t* right, int frames, std::uint8_t* scratch,
                  OutputStream& output) {
  for (int i = 0; i < frames; ++i) {
    scratch[2 * i] = toByte(left[i]);
    scratch[2 * i + 1] = toByte(right[i]);
  }
  output.write(scratch, static_cast<std::size_t>(frames) * 2);
}

}  // namespace qola
