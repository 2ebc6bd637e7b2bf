// Worker threads for a job: the job's thread fills numbered slots and hands
// them over in order; workers do each slot's work, and the job's thread
// waits for the slots in the same order. Errors of a worker travel to the
// job's thread with its slot, never out of the worker.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qola {

// The thread count a job uses: the requested one, 0 meaning the cores
// available, and never more than the pieces of work (items) the job has.
int jobThreads(int requested, long long items);

class WorkerPool {
 public:
  // work(slot, worker) runs on worker number `worker` (0 .. workers()-1).
  using Work = std::function<void(int slot, int worker)>;

  // Starts up to `workers` threads for slots 0 .. slots-1; fewer when the
  // system refuses a thread. Without any, submit does the work itself.
  WorkerPool(int workers, int slots, Work work);
  // Stops the workers once their current slot is done.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int workers() const { return static_cast<int>(threads_.size()); }
  // The slot is filled: a worker may take it.
  void submit(int slot);
  // Waits until the slot's work is done; rethrows the error it ended with.
  void wait(int slot);

 private:
  void run(int worker);

  Work work_;
  std::mutex mutex_;
  std::condition_variable submitted_;
  std::condition_variable finished_;
  std::deque<int> queue_;
  std::vector<char> done_;
  std::vector<std::exception_ptr> errors_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qola
