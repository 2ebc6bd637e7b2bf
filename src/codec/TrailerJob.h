// The trailer's part in the two jobs: the compression job digests its input
// and appends the trailer; the restore takes the byte order from it, gives
// back the leftover bytes and compares the MD5 of everything it wrote.
#pragma once

#include <qola/qola.h>

#include <cstdint>
#include <optional>
#include <string>

#include "codec/BlockIndex.h"
#include "codec/FileRecords.h"
#include "codec/Trailer.h"
#include "common/Checksums.h"
#include "common/CodecSettings.h"
#include "common/Stream.h"
#include "pcm/PcmIo.h"

namespace qola {

struct CompressionTrailer {
  bool on = false;
  Md5 md5;
  std::optional<IndexBuilder> index;  // fed every coded block when the trailer has an index
};

// With the input at byte 0, before anything of it is read.
void startCompressionTrailer(CompressionTrailer& trailer, const CodecSettings& settings, InputStream& input);
// Once the block length and the frame count are known: starts the block index.
void startBlockIndex(CompressionTrailer& trailer, const CodecSettings& settings, int blockLength,
                     std::int64_t frames);
// After the last whole frame: reads the bytes after it, fails when the input
// goes on beyond its measured size, and appends the trailer when it is on.
void finishCompressionTrailer(CompressionTrailer& trailer, const PcmLayout& layout, std::int64_t inputSize,
                              InputStream& input, OutputStream& output, qola_result& result);

struct RestoreTrailer {
  bool on = false;            // off: the plain path, nothing after the audio is read
  bool swapExplicit = false;  // the caller chose the byte order
  bool swapBytes = false;     // the byte order the samples are written in
  bool eightBit = false;
  std::size_t maxLength = 0;  // of a trailer of this file
  bool endsLikeOne = false;   // a seekable input ends with a trailer's closing magic, valid or not
  BlockIndex index;           // the index of that trailer
  std::int64_t audioEnd = 0;  // where that trailer begins
  Md5 md5;
  std::string cut;  // the file ends inside its trailer: why the job fails, after all it could restore
};

// Before the header copy is written. On a seekable input the trailer is read
// from the end now, so that its byte order applies to the samples.
void startRestoreTrailer(RestoreTrailer& trailer, const CodecSettings& settings, const FileHeader& header,
                         InputStream& input, OutputStream& output);
// After the last segment: finds the trailer where the audio ends, writes its
// leftover bytes and fills the checksum fields of the result. Of a trailer
// cut short it writes what is left and names the loss in trailer.cut.
void finishRestoreTrailer(RestoreTrailer& trailer, InputStream& input, OutputStream& output, qola_result& result);
// The checksum fields of one result into another.
void copyChecksum(const qola_result& from, qola_result& to);
// A restore whose checksum does not match fails, after its result is given;
// with confirmationRequired, so does one that no stored checksum confirmed.
void requireChecksum(const qola_result& result, bool confirmationRequired);

}  // namespace qola
