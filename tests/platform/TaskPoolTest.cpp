// The pool runs every part of a job exactly once, on as many threads as it
// has, job after job, and hands a part's exception back to the caller only
// after the other parts have run.
#include "platform/TaskPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace orbelt {
namespace {

TEST(TaskPool, EveryPartRunsOnceInEveryJob) {
  for (const int threads : {1, 2, 3}) {
    TaskPool pool(threads);
    EXPECT_GE(pool.threadCount(), 1);
    EXPECT_LE(pool.threadCount(), threads);
    for (const int parts : {0, 1, 2, 5, 64}) {
      for (int job = 0; job < 20; ++job) {
        std::vector<std::atomic<int>> calls(static_cast<std::size_t>(parts));
        pool.run(parts, [&](int i) { calls[static_cast<std::size_t>(i)].fetch_add(1); });
        for (int i = 0; i < parts; ++i) {
          ASSERT_EQ(calls[static_cast<std::size_t>(i)].load(), 1)
              << threads << " threads, " << parts << " parts, job " << job << ", part " << i;
        }
      }
    }
  }
}

TEST(TaskPool, TheLowestFailingPartsExceptionReachesTheCallerAfterTheOthersRan) {
  for (const int threads : {1, 2}) {
    TaskPool pool(threads);
    std::atomic<int> ran{0};
    try {
      pool.run(6, [&](int i) {
        ran.fetch_add(1);
        if (i == 2 || i == 4) throw std::runtime_error("part " + std::to_string(i));
      });
      ADD_FAILURE() << "no exception reached the caller";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "part 2");
    }
    EXPECT_EQ(ran.load(), 6) << threads << " threads";
    // The pool is usable again.
    std::atomic<int> again{0};
    pool.run(3, [&](int) { again.fetch_add(1); });
    EXPECT_EQ(again.load(), 3);
  }
}

}  // namespace
}  // namespace orbelt
