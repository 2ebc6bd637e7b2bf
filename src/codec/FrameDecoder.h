// The seeking decoder: sample frames of a compressed file from any position,
// decoded block by block on the caller's thread.
//
// A block is decoded from its first byte on, so reaching a frame means
// reaching the byte where its block starts. The decoder keeps the places it
// can start from (entry points: the first block, and every indexed unit when
// the file has a block index) and decodes forward from the nearest one before
// the wanted block; blocks passed over on the way are parsed but not rebuilt.
#pragma once

#include <qola/qola.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "codec/BlockDecoder.h"
#include "codec/BlockIndex.h"
#include "codec/FileRecords.h"
#include "common/Checksums.h"
#include "common/Stream.h"

namespace qola {

// What the decoder learns of a file when it opens it.
struct DecoderFacts {
  FileHeader header;
  int channels = 1;
  int sampleBits = 16;
  std::int64_t frames = 0;
  std::vector<std::uint8_t> wavHeader;  // the stored header copy (empty: none)
  int sampleRate = 0;                   // from a RIFF/WAVE header copy; 0: unknown
  bool trailer = false;                 // a valid trailer ends the file
  bool swapBytes = false;               // the trailer's byte order of 16-bit samples
  Md5Digest md5{};                      // of the original file, when trailer is set
  qola_info info{};                     // the same facts as the probe gives them
};

// A place decoding can start from: block `block` begins at byte `offset`.
struct EntryPoint {
  std::int64_t block = 0;
  std::int64_t offset = 0;
};

class FrameDecoder {
 public:
  // Reads the file header and header copy, and on a seekable input the
  // trailer at its end. A damaged or foreign file throws JobError.
  explicit FrameDecoder(InputStream& input);

  const DecoderFacts& facts() const { return facts_; }
  std::int64_t position() const { return position_; }
  // The next read starts at frame (0 .. frames); nothing is decoded yet.
  void seek(std::int64_t frame);
  // Up to `frames` interleaved frames into destination, as 8-bit unsigned or
  // 16-bit signed native samples; `done` counts those given, also when a
  // damaged block ends the read with JobError.
  void read(void* destination, std::size_t frames, std::size_t& done);
  // Whether a read from an earlier position can work (the input seeks).
  bool canGoBack() { return input_.seekable(); }

 private:
  void decodeBlock(std::int64_t block);
  // Puts the source before the entry's first block.
  void moveTo(std::size_t entry);
  // Reads an index unit's bytes and checks its CRC-32; the unit is then the source.
  void loadUnit(std::size_t index);
  // The last entry point at or before the block.
  std::size_t entryFor(std::int64_t block) const;
  void copyFrames(int first, int count, std::uint8_t* destination) const;

  InputStream& input_;
  DecoderFacts facts_;
  BlockLayout layout_;
  std::int64_t blocks_ = 0;
  std::vector<EntryPoint> entries_;  // ascending blocks, the first block first
  std::vector<UnitPlace> units_;     // the index's units, one per entry; empty without an index
  std::vector<std::uint8_t> unitBytes_;
  std::optional<InputStream> unitStream_;  // over unitBytes_
  std::int64_t unit_ = -1;                 // the unit in unitBytes_; -1: none
  InputStream* source_ = nullptr;          // where blocks are parsed from: the input or the unit
  std::optional<SegmentParser> parser_;  // built once the layout is known
  std::optional<BlockRebuilder> rebuilder_;
  DecodedBlock block_;
  const std::int16_t* second_ = nullptr;  // the current block's second channel
  std::int64_t current_ = -1;             // the block whose samples are held; -1: none
  std::int64_t next_ = 0;                 // the block the input stands before; -1: unknown
  std::int64_t position_ = 0;
};

}  // namespace qola
