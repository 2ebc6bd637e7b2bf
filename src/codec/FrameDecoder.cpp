#include "codec/FrameDecoder.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "codec/BlockIndex.h"
#include "codec/Probe.h"
#include "common/ByteOrder.h"
#include "common/Fatal.h"
#include "common/FormatConstants.h"

namespace qola {

FrameDecoder::FrameDecoder(InputStream& input) : input_(input), source_(&input) {
  const FileFacts file = readFileFacts(input);
  facts_.info = infoOf(file);
  const FileHeader& header = facts_.header = file.header;
  layout_.N = header.blockLength();
  layout_.channels = file.channels();
  layout_.adaptive = header.adaptive();
  layout_.jointStereo = header.jointStereo();
  layout_.eightBit = header.eightBit();
  facts_.channels = layout_.channels;
  facts_.sampleBits = file.sampleBits();
  facts_.frames = file.frames();
  layout_.finalFrames = facts_.frames > 0 ? finalBlockFrames(facts_.frames, layout_.N) : 0;
  blocks_ = blockCount(facts_.frames, layout_.N);
  facts_.wavHeader = file.wavHeader;
  facts_.sampleRate = file.sampleRate;
  entries_.push_back({0, file.audioOffset});
  units_ = readFileIndex(input, facts_.frames, layout_.N, file.audioOffset);
  if (!units_.empty()) {
    entries_.clear();
    for (const UnitPlace& unit : units_) entries_.push_back({unit.firstFrame / layout_.N, unit.offset});
  }
  if (file.trailer) {
    facts_.trailer = true;
    facts_.swapBytes = file.trailer->swapBytes && !layout_.eightBit;
    facts_.md5 = file.trailer->md5;
  }
  parser_.emplace(layout_);
  rebuilder_.emplace(layout_);
  allocateBlock(layout_, block_);
}

void FrameDecoder::seek(std::int64_t frame) {
  if (frame < 0 || frame > facts_.frames) {
    throw JobError{Failure::Argument, "the position is outside the file's frames", 1};
  }
  position_ = frame;
}

void FrameDecoder::read(void* destination, std::size_t frames, std::size_t& done) {
  done = 0;
  auto* bytes = static_cast<std::uint8_t*>(destination);
  const std::size_t frameBytes = static_cast<std::size_t>(facts_.channels) * (layout_.eightBit ? 1 : 2);
  while (done < frames && position_ < facts_.frames) {
    const std::int64_t block = position_ / layout_.N;
    decodeBlock(block);
    const auto first = static_cast<int>(position_ - block * layout_.N);
    const int count = static_cast<int>(std::min<std::int64_t>(block_.frames - first, frames - done));
    copyFrames(first, count, bytes + done * frameBytes);
    done += static_cast<std::size_t>(count);
    position_ += count;
  }
}

std::size_t FrameDecoder::entryFor(std::int64_t block) const {
  const auto after = std::upper_bound(entries_.begin(), entries_.end(), block,
                                      [](std::int64_t wanted, const EntryPoint& entry) { return wanted < entry.block; });
  return static_cast<std::size_t>(after - entries_.begin()) - 1;  // the first entry is block 0
}

void FrameDecoder::moveTo(std::size_t entry) {
  next_ = -1;
  if (units_.empty()) {
    if (!input_.seekTo(entries_[entry].offset)) {
      throw JobError{Failure::Argument, "the input cannot seek: only forward reads from the start are possible", 1};
    }
    source_ = &input_;
  } else if (unit_ == static_cast<std::int64_t>(entry)) {
    unitStream_->seekTo(0);
  } else {
    loadUnit(entry);
  }
  next_ = entries_[entry].block;
}

void FrameDecoder::loadUnit(std::size_t index) {
  const UnitPlace& unit = units_[index];
  unit_ = -1;
  unitStream_.reset();
  const std::string frames = " (frames " + std::to_string(unit.firstFrame) + " .. " +
                             std::to_string(unit.firstFrame + unit.frames - 1) + ")";
  // The index was checked against the file's length, so a unit is never
  // larger than the file.
  unitBytes_.resize(unit.length);
  if (!input_.seekTo(unit.offset) || input_.read(unitBytes_.data(), unitBytes_.size()) != unitBytes_.size()) {
    damagedFile("index unit " + std::to_string(index) + frames + " cannot be read");
  }
  if (!unitIntact(unit, unitBytes_)) {
    damagedFile("index unit " + std::to_string(index) + frames + " does not match its CRC-32");
  }
  unitStream_.emplace(std::span<const std::uint8_t>(unitBytes_));
  source_ = &*unitStream_;
  unit_ = static_cast<std::int64_t>(index);
}

void FrameDecoder::decodeBlock(std::int64_t block) {
  if (current_ == block) return;
  current_ = -1;
  const std::size_t entry = entryFor(block);
  // Restart at the nearest entry point when the input is past the block, its
  // place is unknown after an error, an entry point lies closer ahead, or the
  // block lies in another index unit than the one read.
  const bool otherUnit = !units_.empty() && unit_ != static_cast<std::int64_t>(entry);
  if (next_ < 0 || next_ > block || entries_[entry].block > next_ || otherUnit) moveTo(entry);
  try {
    for (; next_ < block; ++next_) parseBlock(*parser_, facts_.frames - next_ * layout_.N, *source_, block_);
    parseBlock(*parser_, facts_.frames - block * layout_.N, *source_, block_);
    const bool unitEnds = entry + 1 == entries_.size() ? block + 1 == blocks_ : block + 1 == entries_[entry + 1].block;
    if (!units_.empty() && unitEnds && source_->hasByte()) {
      damagedFile("the blocks of index unit " + std::to_string(entry) + " end before its bytes");
    }
  } catch (...) {
    next_ = -1;                 // the input stands somewhere inside the damage
    parser_.emplace(layout_);  // and the bit reader may hold its bits
    throw;
  }
  ++next_;
  second_ = rebuildSamples(*rebuilder_, block_);
  current_ = block;
}

void FrameDecoder::copyFrames(int first, int count, std::uint8_t* destination) const {
  const std::int16_t* left = block_.samples.data() + first;
  const std::int16_t* right = second_ != nullptr ? second_ + first : nullptr;
  if (layout_.eightBit) {
    // An 8-bit sample is held as its byte value - 128.
    const auto byte = [](std::int16_t value) { return static_cast<std::uint8_t>(static_cast<unsigned>(value) + 128u); };
    for (int i = 0; i < count; ++i) {
      if (right == nullptr) {
        destination[i] = byte(left[i]);
      } else {
        destination[2 * i] = byte(left[i]);
        destination[2 * i + 1] = byte(right[i]);
      }
    }
    return;
  }
  if (right == nullptr) {
    std::memcpy(destination, left, static_cast<std::size_t>(count) * sizeof(std::int16_t));
    return;
  }
  for (int i = 0; i < count; ++i) {
    const std::int16_t pair[2] = {left[i], right[i]};
    std::memcpy(destination + 4 * static_cast<std::size_t>(i), pair, sizeof pair);
  }
}

}  // namespace qola
