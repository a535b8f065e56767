// The cost volume's one order: what the matcher writes through cell(x, y) is
// what the optimizer reads at (y * width + x) * range + d, whether it is
// copied out or handed over.
#include "ancc/CostVolume.h"

#include <gtest/gtest.h>

#include <vector>

namespace orbelt {
namespace {

// A value no other (x, y, d) of a small volume shares.
float tag(int x, int y, int d) { return static_cast<float>(x * 10000 + y * 100 + d); }

TEST(CostVolume, CopiedAndTakenCostsAreRowMajorWithTheLabelFastest) {
  struct Case {
    const char* name;
    int width, height, range;
  };
  const Case cases[] = {
      {"wider than tall", 5, 3, 4},
      {"taller than wide", 2, 6, 3},
      {"one label", 4, 4, 1},
      {"one column", 1, 5, 2},
  };
  for (const Case& c : cases) {
    CostVolume volume(c.width, c.height, c.range);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        for (int d = 0; d < c.range; ++d) volume.cell(x, y)[d] = tag(x, y, d);
    std::vector<float> copied(volume.bytes() / sizeof(float));
    volume.copyRowMajor(copied.data());
    const std::vector<float> taken = std::move(volume).takeCosts();
    ASSERT_EQ(taken.size(), copied.size()) << c.name;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        for (int d = 0; d < c.range; ++d) {
          const std::size_t at = (static_cast<std::size_t>(y) * c.width + x) * c.range + d;
          EXPECT_EQ(copied[at], tag(x, y, d)) << c.name << " copied " << x << "," << y << "," << d;
          EXPECT_EQ(taken[at], tag(x, y, d)) << c.name << " taken " << x << "," << y << "," << d;
        }
    // Handed over, not shared: the volume is left empty.
    EXPECT_EQ(volume.bytes(), 0u) << c.name;
    EXPECT_EQ(volume.width(), 0) << c.name;
    EXPECT_EQ(volume.disparityRange(), 0) << c.name;
  }
}

}  // namespace
}  // namespace orbelt
