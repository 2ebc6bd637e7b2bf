// Worker threads for a job: the job's thread fills numbered slots and hands
// them over in order; workers do each slot's work, then its finishing step
// one slot at a time in the order the slots were handed over, and the job's
// thread waits for the slots in the same order. Errors of a worker travel to
// the job's thread with its slot, never out of the worker.
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
  // finish(slot) runs after the slot's work, in submission order and never
  // on two threads at once: the step that must keep the file's order. It
  // must not throw.
  using Finish = std::function<void(int slot)>;

  // Starts up to `workers` threads for slots 0 .. slots-1; fewer when the
  // system refuses a thread. Without any, submit does the work itself.
  WorkerPool(int workers, int slots, Work work, Finish finish = nullptr);
  // Stops the workers once their current slot is done.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int workers() const { return static_cast<int>(threads_.size()); }
  int slots() const { return static_cast<int>(done_.size()); }
  // The slot is filled: a worker may take it.
  void submit(int slot);
  // Waits until the slot's work and finishing step are done; rethrows the
  // error the work ended with (its finishing step is then skipped).
  void wait(int slot);

 private:
  struct Submitted {
    int slot;
    long long turn;  // its place in the finishing order
  };

  std::exception_ptr runWork(int slot, int worker);
  void run(int worker);

  Work work_;
  Finish finish_;
  std::mutex mutex_;
  std::condition_variable submitted_;
  std::condition_variable finished_;
  std::condition_variable turnTaken_;
  std::deque<Submitted> queue_;
  long long submittedCount_ = 0;
  long long nextTurn_ = 0;
  std::vector<char> done_;
  std::vector<std::exception_ptr> errors_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qola
