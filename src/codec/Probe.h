// The facts of a compressed file without decoding it: its header, the stored
// WAV header and, where the input can seek, the trailer at its end. The probe
// and the seeking decoder both start here.
#pragma once

#include <qola/qola.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/FileRecords.h"
#include "codec/Trailer.h"
#include "common/Stream.h"

namespace qola {

struct FileFacts {
  FileHeader header;
  std::vector<std::uint8_t> wavHeader;  // the stored header copy (empty: none)
  std::int64_t audioOffset = 0;         // where the first block starts
  int sampleRate = 0;                   // from a RIFF/WAVE header copy; 0: unknown
  std::uint32_t channelMask = 0;        // from an extensible WAV header; 0: none given
  std::int64_t fileSize = -1;           // -1: unknown
  // A valid trailer at the end; nullopt with trailerKnown false when the end
  // could not be read (a pipe) or holds a trailer of a later version.
  std::optional<Trailer> trailer;
  bool trailerKnown = false;
  bool index = false;  // the trailer holds a block index

  int channels() const { return header.stereo() ? 2 : 1; }
  int sampleBits() const { return header.eightBit() ? 8 : 16; }
  std::int64_t frames() const { return header.sampleCount; }
};

// Reads the file header and header copy from the input's position, and the
// trailer at its end where it can. Leaves the input where the first block
// starts. A file that cannot be ours throws JobError with QOLA_ERROR_NOT_QOLA;
// an older version or a file cut inside its header copy throws the job's error.
FileFacts readFileFacts(InputStream& input);

// The facts as a record of this library's size.
qola_info infoOf(const FileFacts& facts);

// Copies a full record into a caller's record of info->size bytes; false for
// a size this library does not know (nothing is written then).
bool copyInfo(const qola_info& full, qola_info* info);

// The sample rate and channel mask of a RIFF/WAVE header's format chunk.
void readWavFormat(const std::vector<std::uint8_t>& header, int& sampleRate, std::uint32_t& channelMask);

// Seconds of audio in a file of totalSize bytes (-1: unknown) whose RIFF/WAVE
// header starts the bytes given; -1 without a header that states the rate,
// the frame size and where the samples start.
double wavDuration(std::span<const std::uint8_t> head, std::int64_t totalSize);

}  // namespace qola
