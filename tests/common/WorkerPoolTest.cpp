// The worker pool hands every slot's result, or its error, back to the
// job's thread, with threads and without, and finishes the slots in the
// order they were handed over.
#include "common/WorkerPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "common/Fatal.h"

namespace qola {
namespace {

TEST(WorkerPool, ResultsAndErrorsReachTheJobsThreadBySlot) {
  for (const int workers : {0, 1, 3}) {
    constexpr int kSlots = 6;
    std::vector<int> results(kSlots, 0);
    std::atomic<int> runs{0};
    std::vector<int> finished;  // touched by one thread at a time
    const auto work = [&](int slot, int worker) {
      ++runs;
      if (slot == 4) throw JobError{Failure::Coder, "slot 4", 1};
      // Later slots finish their work first, so that only the pool keeps the order.
      std::this_thread::sleep_for(std::chrono::microseconds(200 * (kSlots - slot)));
      results[static_cast<std::size_t>(slot)] = 10 * slot + (worker >= 0 && worker < std::max(workers, 1) ? 1 : 0);
    };
    WorkerPool pool(workers, kSlots, work, [&](int slot) { finished.push_back(slot); });
    for (int round = 0; round < 2; ++round) {  // slots are used again once waited for
      for (int slot = 0; slot < kSlots; ++slot) pool.submit(slot);
      for (int slot = 0; slot < kSlots; ++slot) {
        if (slot == 4) {
          EXPECT_THROW(pool.wait(slot), JobError) << workers << " workers";
        } else {
          pool.wait(slot);
          EXPECT_EQ(results[static_cast<std::size_t>(slot)], 10 * slot + 1);
        }
      }
    }
    EXPECT_EQ(runs, 2 * kSlots);
    EXPECT_EQ(finished, (std::vector<int>{0, 1, 2, 3, 5, 0, 1, 2, 3, 5})) << workers << " workers";
  }
}

}  // namespace
}  // namespace qola
