#include "platform/TaskPool.h"

#include <system_error>

namespace orbelt {

TaskPool::TaskPool(int threadCount) {
  for (int k = 1; k < threadCount; ++k) {
    try {
      workers_.emplace_back([this] { workerLoop(); });
    } catch (const std::system_error&) {
      break;  // fewer threads: the parts still all run
    }
  }
}

TaskPool::~TaskPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void TaskPool::run(int partCount, const std::function<void(int)>& part) {
  if (partCount <= 0) return;
  failures_.assign(static_cast<std::size_t>(partCount), nullptr);
  if (workers_.empty() || partCount == 1) {
    for (int i = 0; i < partCount; ++i) {
      try {
        part(i);
      } catch (...) {
        failures_[static_cast<std::size_t>(i)] = std::current_exception();
      }
    }
  } else {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      part_ = &part;
      partCount_ = partCount;
      nextPart_ = 0;
      partsLeft_ = partCount;
      ++job_;
    }
    wake_.notify_all();
    runParts();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return partsLeft_ == 0; });
    part_ = nullptr;
  }
  for (std::exception_ptr& failure : failures_) {
    if (failure) std::rethrow_exception(failure);
  }
}

void TaskPool::runParts() {
  for (;;) {
    int i = 0;
    const std::function<void(int)>* part = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (part_ == nullptr || nextPart_ >= partCount_) return;
      i = nextPart_++;
      part = part_;
    }
    try {
      (*part)(i);
    } catch (...) {
      failures_[static_cast<std::size_t>(i)] = std::current_exception();
    }
    bool last = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last = --partsLeft_ == 0;
    }
    if (last) done_.notify_all();
  }
}

void TaskPool::workerLoop() {
  std::uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || job_ != seen; });
      if (stopping_) return;
      seen = job_;
    }
    runParts();
  }
}

}  // namespace orbelt
