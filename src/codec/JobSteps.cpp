#include "codec/JobSteps.h"

#include <algorithm>

#include "common/Fatal.h"

namespace qola {
namespace {

// Waits for blocks first .. last-1 (none before block 0) and drains them in order.
bool drainBlocks(WorkerPool& pool, std::int64_t first, std::int64_t last, const DrainSlot& drain) {
  for (std::int64_t k = std::max<std::int64_t>(first, 0); k < last; ++k) {
    const auto slot = static_cast<int>(k % pool.slots());
    pool.wait(slot);
    if (!drain(slot)) return false;
  }
  return true;
}

}  // namespace

int blockSlotCount(int threads) { return threads == 1 ? 1 : 2 * threads; }

bool runBlockRing(WorkerPool& pool, std::int64_t blocks, const FillSlot& fill, const DrainSlot& drain,
                  const DrainSlot& salvage) {
  const int slotCount = pool.slots();
  for (std::int64_t k = 0; k < blocks; ++k) {
    if (!drainBlocks(pool, k - slotCount, k - slotCount + 1, drain)) return false;  // the slot's block before
    const auto slot = static_cast<int>(k % slotCount);
    try {
      fill(k, slot);
    } catch (const JobError&) {
      if (!salvage) throw;
      if (!drainBlocks(pool, k - slotCount + 1, k, drain) || !salvage(slot)) return false;
      throw;
    }
    pool.submit(slot);
  }
  return drainBlocks(pool, blocks - slotCount, blocks, drain);
}

void showProgress(ProgressSink& sink, std::int64_t done, std::int64_t total) {
  sink.setProgress(static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total)));
}

void stopJob(InputStream& input, OutputStream& output) {
  output.close();
  input.close();
}

void endJob(const qola_result& result, InputStream& input, OutputStream& output, ProgressSink& sink) {
  output.close();
  input.close();
  sink.finish(result);
  sink.setProgress(0);
}

void endRestore(qola_result& result, InputStream& input, OutputStream& output, ProgressSink& sink) {
  output.flush();
  result.original_size = output.position();
  endJob(result, input, output, sink);
}

}  // namespace qola
