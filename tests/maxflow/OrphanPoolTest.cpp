#include "maxflow/OrphanPool.h"

#include <gtest/gtest.h>

#include <set>

namespace orbelt {
namespace {

TEST(OrphanPool, HandsOutDistinctItemsAndReusesTheLastOneGivenBack) {
  OrphanPool pool(nullptr);
  EXPECT_EQ(pool.blockCount(), 0);
  std::set<OrphanItem*> items;
  for (int k = 0; k < OrphanPool::kItemsPerBlock; ++k) items.insert(pool.take());
  EXPECT_EQ(items.size(), 128u);
  EXPECT_EQ(pool.blockCount(), 1);

  OrphanItem* extra = pool.take();  // the 129th starts a second block
  EXPECT_EQ(pool.blockCount(), 2);
  EXPECT_EQ(items.count(extra), 0u);

  OrphanItem* first = *items.begin();
  pool.giveBack(extra);
  pool.giveBack(first);
  EXPECT_EQ(pool.take(), first);
  EXPECT_EQ(pool.take(), extra);
}

}  // namespace
}  // namespace orbelt
