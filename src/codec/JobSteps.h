// The steps every job takes the same way: the progress it shows, the stop
// after a failed output, and the end that hands over its numbers.
#pragma once

#include <qola/qola.h>

#include <cstdint>

#include "codec/Jobs.h"
#include "common/Stream.h"

namespace qola {

// Blocks in flight in a job's ring of block slots: one when the job's thread
// works alone; else two per thread, enough that no thread waits for the
// job's thread, few enough that memory stays a few blocks per thread.
int blockSlotCount(int threads);

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
