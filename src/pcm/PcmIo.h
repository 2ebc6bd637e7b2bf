// PCM sample layouts, WAV header evaluation and block reads and writes.
//
// In memory every sample is a signed 16-bit value; 8-bit PCM (unsigned in
// files, 128 the zero line) is held as its byte value - 128. 16-bit samples
// are little-endian in files unless swap bytes is set. Each block moves with
// one read or one write call on the stream.
#pragma once

#include "common/CodecSettings.h"
#include "common/Stream.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qola {

// The effective layout of one job's PCM data.
struct PcmLayout {
  int channels = 2;           // 1 or 2
  bool eightBit = false;
  bool swapBytes = false;     // never set for 8-bit data
  int headerLength = 0;       // 0 or 44 when compressing; 0..255 when decompressing
  std::int64_t frames = 0;    // samples per channel
};

inline int bytesPerSample(const PcmLayout& layout) { return layout.eightBit ? 1 : 2; }

// Settles the layout from the settings and, with WAV evaluation on, from a
// RIFF/WAVE header at the start of the input. Leaves the input at byte 0.
// A header whose channel count is not 1 is coded as stereo frames; an input
// shorter than a whole header is raw PCM.
PcmLayout evaluateWaveHeader(InputStream& input, const CodecSettings& settings);

// The 44-byte header of a plain PCM WAV file: channels (1 or 2) of 8- or
// 16-bit samples at sampleRate, dataBytes of them. Empty when the rate is 0
// or a size does not fit the header's 32-bit fields.
std::vector<std::uint8_t> plainWavHeader(int channels, int bits, std::uint32_t sampleRate,
                                         std::uint64_t dataBytes);

// Where a RIFF/WAVE file's data chunk sits: its samples' byte offset and the
// size its header gives.
struct WavDataChunk {
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
};
// Walks the chunks in a file's leading bytes; nothing when they are no
// RIFF/WAVE header or end before the data chunk's header.
std::optional<WavDataChunk> findWavDataChunk(std::span<const std::uint8_t> fileStart);

void swapBytes16(std::int16_t* samples, int count);

// Compression side: F frames from the input. The byte scratch holds at least
// F * bytes per frame bytes. Each returns false when the input ended early.
bool readMono16(std::int16_t* samples, int frames, bool swapBytes, std::uint8_t* scratch,
                InputStream& input);
bool readMono8(std::int16_t* samples, int frames, std::uint8_t* scratch, InputStream& input);
bool readStereo16(std::int16_t* left, std::int16_t* right, int frames, bool swapBytes,
                  std::uint8_t* scratch, InputStream& input);
bool readStereo8(std::int16_t* left, std::int16_t* right, int frames, std::uint8_t* scratch,
                 InputStream& input);

// Decompression side: F frames to the output. The sample arrays are left unchanged.
void writeMono16(const std::int16_t* samples, int frames, bool swapBytes, std::uint8_t* scratch,
                 OutputStream& output);
void writeMono8(const std::int16_t* samples, int frames, std::uint8_t* scratch, OutputStream& output);
void writeStereo16(const std::int16_t* left, const std::int16_t* right, int frames, bool swapBytes,
                   std::uint8_t* scratch, OutputStream& output);
void writeStereo8(const std::int16_t* left, const std::int16_t* right, int frames, std::uint8_t* scratch,
                  OutputStream& output);

}  // namespace qola
