#include "codec/BlockIndex.h"

#include <algorithm>
#include <string>

#include "codec/FileRecords.h"
#include "codec/Trailer.h"
#include "common/Checksums.h"
#include "common/Fatal.h"
#include "common/FormatConstants.h"

namespace qola {
namespace {

std::string frameRange(const UnitPlace& unit) {
  return std::to_string(unit.firstFrame) + " to " + std::to_string(unit.firstFrame + unit.frames - 1);
}

}  // namespace

std::int64_t indexUnitFrames(int blockLength) {
  const std::int64_t blocks = (format::kIndexUnitMinFrames + blockLength - 1) / blockLength;
  return blocks * blockLength;
}

std::int64_t indexUnitCount(std::int64_t frames, std::int64_t unitFrames) {
  return (frames + unitFrames - 1) / unitFrames;
}

IndexBuilder::IndexBuilder(int blockLength, std::int64_t frames)
    : blocksPerUnit_(indexUnitFrames(blockLength) / blockLength) {
  index_.unitFrames = indexUnitFrames(blockLength);
  index_.units.reserve(static_cast<std::size_t>(indexUnitCount(frames, index_.unitFrames)));
}

void IndexBuilder::addBlock(const std::uint8_t* bytes, std::size_t count) {
  if (blocksInUnit_ == blocksPerUnit_ || index_.units.empty()) {
    index_.units.emplace_back();
    blocksInUnit_ = 0;
  }
  IndexEntry& unit = index_.units.back();
  unit.length += static_cast<std::uint32_t>(count);
  unit.crc = crc32Update(unit.crc, bytes, count);
  ++blocksInUnit_;
}

BlockIndex IndexBuilder::finish() const {
  if (index_.units.size() < 2) return BlockIndex{};
  return index_;
}

std::vector<UnitPlace> placeUnits(const BlockIndex& index, std::int64_t frames, int blockLength,
                                  std::int64_t audioStart, std::int64_t audioEnd) {
  const std::int64_t U = index.unitFrames;
  if (U <= 0 || U % blockLength != 0 || frames <= 0 ||
      static_cast<std::int64_t>(index.units.size()) != indexUnitCount(frames, U)) {
    return {};
  }
  std::vector<UnitPlace> places;
  places.reserve(index.units.size());
  std::int64_t offset = audioStart;
  for (const IndexEntry& entry : index.units) {
    const std::int64_t first = static_cast<std::int64_t>(places.size()) * U;
    // Every block takes at least its segment byte.
    if (entry.length < (std::min(U, frames - first) + blockLength - 1) / blockLength) return {};
    places.push_back({first, static_cast<int>(std::min(U, frames - first)), offset, entry.length, entry.crc});
    offset += entry.length;
  }
  if (offset != audioEnd) return {};
  return places;
}

std::vector<UnitPlace> readFileIndex(InputStream& input, std::int64_t frames, int blockLength,
                                     std::int64_t audioStart) {
  const auto found = readTrailerAtEnd(input, maxTrailerLength(frames, blockLength));
  if (!found) return {};
  const std::int64_t audioEnd = input.size() - static_cast<std::int64_t>(found->length);
  return placeUnits(found->trailer.index, frames, blockLength, audioStart, audioEnd);
}

UnitDecoder::UnitDecoder(const BlockLayout& layout, std::int64_t totalFrames)
    : frames(totalFrames), parser(layout), rebuilder(layout) {
  allocateBlock(layout, block);
}

bool unitIntact(const UnitPlace& unit, std::span<const std::uint8_t> bytes) {
  return bytes.size() == unit.length && crc32(bytes.data(), bytes.size()) == unit.crc;
}

void decodeUnitBlocks(UnitDecoder& decoder, const UnitPlace& unit, std::span<const std::uint8_t> bytes,
                      std::vector<std::uint8_t>& pcm) {
  const int N = decoder.parser.layout.N;
  InputStream input(bytes);
  DecodedBlock& block = decoder.block;
  for (std::int64_t frame = unit.firstFrame; frame < unit.firstFrame + unit.frames; frame += N) {
    parseBlock(decoder.parser, decoder.frames - frame, input, block);
    rebuildBlock(decoder.rebuilder, block);
    pcm.insert(pcm.end(), block.bytes.begin(), block.bytes.end());
  }
  if (input.hasByte()) damagedFile("the blocks of frames " + frameRange(unit) + " end before their index says");
}

}  // namespace qola
