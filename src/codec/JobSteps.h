// The steps every job takes the same way: the ring of block slots, the
// progress it shows, the stop after a failed output, and the end that hands
// over its numbers.
#pragma once

#include <qola/qola.h>

#include <cstdint>
#include <functional>

#include "codec/Jobs.h"
#include "common/Stream.h"
#include "common/WorkerPool.h"

namespace qola {

// Blocks in flight in a job's ring of block slots: one when the job's thread
// works alone; else two per thread, enough that no thread waits for the
// job's thread, few enough that memory stays a few blocks per thread.
int blockSlotCount(int threads);

// fill(k, slot) reads block k into the slot on the job's thread.
using FillSlot = std::function<void(std::int64_t block, int slot)>;
// Writes the block the slot holds; false when the output failed.
using DrainSlot = std::function<bool(int slot)>;

// Runs blocks 0 .. blocks-1 through the pool's ring of slots: block k is
// filled into slot k % pool.slots() and handed to the pool; when the slot
// comes round again the job's thread waits for it and drains it, so the
// blocks are written in file order with up to pool.slots() in flight.
// When filling block k throws a JobError and salvage is given, the blocks in
// flight before k are drained first, then salvage(slot) writes what block k's
// slot holds (no worker holds a slot then), then the error goes on.
// Returns false when the output failed.
bool runBlockRing(WorkerPool& pool, std::int64_t blocks, const FillSlot& fill, const DrainSlot& drain,
                  const DrainSlot& salvage = nullptr);

// Shows done of total (both in the same unit) as whole percent, rounded down.
void showProgress(ProgressSink& sink, std::int64_t done, std::int64_t total);

// A job that stops early (its input refused, or its output failed: a full
// disk or the file size limit) closes both streams; the caller reports why.
void stopJob(InputStream& input, OutputStream& output);

// Closes the output, then the input, hands over the result and sets the
// progress back to 0.
void endJob(const qola_result& result, InputStream& input, OutputStream& output, ProgressSink& sink);

// The end of a restore: the output flushed, its size the result's
// original size, then endJob.
void endRestore(qola_result& result, InputStream& input, OutputStream& output, ProgressSink& sink);

}  // namespace qola
