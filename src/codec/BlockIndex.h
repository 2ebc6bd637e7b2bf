// The block index of the trailer: the audio cut into units of a fixed number
// of frames (whole blocks), each with its length in bytes and the CRC-32 of
// those bytes. With it a reader starts at any unit, restores units on several
// threads at once and names the units a damaged file has lost.
//
// A unit needs nothing from the blocks before it: a block's joint-stereo lag
// and difference flag end with the block, and the arithmetic decoder and the
// coefficient bit reader start afresh with every segment. Its place is all it
// needs: its first frame, which tells how many frames are left and so whether
// its last block is the final partial one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/BlockDecoder.h"
#include "common/Stream.h"

namespace qola {

struct IndexEntry {
  std::uint32_t length = 0;  // bytes
  std::uint32_t crc = 0;     // CRC-32 of those bytes
};

// The index as the trailer stores it.
struct BlockIndex {
  std::int64_t unitFrames = 0;  // U; 0: the file has no index
  std::vector<IndexEntry> units;
};

// U for a block length: the fewest whole blocks of at least kIndexUnitMinFrames.
std::int64_t indexUnitFrames(int blockLength);
// u: units of U frames that hold `frames` frames.
std::int64_t indexUnitCount(std::int64_t frames, std::int64_t unitFrames);

// Collects the index while the blocks are written in file order.
class IndexBuilder {
 public:
  IndexBuilder(int blockLength, std::int64_t frames);
  // The coded bytes of the next block.
  void addBlock(const std::uint8_t* bytes, std::size_t count);
  // The index once every block is added; it holds no unit when a single
  // unit (or none) holds the file, since it would tell nothing.
  BlockIndex finish() const;

 private:
  std::int64_t blocksPerUnit_;
  std::int64_t blocksInUnit_ = 0;
  BlockIndex index_;
};

// Where one unit lies in its file and which frames it holds.
struct UnitPlace {
  std::int64_t firstFrame = 0;
  int frames = 0;
  std::int64_t offset = 0;  // of its first byte in the file
  std::uint32_t length = 0;
  std::uint32_t crc = 0;
};

// The units of an index placed in a file of `frames` frames with block length
// N whose audio occupies the bytes audioStart .. audioEnd - 1. Empty when the
// index does not fit that file (another file's, or the audio was cut or
// spliced): then it cannot be trusted for anything.
std::vector<UnitPlace> placeUnits(const BlockIndex& index, std::int64_t frames, int blockLength,
                                  std::int64_t audioStart, std::int64_t audioEnd);

// The placed units of the index in the trailer at the end of a seekable
// input, read without moving its position; empty without one (no trailer, a
// trailer without an index, a pipe) or when it does not fit the file.
std::vector<UnitPlace> readFileIndex(InputStream& input, std::int64_t frames, int blockLength,
                                     std::int64_t audioStart);

// The working memory of one thread that decodes units.
struct UnitDecoder {
  UnitDecoder(const BlockLayout& layout, std::int64_t frames);

  std::int64_t frames;  // n, of the whole file
  SegmentParser parser;
  BlockRebuilder rebuilder;
  DecodedBlock block;
};

// True when bytes are the unit's, as its length and CRC-32 say.
bool unitIntact(const UnitPlace& unit, std::span<const std::uint8_t> bytes);

// Decodes the bytes of one unit, whose CRC-32 the caller has checked with
// unitIntact, into the output's PCM bytes, appended to pcm. Blocks that do
// not parse, or that do not end exactly with the unit's bytes, end it as a
// damaged file; pcm then holds the blocks decoded before the damage.
void decodeUnitBlocks(UnitDecoder& decoder, const UnitPlace& unit, std::span<const std::uint8_t> bytes,
                      std::vector<std::uint8_t>& pcm);

}  // namespace qola
