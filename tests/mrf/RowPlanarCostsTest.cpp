// The row-planar data costs: made by copy or in place, every cost is found
// where the moves look for it, and a table handed over comes back as it was.
#include "mrf/RowPlanarCosts.h"

#include <gtest/gtest.h>

#include <vector>

namespace orbelt {
namespace {

TEST(RowPlanarCosts, CopiedAndAdoptedTablesReadAsThePixelMajorTable) {
  struct Case {
    const char* name;
    int width, height, labels;
  };
  const Case cases[] = {
      {"wider than the block of pixels moved at once", 37, 3, 5},
      {"one label", 4, 3, 1},
      {"one column", 1, 6, 4},
      {"more labels than pixels in a row", 3, 2, 40},
  };
  for (const Case& c : cases) {
    const int pixels = c.width * c.height;
    std::vector<float> table(static_cast<std::size_t>(pixels) * c.labels);
    for (std::size_t k = 0; k < table.size(); ++k) table[k] = static_cast<float>(k);
    RowPlanarCosts copied;
    copied.copyFrom(table.data(), c.width, c.height, c.labels);
    RowPlanarCosts adopted;
    adopted.adopt(std::vector<float>(table), c.width, c.height, c.labels);
    for (int p = 0; p < pixels; ++p)
      for (int l = 0; l < c.labels; ++l) {
        const float expected = table[static_cast<std::size_t>(p) * c.labels + l];
        ASSERT_EQ(copied.at(p, l), expected) << c.name << " copied, pixel " << p << ", label " << l;
        ASSERT_EQ(adopted.at(p, l), expected) << c.name << " adopted, pixel " << p << ", label " << l;
        ASSERT_EQ(adopted.plane(p / c.width, l)[p % c.width], expected) << c.name;
      }
    EXPECT_EQ(adopted.release(), table) << c.name;
    EXPECT_TRUE(adopted.empty()) << c.name;
  }
}

}  // namespace
}  // namespace orbelt
