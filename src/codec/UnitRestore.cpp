#include "codec/UnitRestore.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "codec/JobSteps.h"
#include "common/Fatal.h"

namespace qola {
namespace {

// Units in flight per thread. While the job's thread decodes one unit it
// writes none, so the others must find enough read units to go on with: unit
// costs vary (a silent unit decodes many times faster than a loud one), and
// with four per thread the worker of a two-thread restore of speech waited
// for work before more than one unit in three. A unit holds at most 4096
// frames, so a slot holds at most 16 KB of audio.
constexpr int kSlotsPerThread = 16;

struct UnitSlot {
  std::int64_t unit = 0;
  std::vector<std::uint8_t> coded;  // the unit's bytes
  std::vector<std::uint8_t> pcm;    // what it restores to
  bool damaged = false;             // its CRC-32 failed: pcm is silence
  std::exception_ptr error;         // it did not decode: pcm holds the blocks before the damage
};

// The output's bytes of `frames` frames of silence: sample value 0.
void fillSilence(const BlockLayout& layout, int frames, std::vector<std::uint8_t>& pcm) {
  const std::size_t count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(layout.channels);
  pcm.assign(layout.eightBit ? count : 2 * count, layout.eightBit ? 0x80 : 0x00);
}

// Never throws: a unit's failure travels with its slot to the job's thread.
void decodeOrSilence(UnitDecoder& decoder, const UnitPlace& unit, UnitSlot& slot) {
  slot.pcm.clear();
  slot.error = nullptr;
  try {
    slot.damaged = !unitIntact(unit, slot.coded);
    if (slot.damaged) {
      fillSilence(decoder.parser.layout, unit.frames, slot.pcm);
    } else {
      decodeUnitBlocks(decoder, unit, slot.coded, slot.pcm);
    }
  } catch (...) {
    slot.error = std::current_exception();
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
    showProgress(sink_, done_, job_.frames);
    return true;
  }

 private:
  const UnitRestore& job_;
  OutputStream& output_;
  ProgressSink& sink_;
  std::int64_t done_ = 0;
};

// The units in file order pass through a ring of slots, unit u through
// slot u % slots: the job's thread reads them in, any thread decodes the
// oldest one waiting, and the job's thread writes them out in order (the
// output, its digest and the progress stay on the job's thread, where a
// caller's callbacks expect them). Waiting for the next unit to write, the
// job's thread decodes a waiting unit itself, so that every thread decodes
// and the threads hand each other a unit without sleeping.
class UnitPipeline {
 public:
  // Short of memory or threads, the restore goes on with the threads that
  // started (the job's at least), and holds units in flight for those alone.
  UnitPipeline(const UnitRestore& job, int threads)
      : job_(job),
        slots_(static_cast<std::size_t>(threads == 1 ? 1 : kSlotsPerThread * threads)),
        done_(slots_.size(), 0) {
    decoders_.reserve(static_cast<std::size_t>(threads));
    workers_.reserve(static_cast<std::size_t>(threads - 1));
    decoders_.push_back(std::make_unique<UnitDecoder>(job.layout, job.frames));
    for (int i = 1; i < threads; ++i) {
      try {
        decoders_.push_back(std::make_unique<UnitDecoder>(job.layout, job.frames));
        workers_.emplace_back(&UnitPipeline::work, this, i);
      } catch (...) {  // no thread, or no memory for its decoder: those that started go on
        break;
      }
    }
    // No worker touches these before the first unit is read.
    decoders_.resize(workers_.size() + 1);
    const std::size_t inFlight = workers_.empty() ? 1 : kSlotsPerThread * decoders_.size();
    slots_.resize(inFlight);
    done_.resize(inFlight);
  }

  ~UnitPipeline() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    unitReady_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  UnitPipeline(const UnitPipeline&) = delete;
  UnitPipeline& operator=(const UnitPipeline&) = delete;

  // Reads units into every free slot; a unit that cannot be read is kept
  // back until the units before it are written.
  void readAhead(InputStream& input, std::int64_t written) {
    std::int64_t last = read_;
    const std::int64_t end = std::min(unitCount(), written + static_cast<std::int64_t>(slots_.size()));
    for (; last < end && !readError_; ++last) {
      UnitSlot& slot = slotOf(last);
      slot.unit = last;
      try {
        readUnit(job_.units[static_cast<std::size_t>(last)], input, slot);
      } catch (const JobError&) {
        readError_ = std::current_exception();
        unreadable_ = last;
      }
    }
    if (readError_) last = unreadable_;
    if (last == read_) return;
    bool wake = false;
    {
      const std::lock_guard lock(mutex_);
      read_ = last;
      wake = idleWorkers_ > 0;
    }
    if (wake) unitReady_.notify_all();
  }

  // The slot of unit u once it is decoded; the job's thread decodes waiting
  // units meanwhile. Throws the read error that stopped the units at u.
  UnitSlot& awaitDecoded(std::int64_t u) {
    if (readError_ && u == unreadable_) std::rethrow_exception(readError_);
    const std::size_t index = slotIndex(u);
    std::unique_lock lock(mutex_);
    while (done_[index] == 0) {
      if (started_ < read_ && !failed_) {
        decodeNext(lock, 0);
      } else {
        awaited_ = u;
        unitDecoded_.wait(lock, [&] { return done_[index] != 0; });
        awaited_ = -1;
      }
    }
    done_[index] = 0;  // written next: free for the unit slots_.size() on
    return slots_[index];
  }

 private:
  std::int64_t unitCount() const { return static_cast<std::int64_t>(job_.units.size()); }
  std::size_t slotIndex(std::int64_t u) const {
    return static_cast<std::size_t>(u % static_cast<std::int64_t>(slots_.size()));
  }
  UnitSlot& slotOf(std::int64_t u) { return slots_[slotIndex(u)]; }

  // Takes the oldest waiting unit and decodes it with the lock let go.
  void decodeNext(std::unique_lock<std::mutex>& lock, int decoder) {
    const std::int64_t u = started_++;
    lock.unlock();
    UnitSlot& slot = slotOf(u);
    decodeOrSilence(*decoders_[static_cast<std::size_t>(decoder)], job_.units[static_cast<std::size_t>(u)], slot);
    lock.lock();
    // The job ends with the first unit that fails: none after it is decoded,
    // so that a restore short of memory holds one failure a thread, not one
    // a slot.
    if (slot.error) failed_ = true;
    done_[slotIndex(u)] = 1;
    if (awaited_ == u) unitDecoded_.notify_one();
  }

  void work(int decoder) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (stopping_) return;
      if (started_ < read_ && !failed_) {
        decodeNext(lock, decoder);
      } else {
        ++idleWorkers_;
        unitReady_.wait(lock);
        --idleWorkers_;
      }
    }
  }

  const UnitRestore& job_;
  std::vector<UnitSlot> slots_;
  std::vector<std::unique_ptr<UnitDecoder>> decoders_;  // one a thread, the job's first
  // Shared under mutex_: units [started_, read_) wait to be decoded.
  std::mutex mutex_;
  std::condition_variable unitReady_;    // for idle workers
  std::condition_variable unitDecoded_;  // for the job's thread, waiting for unit awaited_
  std::int64_t read_ = 0;
  std::int64_t started_ = 0;
  std::int64_t awaited_ = -1;
  std::vector<char> done_;  // a slot's unit is decoded, not yet written
  int idleWorkers_ = 0;
  bool stopping_ = false;
  bool failed_ = false;  // a unit did not decode
  // The job's thread's own: the first unit that could not be read, and why.
  std::exception_ptr readError_;
  std::int64_t unreadable_ = 0;
  // Last, so that the workers stop before what they use goes.
  std::vector<std::thread> workers_;
};

}  // namespace

bool restoreUnits(const UnitRestore& job, int threads, InputStream& input, OutputStream& output, ProgressSink& sink,
                  std::vector<DamagedRange>& damaged) {
  UnitWriter writer(job, output, sink);
  UnitPipeline pipeline(job, threads);
  const auto count = static_cast<std::int64_t>(job.units.size());
  for (std::int64_t u = 0; u < count; ++u) {
    pipeline.readAhead(input, u);
    const UnitSlot& slot = pipeline.awaitDecoded(u);
    if (slot.error) {
      try {
        std::rethrow_exception(slot.error);
      } catch (const JobError&) {
        writer.write(slot, damaged);  // the blocks before the damage
        throw;
      }
    }
    if (!writer.write(slot, damaged)) return false;
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
