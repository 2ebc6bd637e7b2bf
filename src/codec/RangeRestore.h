// The restore of a part: frames [first, end) of a compressed file as a PCM
// file of their own, its stored WAV header made to fit them.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/Jobs.h"

namespace qola {

// A RIFF/WAVE header's sizes set for dataBytes of sample data (and the pad
// byte an odd count needs): the RIFF size, and the data chunk's size when
// the header ends with that chunk's header. Other headers stay as they are.
// Returns whether a pad byte must follow the data.
bool fitWavHeader(std::vector<std::uint8_t>& header, std::uint64_t dataBytes);

// end -1: the file's end. The whole file's MD5 cannot be compared with a
// part, so the result's checksum is QOLA_CHECKSUM_PART; the index's unit
// checksums are checked as the units are read. Closes both streams.
void restoreRange(const CodecSettings& settings, InputStream& input, OutputStream& output, ProgressSink& sink,
                  std::int64_t first, std::int64_t end);

}  // namespace qola
