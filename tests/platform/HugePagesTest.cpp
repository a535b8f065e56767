#include "platform/HugePages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace orbelt {
namespace {

// A vector that held values before, refilled to fewer, as many and more
// elements, across a huge page or not: it holds exactly `count` zeros
// (nothing of the old contents survives), and the buffer is writable to its
// last element.
TEST(HugePages, ZeroFilledVectorsHoldOnlyZerosWhateverTheyHeldBefore) {
  const std::size_t kHuge = (std::size_t{2} << 20) / sizeof(double);
  struct Case {
    std::size_t before;
    std::size_t count;
  };
  for (const Case c : {Case{0, 0}, Case{10, 3}, Case{10, 10}, Case{10, 1000}, Case{kHuge + 7, kHuge / 2},
                       Case{3, 2 * kHuge + 5}, Case{2 * kHuge + 5, 2 * kHuge + 5}}) {
    SCOPED_TRACE(testing::Message() << c.before << " -> " << c.count);
    std::vector<double> values(c.before, 7.5);
    zeroFilledOnHugePages(values, c.count);
    ASSERT_EQ(values.size(), c.count);
    EXPECT_EQ(std::count(values.begin(), values.end(), 0.0), static_cast<std::ptrdiff_t>(c.count));
    if (c.count > 0) {
      values.back() = 1.0;
      EXPECT_EQ(values.back(), 1.0);
    }
  }
}

}  // namespace
}  // namespace orbelt
