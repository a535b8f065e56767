// The one entry point of a run: what it refuses before any work, what it
// returns on request, and that two runs at once do not disturb each other.
#include "pipeline/RunStereo.h"

#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace orbelt {
namespace {

// A random texture and a right view that sees it `shift` columns to the left.
void shiftedPair(int width, int height, int shift, unsigned seed, cv::Mat& left, cv::Mat& right) {
  cv::RNG rng(seed);
  left.create(height, width, CV_8UC3);
  right.create(height, width, CV_8UC3);
  rng.fill(left, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
  rng.fill(right, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
  left(cv::Rect(shift, 0, width - shift, height)).copyTo(right(cv::Rect(0, 0, width - shift, height)));
}

StereoRequest smallRequest(unsigned seed) {
  StereoRequest request;
  shiftedPair(24, 14, 2, seed, request.left, request.right);
  request.options.matcher.disparityRange = 5;
  request.options.matcher.halfWinSize = 2;
  request.options.matcher.threadCount = 1;
  request.options.optimizer.seed = 3;
  return request;
}

// The kind says how each program ends (the command line: ColorFormat 255,
// the others here 2; cli/ExitStatus.h).
TEST(RunStereo, RefusesBeforeAnyWorkWithTheErrorAProgramEndsWith) {
  struct Case {
    const char* what;
    std::function<void(StereoRequest&)> change;
    ErrorKind kind;
    std::string messageStart;
  };
  const Case cases[] = {
      {"grey target", [](StereoRequest& r) { cv::cvtColor(r.right, r.right, cv::COLOR_BGR2GRAY); },
       ErrorKind::ColorFormat, "Input images should be color format !\n"},
      {"empty reference", [](StereoRequest& r) { r.left = cv::Mat(0, 0, CV_8UC3); }, ErrorKind::InvalidInput,
       "The reference image is empty"},
      {"sizes differ", [](StereoRequest& r) { r.right = r.right(cv::Rect(0, 0, 20, 14)).clone(); },
       ErrorKind::InvalidInput, "The target image is 20 x 14 pixels"},
      {"negative window", [](StereoRequest& r) { r.options.matcher.halfWinSize = -1; }, ErrorKind::InvalidInput,
       "halfWinSize is -1; it must be 0 or more\n"},
      {"the dialog's words",
       [](StereoRequest& r) {
         r.options.matcher.colorSigma = 0.0f;
         r.fieldNames.matcher.colorSigma = "SigmaS";
       },
       ErrorKind::InvalidInput, "SigmaS is 0; it must be a finite number other than 0"},
      {"blend outside 0..1", [](StereoRequest& r) { r.options.matcher.logChromWeight = 1.5f; }, ErrorKind::InvalidInput,
       "logChromWeight is 1.5; it must lie between 0"},
      {"negative optimizer threads", [](StereoRequest& r) { r.options.optimizer.threadCount = -1; },
       ErrorKind::InvalidInput, "threadCount is -1; it must be 0"},
      {"exponent 3", [](StereoRequest& r) { r.options.optimizer.smoothExponent = 3; }, ErrorKind::InvalidInput,
       "Wrong exponent in setSmoothness()!\n"},
      {"negative left-right threshold", [](StereoRequest& r) { r.options.leftRightThreshold = -1.0; },
       ErrorKind::InvalidInput, "leftRightThreshold is"},
      {"too little memory", [](StereoRequest& r) { r.availableBytes = 1000; }, ErrorKind::RunTooLarge,
       "A 24 x 14 pair with disparityRange 5 and halfWinSize 2 needs about"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StereoRequest request = smallRequest(1);
    int rows = 0;
    request.progress.onRow = [&rows](StereoView, int, int) { ++rows; };
    c.change(request);
    const Expected<StereoResult> run = runStereo(request);
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().kind, c.kind);
    EXPECT_EQ(run.error().message.rfind(c.messageStart, 0), 0u) << run.error().message;
    EXPECT_EQ(rows, 0);  // refused before the matcher ran
    EXPECT_FALSE(checkStereoRequest(request));
  }
}

TEST(RunStereo, AnEngineFailureIsReturnedAndTheNextRunGoesOn) {
  StereoRequest request = smallRequest(1);
  request.options.optimizer.smoothExponent = 3;
  request.options.optimizer.exponentLeftToSolver = true;
  const Expected<StereoResult> refused = runStereo(request);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "Wrong exponent in setSmoothness()!\n");
  EXPECT_EQ(refused.error().kind, ErrorKind::EngineFailure);
  request.options.optimizer.smoothExponent = 2;
  EXPECT_TRUE(runStereo(request));
}

TEST(RunStereo, ReturnsWhatWasAskedFor) {
  StereoRequest request = smallRequest(1);
  const Expected<StereoResult> plain = runStereo(request);
  ASSERT_TRUE(plain) << plain.error().message;
  const int pixels = 24 * 14;
  ASSERT_EQ(plain->left.labels.size(), static_cast<std::size_t>(pixels));
  EXPECT_TRUE(plain->left.costs.empty());
  EXPECT_FALSE(plain->right);
  ASSERT_EQ(plain->disparity.type(), CV_32FC1);
  for (int p = 0; p < pixels; ++p) {
    ASSERT_EQ(plain->disparity.at<float>(p / 24, p % 24), static_cast<float>(plain->left.labels[p]));
  }

  request.options.keepCosts = true;
  request.options.subpixel = true;
  request.options.leftRightThreshold = 0.0;
  std::vector<StereoView> views;
  request.progress.onPass = [&views](StereoView view, int, double, double) { views.push_back(view); };
  const Expected<StereoResult> full = runStereo(request);
  ASSERT_TRUE(full) << full.error().message;
  // The same seed and options: the left view's labels do not depend on the
  // outputs asked for.
  EXPECT_EQ(full->left.labels, plain->left.labels);
  EXPECT_EQ(full->left.costs.size(), static_cast<std::size_t>(pixels) * 5);
  ASSERT_TRUE(full->right);
  std::vector<StereoView> expected(kOptimizerPasses, StereoView::Left);
  expected.insert(expected.end(), kOptimizerPasses, StereoView::Right);
  EXPECT_EQ(views, expected);
  ASSERT_EQ(full->consistent.size(), static_cast<std::size_t>(pixels));
  ASSERT_EQ(full->subpixelOffsets.size(), static_cast<std::size_t>(pixels));
  std::int64_t consistent = 0;
  for (int p = 0; p < pixels; ++p) {
    const float d = full->disparity.at<float>(p / 24, p % 24);
    if (full->consistent[p]) {
      ++consistent;
      EXPECT_FLOAT_EQ(d, static_cast<float>(full->left.labels[p]) + full->subpixelOffsets[p]);
    } else {
      EXPECT_TRUE(std::isinf(d)) << "pixel " << p;
    }
  }
  EXPECT_EQ(consistent, full->consistentCount);
  // A clean shift: measured, every pixel agrees but the 2 x 14 the right view
  // cannot see (308 of 336); a few may move with the kernel's rounding.
  EXPECT_GE(consistent, 300);
}

TEST(RunStereo, TwoRunsAtOnceGiveWhatEachGivesAlone) {
  const StereoRequest first = smallRequest(1);
  const StereoRequest second = smallRequest(2);
  const Expected<StereoResult> firstAlone = runStereo(first);
  const Expected<StereoResult> secondAlone = runStereo(second);
  ASSERT_TRUE(firstAlone);
  ASSERT_TRUE(secondAlone);
  for (int round = 0; round < 3; ++round) {
    Expected<StereoResult> firstTogether = Error{};
    Expected<StereoResult> secondTogether = Error{};
    std::thread other([&] { secondTogether = runStereo(second); });
    firstTogether = runStereo(first);
    other.join();
    ASSERT_TRUE(firstTogether);
    ASSERT_TRUE(secondTogether);
    EXPECT_EQ(firstTogether->left.labels, firstAlone->left.labels);
    EXPECT_EQ(secondTogether->left.labels, secondAlone->left.labels);
    EXPECT_EQ(firstTogether->left.passEnergies, firstAlone->left.passEnergies);
  }
}

}  // namespace
}  // namespace orbelt
