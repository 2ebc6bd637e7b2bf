#include "common/WorkerPool.h"

#include <algorithm>
#include <system_error>

namespace qola {

int jobThreads(int requested, long long items) {
  // More threads than this only add memory: the job's thread writes in order.
  constexpr int kMaxThreads = 64;
  int threads = requested;
  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads = std::min(threads, kMaxThreads);
  return static_cast<int>(std::max(1LL, std::min<long long>(threads, items)));
}

WorkerPool::WorkerPool(int workers, int slots, Work work)
    : work_(std::move(work)),
      done_(static_cast<std::size_t>(slots), 0),
      errors_(static_cast<std::size_t>(slots)) {
  threads_.reserve(static_cast<std::size_t>(workers));
  for (int i = 0; i < workers; ++i) {
    try {
      threads_.emplace_back(&WorkerPool::run, this, i);
    } catch (const std::system_error&) {
      break;  // the threads that started do the work
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

void WorkerPool::submit(int slot) {
  if (threads_.empty()) {  // no thread could start: the job's thread does the work
    std::exception_ptr error;
    try {
      work_(slot, 0);
    } catch (...) {
      error = std::current_exception();
    }
    done_[static_cast<std::size_t>(slot)] = 1;
    errors_[static_cast<std::size_t>(slot)] = error;
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    done_[static_cast<std::size_t>(slot)] = 0;
    errors_[static_cast<std::size_t>(slot)] = nullptr;
    queue_.push_back(slot);
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
    int slot = 0;
    {
      std::unique_lock lock(mutex_);
      submitted_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      slot = queue_.front();
      queue_.pop_front();
    }
    std::exception_ptr error;
    try {
      work_(slot, worker);
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      errors_[static_cast<std::size_t>(slot)] = error;
      done_[static_cast<std::size_t>(slot)] = 1;
    }
    finished_.notify_all();
  }
}

}  // namespace qola
