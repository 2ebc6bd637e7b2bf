#include "common/WorkerPool.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace qola {

int jobThreads(int requested, long long items) {
  // More threads than this only add memory: the job's thread writes in order.
  constexpr int kMaxThreads = 64;
  if (items <= 1) return 1;  // without asking the system for its cores: a short file starts faster
  int threads = requested;
  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads = std::min(threads, kMaxThreads);
  return static_cast<int>(std::max(1LL, std::min<long long>(threads, items)));
}

WorkerPool::WorkerPool(int workers, int slots, Work work, Finish finish)
    : work_(std::move(work)),
      finish_(std::move(finish)),
      done_(static_cast<std::size_t>(slots), 0),
      errors_(static_cast<std::size_t>(slots)) {
  threads_.reserve(static_cast<std::size_t>(workers));
  for (int i = 0; i < workers; ++i) {
    try {
      threads_.emplace_back(&WorkerPool::run, this, i);
    } catch (const std::system_error&) {
      break;  // the threads that started do the work
    } catch (const std::bad_alloc&) {
      break;
    }
  }
}

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  submitted_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

// The slot's work, with the error it ended with.
std::exception_ptr WorkerPool::runWork(int slot, int worker) {
  try {
    work_(slot, worker);
    return nullptr;
  } catch (...) {
    return std::current_exception();
  }
}

void WorkerPool::submit(int slot) {
  if (threads_.empty()) {  // no thread could start: the job's thread does the work
    const std::exception_ptr error = runWork(slot, 0);
    if (!error && finish_) finish_(slot);
    done_[static_cast<std::size_t>(slot)] = 1;
    errors_[static_cast<std::size_t>(slot)] = error;
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    done_[static_cast<std::size_t>(slot)] = 0;
    errors_[static_cast<std::size_t>(slot)] = nullptr;
    queue_.push_back({slot, submittedCount_++});
  }
  submitted_.notify_one();
}

void WorkerPool::wait(int slot) {
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return done_[static_cast<std::size_t>(slot)] != 0; });
  if (std::exception_ptr error = errors_[static_cast<std::size_t>(slot)]) std::rethrow_exception(error);
}

void WorkerPool::run(int worker) {
  for (;;) {
    Submitted next{};
    {
      std::unique_lock lock(mutex_);
      submitted_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      next = queue_.front();
      queue_.pop_front();
    }
    const std::exception_ptr error = runWork(next.slot, worker);
    // Every earlier slot was taken before this one, so its turn comes.
    if (finish_) {
      std::unique_lock lock(mutex_);
      turnTaken_.wait(lock, [&] { return nextTurn_ == next.turn; });
      lock.unlock();
      if (!error) finish_(next.slot);
    }
    {
      const std::lock_guard lock(mutex_);
      ++nextTurn_;
      errors_[static_cast<std::size_t>(next.slot)] = error;
      done_[static_cast<std::size_t>(next.slot)] = 1;
    }
    turnTaken_.notify_all();
    finished_.notify_all();
  }
}

}  // namespace qola
