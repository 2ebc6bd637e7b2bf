#include "codec/FileRecords.h"

#include <array>
#include <cstring>

#include "common/ByteOrder.h"
#include "common/Fatal.h"

namespace qola {

std::uint8_t headerFlags(const PcmLayout& layout, bool joint, Adaptation level, int blockLengthIndex) {
  std::uint8_t flags = static_cast<std::uint8_t>(blockLengthIndex & format::kBlockIndexMask);
  if (layout.channels == 2) flags |= format::kFlagStereo;
  if (joint) flags |= format::kFlagJointStereo;
  if (level != Adaptation::None) flags |= format::kFlagAdaptive;
  if (layout.eightBit) flags |= format::kFlagEightBit;
  if (layout.headerLength == format::kWavHeaderSize) flags |= format::kFlagHeaderCopy;
  return flags;
}

void writeFileHeader(OutputStream& output, std::uint8_t flags, std::int32_t sampleCount) {
  std::array<std::uint8_t, format::kFileHeaderSize> bytes{};
  bytes[0] = format::kVersionByte;
  bytes[1] = flags;
  storeBig32(bytes.data() + 2, static_cast<std::uint32_t>(sampleCount));
  output.write(bytes.data(), bytes.size());
}

namespace {
// A WAV file's first bytes: given to a restore, it is refused at once.
constexpr std::uint8_t kRiff[] = {'R', 'I', 'F', 'F'};
}  // namespace

FileHeader readFileHeader(InputStream& input) {
  std::array<std::uint8_t, format::kFileHeaderSize> bytes{};
  const std::size_t got = input.read(bytes.data(), bytes.size());
  if (got == 0) throw JobError{Failure::NotQola, "The input is empty, not a compressed file", 1};
  if (got >= 4 && std::memcmp(bytes.data(), kRiff, sizeof kRiff) == 0) {
    throw JobError{Failure::NotQola, "The input is a WAV file, not a compressed file", 1};
  }
  if (got != bytes.size()) damagedFile("the file is too short for a file header");
  FileHeader header;
  header.solaris = (bytes[0] & format::kPlatformBit) != 0;
  header.version = bytes[0] & format::kVersionMask;
  header.flags = bytes[1];
  header.sampleCount = static_cast<std::int32_t>(loadBig32(bytes.data() + 2));
  return header;
}

const char* platformWord(const FileHeader& header) { return header.solaris ? "Solaris" : "DOS"; }

bool looksCompressed(const std::uint8_t* head, std::size_t headSize, std::int64_t totalSize) {
  if (head == nullptr || headSize == 0 || totalSize == 0) return false;  // not even a header
  if (headSize >= sizeof kRiff && std::memcmp(head, kRiff, sizeof kRiff) == 0) return false;
  if (headSize < static_cast<std::size_t>(format::kFileHeaderSize)) return true;
  if ((head[0] & format::kVersionMask) < format::kMinVersion || totalSize < 0) return true;
  FileHeader header;
  header.flags = head[1];
  header.sampleCount = static_cast<std::int32_t>(loadBig32(head + 2));
  if (header.sampleCount < 0) return false;  // no writer stores a count above 2^31 - 1
  return holdsItsBlocks(header, totalSize);
}

bool holdsItsBlocks(const FileHeader& header, std::int64_t totalSize) {
  if (totalSize < 0 || header.sampleCount <= 0) return true;
  const std::int64_t samples = std::int64_t{header.sampleCount} * (header.stereo() ? 2 : 1);
  const std::int64_t blocks = (samples + header.blockLength() - 1) / header.blockLength();
  return totalSize >= format::kFileHeaderSize + (header.headerCopy() ? 1 : 0) + blocks;
}

void writeHeaderCopy(OutputStream& output, const std::uint8_t* bytes, int length) {
  output.putByte(static_cast<std::uint8_t>(length));
  output.write(bytes, static_cast<std::size_t>(length));
}

std::vector<std::uint8_t> readHeaderCopy(InputStream& input) {
  const int length = readFileByte(input, "inside the header copy");
  std::vector<std::uint8_t> copy;
  allocateBuffer(copy, static_cast<std::size_t>(length), "bcpy");
  if (input.read(copy.data(), copy.size()) != copy.size()) fileEndsEarly("inside the header copy");
  return copy;
}

std::int64_t blockCount(std::int64_t frames, int blockLength) {
  return (frames + blockLength - 1) / blockLength;
}

int finalBlockFrames(std::int64_t frames, int blockLength) {
  return static_cast<int>(frames % blockLength);
}

int finalSegmentLength(int blockLength, int finalFrames, bool adaptive) {
  const int N = blockLength;
  if (!adaptive) return N;
  if (finalFrames <= N / 4 && N >= 512) return N / 4;
  if (finalFrames <= N / 2 && N >= 256) return N / 2;
  return N;
}

void writeSegmentHeader(OutputStream& output, const SegmentHeader& header) {
  output.putByte(static_cast<std::uint8_t>((static_cast<int>(header.kind) << format::kSegmentKindShift) |
                                           (header.s - format::kMinSegmentExponent)));
  if (header.kind == format::SegmentKind::LaggedTransform) output.putByte(static_cast<std::uint8_t>(header.lag));
}

SegmentHeader readSegmentHeader(InputStream& input, bool jointStereo) {
  const std::uint8_t byte = readFileByte(input, "before its last segment");
  SegmentHeader header;
  header.kind = static_cast<format::SegmentKind>(byte >> format::kSegmentKindShift);
  header.s = (byte & format::kSegmentExponentMask) + format::kMinSegmentExponent;
  if (header.kind == format::SegmentKind::LaggedTransform) {
    if (jointStereo) {
      header.lag = static_cast<std::int8_t>(readFileByte(input, "inside a segment"));
    } else {
      header.kind = format::SegmentKind::Transform;
    }
  }
  return header;
}

SegmentHeader transformHeader(int s, int lag) {
  if (lag == format::kNoJointStereo) return {format::SegmentKind::Transform, s, lag};
  return {format::SegmentKind::LaggedTransform, s, lag};
}

void writeZeroSegment(OutputStream& output, int s) { writeSegmentHeader(output, {format::SegmentKind::Zero, s}); }

void writeConstantSegment(OutputStream& output, int s, std::int16_t value) {
  writeSegmentHeader(output, {format::SegmentKind::Constant, s});
  std::array<std::uint8_t, 2> bytes{};
  storeBig16(bytes.data(), static_cast<std::uint16_t>(value));
  output.write(bytes.data(), bytes.size());
}

std::int16_t readConstantValue(InputStream& input) {
  const std::uint8_t high = readFileByte(input, "inside a constant segment");
  const std::uint8_t low = readFileByte(input, "inside a constant segment");
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((high << 8) | low));
}

std::uint8_t readFileByte(InputStream& input, const char* where) {
  const int byte = input.getByte();
  if (byte < 0) fileEndsEarly(where);
  return static_cast<std::uint8_t>(byte);
}

}  // namespace qola
