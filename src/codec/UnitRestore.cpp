#include "codec/UnitRestore.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "common/Fatal.h"
#include "common/WorkerPool.h"

namespace qola {
namespace {

// Units in flight per thread: enough that no worker waits for the reads and
// writes, few enough that memory stays a few units per thread.
constexpr int kSlotsPerThread = 2;

struct UnitSlot {
  std::int64_t unit = 0;
  std::vector<std::uint8_t> coded;  // the unit's bytes
  std::vector<std::uint8_t> pcm;    // what it restores to
  bool damaged = false;             // its CRC-32 failed: pcm is silence
};

// The output's bytes of `frames` frames of silence: sample value 0.
void fillSilence(const BlockLayout& layout, int frames, std::vector<std::uint8_t>& pcm) {
  const std::size_t count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(layout.channels);
  pcm.assign(layout.eightBit ? count : 2 * count, layout.eightBit ? 0x80 : 0x00);
}

void decodeOrSilence(UnitDecoder& decoder, const UnitPlace& unit, UnitSlot& slot) {
  slot.pcm.clear();
  slot.damaged = !unitIntact(unit, slot.coded);
  if (slot.damaged) {
    fillSilence(decoder.parser.layout, unit.frames, slot.pcm);
  } else {
    decodeUnit(decoder, unit, slot.coded, slot.pcm);
  }
}

// m:ss.mmm, or h:mm:ss.mmm from an hour on.
std::string timeOf(std::int64_t frame, int sampleRate) {
  const std::int64_t ms = frame * 1000 / sampleRate;
  const std::int64_t s = ms / 1000, m = s / 60, h = m / 60;
  char text[48];
  if (h > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(h),
                  static_cast<long long>(m % 60), static_cast<long long>(s % 60),
                  static_cast<long long>(ms % 1000));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(m),
                  static_cast<long long>(s % 60), static_cast<long long>(ms % 1000));
  }
  return text;
}

void readUnit(const UnitPlace& unit, InputStream& input, UnitSlot& slot) {
  allocateBuffer(slot.coded, unit.length, "buff");
  if (input.read(slot.coded.data(), slot.coded.size()) != slot.coded.size()) {
    fileEndsEarly("before its last segment");
  }
}

// Writes the PCM of one unit in file order, with the progress.
class UnitWriter {
 public:
  UnitWriter(const UnitRestore& job, OutputStream& output, ProgressSink& sink)
      : job_(job), output_(output), sink_(sink) {}

  bool write(const UnitSlot& slot, std::vector<DamagedRange>& damaged) {
    output_.write(slot.pcm.data(), slot.pcm.size());
    if (output_.failed()) return false;
    const UnitPlace& unit = job_.units[static_cast<std::size_t>(slot.unit)];
    if (slot.damaged) {
      const std::int64_t last = unit.firstFrame + unit.frames - 1;
      if (!damaged.empty() && damaged.back().last + 1 == unit.firstFrame) {
        damaged.back().last = last;
      } else {
        damaged.push_back({unit.firstFrame, last});
      }
    }
    done_ += unit.frames;
    sink_.setProgress(static_cast<int>(static_cast<double>(done_) * 100.0 / static_cast<double>(job_.frames)));
    return true;
  }

 private:
  const UnitRestore& job_;
  OutputStream& output_;
  ProgressSink& sink_;
  std::int64_t done_ = 0;
};

}  // namespace

bool restoreUnits(const UnitRestore& job, int threads, InputStream& input, OutputStream& output, ProgressSink& sink,
                  std::vector<DamagedRange>& damaged) {
  const int slotCount = threads == 1 ? 1 : kSlotsPerThread * threads;
  const int workers = threads == 1 ? 0 : threads;  // the job's thread only reads and writes
  std::vector<UnitSlot> slots(static_cast<std::size_t>(slotCount));
  std::vector<std::unique_ptr<UnitDecoder>> decoders;
  for (int i = 0; i < std::max(1, workers); ++i)
    decoders.push_back(std::make_unique<UnitDecoder>(job.layout, job.frames));
  const auto decode = [&](int slot, int worker) {
    UnitSlot& s = slots[static_cast<std::size_t>(slot)];
    decodeOrSilence(*decoders[static_cast<std::size_t>(worker)], job.units[static_cast<std::size_t>(s.unit)], s);
  };
  const DigestSetAside aside(output);
  const auto digestUnit = [&](int slot) {
    const std::vector<std::uint8_t>& pcm = slots[static_cast<std::size_t>(slot)].pcm;
    if (aside.digest() != nullptr) aside.digest()->update(pcm.data(), pcm.size());
  };
  UnitWriter writer(job, output, sink);
  // Declared after what its workers use, so that they stop first.
  WorkerPool pool(workers, slotCount, decode, digestUnit);
  const auto count = static_cast<std::int64_t>(job.units.size());
  for (std::int64_t u = 0; u < count + slotCount; ++u) {
    const auto slot = static_cast<int>(u % slotCount);
    UnitSlot& s = slots[static_cast<std::size_t>(slot)];
    if (u >= slotCount) {
      try {
        pool.wait(slot);
      } catch (const JobError&) {
        writer.write(s, damaged);  // the blocks before the damage
        throw;
      }
      if (!writer.write(s, damaged)) return false;
    }
    if (u >= count) continue;
    s.unit = u;
    readUnit(job.units[static_cast<std::size_t>(u)], input, s);
    pool.submit(slot);
  }
  return true;
}

std::string framesText(std::int64_t first, std::int64_t last, int sampleRate) {
  std::string text = std::to_string(first) + " to " + std::to_string(last);
  if (sampleRate > 0) text += " (" + timeOf(first, sampleRate) + " to " + timeOf(last + 1, sampleRate) + ")";
  return text;
}

JobError damagedUnitsError(const std::vector<DamagedRange>& damaged, int sampleRate) {
  std::string ranges;
  for (const DamagedRange& range : damaged) {
    if (!ranges.empty()) ranges += ", ";
    ranges += framesText(range.first, range.last, sampleRate);
  }
  return JobError{Failure::Checksum,
                  "checksum MISMATCH: the audio of frames " + ranges +
                      " is damaged and restored as silence; every other frame is restored exactly",
                  1};
}

}  // namespace qola
