// The left-right check on hand-made label maps.
#include "postprocess/LeftRightCheck.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orbelt {
namespace {

TEST(LeftRightCheck, MirroringFlipsEachRowAndSwapsTheViews) {
  EXPECT_EQ(*mirrorLabels({1, 2, 3, 4, 5, 6}, 3, 2), (std::vector<int>{3, 2, 1, 6, 5, 4}));
  EXPECT_FALSE(mirrorLabels({1, 2}, 3, 1));

  // A left view whose columns are numbered, and a right view one shifted by
  // 2 (x_right = x_left - 2): after mirroring and swapping, the reference's
  // column x' shows what the target shows at x' - 2, as a left view would.
  cv::Mat left(1, 8, CV_8UC1), right(1, 8, CV_8UC1, cv::Scalar(0));
  for (int x = 0; x < 8; ++x) left.at<uchar>(0, x) = static_cast<uchar>(10 + x);
  for (int x = 0; x + 2 < 8; ++x) right.at<uchar>(0, x) = left.at<uchar>(0, x + 2);
  const MirroredPair pair = mirroredPairForRightView(left, right);
  for (int x = 2; x < 8; ++x) {
    EXPECT_EQ(pair.reference.at<uchar>(0, x), pair.target.at<uchar>(0, x - 2)) << "column " << x;
  }
}

TEST(LeftRightCheck, APixelPassesWhenTheRightMapSendsItBack) {
  // One row of 6, base 1. Left disparities (base + label) 1 1 2 2 5 3;
  // right disparities at their own columns 1 2 2 4 1 1.
  const std::vector<int> leftLabels = {0, 0, 1, 1, 4, 2};
  const std::vector<int> rightLabels = {0, 1, 1, 3, 0, 0};
  const LeftRightConsistency c = *checkLeftRight(leftLabels, rightLabels, 6, 1, 1, 0.0);
  // x=0: d=1 -> x-d = -1, outside: fails.  x=1: d=1 -> right[0]=1: passes.
  // x=2: d=2 -> right[0]=1: off by 1.       x=3: d=2 -> right[1]=2: passes.
  // x=4: d=5 -> right[-1]: outside.         x=5: d=3 -> right[2]=2: off by 1.
  EXPECT_EQ(c.consistent, (std::vector<std::uint8_t>{0, 1, 0, 1, 0, 0}));
  EXPECT_EQ(c.passed, 2u);
  EXPECT_TRUE(std::isinf(c.difference[0]));
  EXPECT_EQ(c.difference[2], 1.0f);
  EXPECT_TRUE(std::isinf(c.difference[4]));
  // A threshold of 1 lets the pixels off by one pass; outside stays failed.
  EXPECT_EQ(checkLeftRight(leftLabels, rightLabels, 6, 1, 1, 1.0)->consistent,
            (std::vector<std::uint8_t>{0, 1, 1, 1, 0, 1}));
}

TEST(LeftRightCheck, ANegativeBaseLooksToTheRight) {
  // Disparity -1 everywhere: left x matches right x + 1; the last column's
  // match is outside the image.
  const LeftRightConsistency c = *checkLeftRight({0, 0, 0}, {0, 0, 0}, 3, 1, -1, 0.0);
  EXPECT_EQ(c.consistent, (std::vector<std::uint8_t>{1, 1, 0}));
  const Expected<LeftRightConsistency> refused = checkLeftRight({0, 0}, {0, 0, 0}, 3, 1, 0, 1.0);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().message.find("The left view's labelling has 2 labels, not 3 x 1"), std::string::npos)
      << refused.error().message;
}

}  // namespace
}  // namespace orbelt
