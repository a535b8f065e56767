#pragma once
// TaskPool: a few worker threads kept for the life of an engine, that run the
// parts of one split job together with the calling thread and return when
// all of them are done.
//
// Why: one place that starts workers, tolerates a system that refuses one,
// and carries a part's exception back to the caller instead of ending the
// process. The cost sweep splits its rows once per volume; an expansion
// move is split into a few large parts (the bands of the pixel grid) many
// hundred times per run, where starting threads for every move would cost
// more than the small moves of the later sweeps themselves.
//
// Takes: the number of threads to use, the calling thread included (1 runs
// everything on the caller, with no worker at all). Owns: its workers, which
// sleep between jobs and are joined by the destructor.
// Fails: never at construction; when the system refuses a worker the pool
// simply has fewer (threadCount() says how many run). An exception thrown by
// a part is caught on the thread that ran it, the other parts still run, and
// the exception of the lowest-numbered failing part is rethrown by run().
// Not reentrant: run() must not be called from inside a part, nor from two
// threads at once.
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orbelt {

class TaskPool {
 public:
  explicit TaskPool(int threadCount);
  ~TaskPool();
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  // Threads that run parts, the caller's included: at least 1.
  int threadCount() const { return static_cast<int>(workers_.size()) + 1; }

  // Calls part(i) once for every i in [0, partCount), spread over the pool's
  // threads and the caller's, and returns when every call has returned.
  void run(int partCount, const std::function<void(int)>& part);

 private:
  void workerLoop();
  // Takes and runs parts of the current job until none is left.
  void runParts();

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int)>* part_ = nullptr;
  int partCount_ = 0;
  int nextPart_ = 0;
  int partsLeft_ = 0;
  std::uint64_t job_ = 0;
  bool stopping_ = false;
  std::vector<std::exception_ptr> failures_;
};

}  // namespace orbelt
