// The byte layer of the compressed file: file header, header copy, segment
// records' fixed fields, and the block bookkeeping both jobs share.
#pragma once

#include "common/CodecSettings.h"
#include "common/Stream.h"

#include <cstdint>
#include <string>
#include <vector>

#include "common/FormatConstants.h"
#include "pcm/PcmIo.h"

namespace qola {

struct FileHeader {
  int version = 17;         // shown divided by 10
  bool solaris = false;     // platform bit of the writer
  std::uint8_t flags = 0;
  std::int32_t sampleCount = 0;  // frames per channel

  int blockLength() const { return 1 << ((flags & format::kBlockIndexMask) + format::kBlockIndexBase); }
  bool stereo() const { return (flags & format::kFlagStereo) != 0; }
  bool adaptive() const { return (flags & format::kFlagAdaptive) != 0; }
  bool eightBit() const { return (flags & format::kFlagEightBit) != 0; }
  bool headerCopy() const { return (flags & format::kFlagHeaderCopy) != 0; }
  bool jointStereo() const { return (flags & format::kFlagJointStereo) != 0; }
};

std::uint8_t headerFlags(const PcmLayout& layout, bool joint, Adaptation level, int blockLengthIndex);
void writeFileHeader(OutputStream& output, std::uint8_t flags, std::int32_t sampleCount);
// Reads the six header bytes; a shorter file is damaged. The version is not tested here.
FileHeader readFileHeader(InputStream& input);
const char* platformWord(const FileHeader& header);

// False when a file starting with these bytes cannot be a compressed file: it
// is empty, a RIFF file, its sample count is above 2^31 - 1, or it is shorter
// (total size, -1: unknown: then only the RIFF test applies) than one
// segment byte per block its header announces. Short heads pass: the decoder
// names what is wrong with them.
bool looksCompressed(const std::uint8_t* head, std::size_t headSize, std::int64_t totalSize);
// Whether a file of totalSize bytes (-1: unknown) has room for one segment
// byte per block its header announces.
bool holdsItsBlocks(const FileHeader& header, std::int64_t totalSize);

// Header copy: one length byte, then the bytes themselves.
void writeHeaderCopy(OutputStream& output, const std::uint8_t* bytes, int length);
// The bytes of a header copy; a file that ends inside it is damaged.
std::vector<std::uint8_t> readHeaderCopy(InputStream& input);

// Number of blocks of n frames, and the frames of a final partial block (0: none).
std::int64_t blockCount(std::int64_t frames, int blockLength);
int finalBlockFrames(std::int64_t frames, int blockLength);
// Segment length of the final partial block: it is never split, and with
// adaptation on it shrinks to N/4 or N/2 when the frames fit.
int finalSegmentLength(int blockLength, int finalFrames, bool adaptive);

// The fixed fields that open every segment record: the segment byte (kind and
// length exponent s, 2^s samples) and, for a lagged transform segment of a
// joint-stereo file, the lag byte. Written and read only here.
struct SegmentHeader {
  format::SegmentKind kind = format::SegmentKind::Zero;
  int s = format::kMinSegmentExponent;
  int lag = format::kNoJointStereo;  // for LaggedTransform only
};

void writeSegmentHeader(OutputStream& output, const SegmentHeader& header);
// A lagged segment in a file without the joint-stereo flag has no lag byte and
// reads as a plain transform segment.
SegmentHeader readSegmentHeader(InputStream& input, bool jointStereo);
// The header of a transform segment: lagged exactly when it carries a lag.
SegmentHeader transformHeader(int s, int lag);

void writeZeroSegment(OutputStream& output, int s);
void writeConstantSegment(OutputStream& output, int s, std::int16_t value);
std::int16_t readConstantValue(InputStream& input);

// One byte of a compressed file; its end here means a damaged file.
std::uint8_t readFileByte(InputStream& input, const char* where);

}  // namespace qola
