// The matcher against the cost's definition, its fixed costs, the pixel
// shift of a label, and the inputs it refuses.
#include "ancc/AnccMatcher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "AnccTestImages.h"
#include "ReferenceCost.h"
#include "ancc/BlockedRowSweep.h"
#include "ancc/ColorTransform.h"
#include "ancc/MatcherMemory.h"
#include "ancc/WinnerLabel.h"

namespace orbelt {
namespace {

using testing::patchyImage;
using testing::randomImage;
using testing::smoothRandomImage;

struct MatcherRun {
  bool ok = false;
  std::string error;
  CostVolume volume;
};

struct Settings {
  int halfWinSize = 2;
  int baseDisparity = 0;
  int disparityRange = 4;
  float spatialSigma = 14.0f;
  float colorSigma = 3.8f;
  float logChromWeight = 1.0f;
  int threads = 1;
  bool baseline = false;  // the plain cached sweep instead of the blocked one
};

MatcherRun runMatcher(const cv::Mat& ref, const cv::Mat& target, const Settings& s) {
  MatcherRun run;
  run.volume = CostVolume(ref.cols, ref.rows, s.disparityRange);
  AnccMatcher matcher(run.volume, ref, target);
  matcher.options.baseDisparity = s.baseDisparity;
  matcher.options.disparityRange = s.disparityRange;
  matcher.options.halfWinSize = s.halfWinSize;
  matcher.options.spatialSigma = s.spatialSigma;
  matcher.options.colorSigma = s.colorSigma;
  matcher.options.threadCount = s.threads;
  matcher.options.useBaselineSweep = s.baseline;
  const Status done = matcher.computeCostVolume(s.logChromWeight);
  run.ok = done.ok();
  if (!done) run.error = done.error().message;
  return run;
}

struct ReferenceCase {
  const char* name;
  int width, height;
  Settings settings;
};

class MatcherAgreesWithDefinition : public ::testing::TestWithParam<ReferenceCase> {};

// Every element, whole-window and clipped alike, follows the definition over
// the common part of the two windows, on three kinds of content and in both
// sweeps.
TEST_P(MatcherAgreesWithDefinition, OnEveryPixelAndLabel) {
  const ReferenceCase& c = GetParam();
  struct Content {
    const char* name;
    cv::Mat (*make)(int, int, std::uint32_t);
  };
  const Content contents[] = {
      {"random", randomImage},
      {"smooth", [](int w, int h, std::uint32_t seed) { return smoothRandomImage(w, h, seed); }},
      {"patchy", patchyImage},
  };
  for (const Content& content : contents) {
    const cv::Mat ref = content.make(c.width, c.height, 11), target = content.make(c.width, c.height, 12);
    const ImageSignals refSignals = computeImageSignals(ref);
    const ImageSignals targetSignals = computeImageSignals(target);
    testing::ReferenceParams p;
    p.halfWinSize = c.settings.halfWinSize;
    p.spatialSigma = c.settings.spatialSigma;
    p.colorSigma = c.settings.colorSigma;
    p.baseDisparity = c.settings.baseDisparity;
    p.logChromWeight = c.settings.logChromWeight;
    Settings settings = c.settings;
    const MatcherRun blocked = runMatcher(ref, target, settings);
    ASSERT_TRUE(blocked.ok) << blocked.error;
    settings.baseline = true;
    const MatcherRun baseline = runMatcher(ref, target, settings);
    ASSERT_TRUE(baseline.ok) << baseline.error;
    // The definition is the slow part: one evaluation serves both sweeps.
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        for (int d = 0; d < c.settings.disparityRange; ++d) {
          const double defined = testing::referenceCost(refSignals, targetSignals, p, x, y, d);
          ASSERT_NEAR(blocked.volume.at(x, y, d), defined, 1e-4)
              << "blocked sweep, " << content.name << " images, at x " << x << " y " << y << " d " << d;
          ASSERT_NEAR(baseline.volume.at(x, y, d), defined, 1e-4)
              << "baseline sweep, " << content.name << " images, at x " << x << " y " << y << " d " << d;
        }
  }
}

INSTANTIATE_TEST_SUITE_P(Windows, MatcherAgreesWithDefinition,
                         ::testing::Values(
                             // name, width, height, {r, base, range, sigmaS, sigmaC, logChromWeight, threads}
                             ReferenceCase{"SmallWindowsWithInterior", 14, 11, {2, 0, 5, 14.0f, 3.8f, 1.0f, 1}},
                             ReferenceCase{"ColourCostOnly", 14, 11, {2, 1, 5, 14.0f, 3.8f, 0.0f, 1}},
                             ReferenceCase{"BlendedCosts", 13, 12, {3, 0, 6, 2.0f, 10.0f, 0.5f, 2}},
                             ReferenceCase{"NegativeBase", 16, 9, {2, -3, 7, 14.0f, 3.8f, 1.0f, 1}},
                             ReferenceCase{"WindowWiderThanImage", 7, 11, {4, -2, 6, 14.0f, 3.8f, 0.3f, 1}},
                             ReferenceCase{"WindowLargerThanBothSides", 5, 4, {9, 0, 5, 3.0f, 20.0f, 1.0f, 1}},
                             ReferenceCase{"PointWindows", 10, 6, {0, 1, 4, 14.0f, 3.8f, 1.0f, 1}},
                             ReferenceCase{"TallImage", 6, 17, {2, 0, 3, 5.0f, -8.0f, 1.0f, 3}},
                             ReferenceCase{"WideImageManyLabels", 40, 10, {3, 0, 20, 14.0f, 3.8f, 1.0f, 2}},
                             // Several band tiles and row blocks, interior rows, a positive base.
                             ReferenceCase{"ManyTiles", 53, 16, {4, 2, 13, 6.0f, 12.0f, 0.7f, 2}},
                             // Labels spanning several tiles on both sides of the reference
                             // pixel, a width that ends inside a tile, one signal's cost only.
                             ReferenceCase{"WideRangeLogChromOnly", 61, 12, {5, -9, 27, 9.0f, 6.0f, 1.0f, 2}},
                             ReferenceCase{"WideRangeColourOnly", 61, 12, {5, 9, 27, 9.0f, 6.0f, 0.0f, 2}},
                             // The dialog's own window (r 15, sigmas 14 and 3.8, log-chromaticity)
                             // on an image a little wider than the window: whole windows in the
                             // middle, every kind of cut around them.
                             ReferenceCase{"DefaultWindow", 34, 31, {15, 0, 4, 14.0f, 3.8f, 1.0f, 2}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The default pair's own volume at the dialog's window (r 15, sigmas 14 and
// 3.8) and 70 labels, in each colour mode and with a base that moves every
// label: a few hundred elements drawn at random (seeded), each against the
// definition. The small cases above reach every kind of window cut; this one
// reaches real content, a full-size row of tiles and the labels far from 0.
// The tolerance is the one the definition checks above use: costs are stored
// in single precision (steps of 4e-6 near 60) and the sweeps sum in their
// own order, with fused multiply-adds and running window sums, so they
// cannot match the double-precision definition bit for bit (these draws
// differ by 2.3e-6 at most); 1e-4 leaves room for another instruction set
// and is still far below any cost difference that would change a label.
TEST(AnccMatcher, TheDefaultPairsVolumeAgreesWithTheDefinition) {
  const cv::Mat ref = cv::imread(ORBELT_DATA_DIR "/Img0.png", cv::IMREAD_UNCHANGED);
  const cv::Mat target = cv::imread(ORBELT_DATA_DIR "/Img1.png", cv::IMREAD_UNCHANGED);
  ASSERT_EQ(ref.type(), CV_8UC3) << "cannot read " ORBELT_DATA_DIR "/Img0.png as a colour image";
  ASSERT_EQ(target.type(), CV_8UC3) << "cannot read " ORBELT_DATA_DIR "/Img1.png as a colour image";
  const ImageSignals refSignals = computeImageSignals(ref);
  const ImageSignals targetSignals = computeImageSignals(target);
  struct Case {
    const char* name;
    float logChromWeight;
    int baseDisparity;
    bool underSanitizers;  // also run in the instrumented builds
  };
  const Case cases[] = {
      {"log-chromaticity", 1.0f, 0, false},
      {"RGB", 0.0f, 0, false},
      {"log-chromaticity from base 12", 1.0f, 12, true},
  };
  // Instrumented, a full-size volume takes half a minute or more: the
  // sanitizer passes check one, which reaches every tile and every border
  // the others do.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const bool sanitized = true;
#else
  const bool sanitized = false;
#endif
  std::mt19937 random(15070);
  for (const Case& c : cases) {
    if (sanitized && !c.underSanitizers) continue;
    const Settings s{15, c.baseDisparity, 70, 14.0f, 3.8f, c.logChromWeight, 2};
    const MatcherRun run = runMatcher(ref, target, s);
    ASSERT_TRUE(run.ok) << c.name << ": " << run.error;
    testing::ReferenceParams p;
    p.halfWinSize = s.halfWinSize;
    p.spatialSigma = s.spatialSigma;
    p.colorSigma = s.colorSigma;
    p.baseDisparity = s.baseDisparity;
    p.logChromWeight = s.logChromWeight;
    for (int k = 0; k < 300; ++k) {
      const int x = std::uniform_int_distribution<int>(0, ref.cols - 1)(random);
      const int y = std::uniform_int_distribution<int>(0, ref.rows - 1)(random);
      const int d = std::uniform_int_distribution<int>(0, s.disparityRange - 1)(random);
      const double defined = testing::referenceCost(refSignals, targetSignals, p, x, y, d);
      ASSERT_NEAR(run.volume.at(x, y, d), defined, 1e-4) << c.name << ", at x " << x << " y " << y << " d " << d;
    }
  }
}

// Every kernel variant gives the baseline's costs, with both signals blended
// and with one signal's cost alone. A variant this processor cannot run is
// reported as skipped, so a run on an older machine does not pass silently
// for a kernel it never tried.
class EveryKernelVariant : public ::testing::TestWithParam<const char*> {
 protected:
  // Later tests run the variant this processor picks, whatever this one did.
  void TearDown() override { BlockedRowSweep::selectKernel(original.c_str()); }
  const std::string original = BlockedRowSweep::kernelName();
};

TEST_P(EveryKernelVariant, AgreesWithTheBaseline) {
  const char* name = GetParam();
  if (!BlockedRowSweep::selectKernel(name)) GTEST_SKIP() << "kernel variant " << name << " not supported here";
  const cv::Mat ref = smoothRandomImage(45, 14, 91), target = smoothRandomImage(45, 14, 92);
  for (float weight : {0.5f, 1.0f}) {
    Settings s{3, -1, 11, 14.0f, 3.8f, weight, 2};
    s.baseline = true;
    const MatcherRun baseline = runMatcher(ref, target, s);
    s.baseline = false;
    const MatcherRun run = runMatcher(ref, target, s);
    ASSERT_TRUE(run.ok) << run.error;
    for (int y = 0; y < ref.rows; ++y)
      for (int x = 0; x < ref.cols; ++x)
        for (int d = 0; d < s.disparityRange; ++d)
          ASSERT_NEAR(run.volume.at(x, y, d), baseline.volume.at(x, y, d), 1e-4)
              << name << ", weight " << weight << ", at " << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(AnccMatcher, EveryKernelVariant, ::testing::Values("generic", "avx2", "avx512"),
                         [](const auto& info) { return std::string(info.param); });

TEST(AnccMatcher, VolumeIsTheSameForEveryThreadCount) {
  const cv::Mat ref = smoothRandomImage(37, 23, 5), target = smoothRandomImage(37, 23, 6);
  Settings s{4, 0, 9, 14.0f, 3.8f, 1.0f, 1};
  const MatcherRun one = runMatcher(ref, target, s);
  for (int threads : {2, 3, 8}) {
    s.threads = threads;
    const MatcherRun many = runMatcher(ref, target, s);
    ASSERT_TRUE(many.ok) << many.error;
    for (int y = 0; y < ref.rows; ++y)
      for (int x = 0; x < ref.cols; ++x)
        for (int d = 0; d < s.disparityRange; ++d)
          ASSERT_EQ(one.volume.at(x, y, d), many.volume.at(x, y, d)) << threads << " threads at " << x << "," << y;
  }
}

// Costs the definition pins to fixed values, whatever the window content.
TEST(AnccMatcher, FixedCosts) {
  const cv::Mat varying = randomImage(15, 12, 3);
  const cv::Mat flatA(12, 15, CV_8UC3, cv::Scalar(10, 200, 30));
  const cv::Mat flatB(12, 15, CV_8UC3, cv::Scalar(90, 90, 90));
  struct Case {
    const char* what;
    cv::Mat ref, target;
    Settings settings;
    int x, y, d;
    double expected, tolerance;
  };
  const std::vector<Case> cases = {
      {"identical varying windows correlate fully", varying, varying, {3, 0, 3}, 7, 6, 0, 0.0, 1e-6},
      {"identical windows in colour mode", varying, varying, {3, 0, 3, 14.0f, 3.8f, 0.0f}, 7, 6, 0, 0.0, 1e-6},
      {"constant windows have correlation 0", flatA, flatB, {3, 0, 3}, 7, 6, 1, 30.0, 1e-6},
      {"constant windows in colour mode", flatA, flatB, {3, 0, 3, 14.0f, 3.8f, 0.0f}, 7, 6, 1, 30.0, 1e-6},
      {"constant windows clipped at the border", flatA, flatB, {3, 0, 3}, 0, 0, 0, 30.0, 1e-6},
      {"a point window has no energy", varying, varying, {0, 0, 3}, 5, 5, 2, 30.0, 0.0},
      {"a point window in colour mode", varying, flatB, {0, 0, 3, 14.0f, 3.8f, 0.0f}, 0, 11, 0, 30.0, 0.0},
      {"target left of the image", varying, varying, {3, 0, 5}, 2, 4, 3, 50.0, 0.0},
      {"target left of the image, colour mode", varying, varying, {3, 0, 5, 14.0f, 3.8f, 0.0f}, 0, 0, 1, 50.0, 0.0},
      {"target right of the image", varying, varying, {3, -3, 2}, 12, 4, 0, 50.0, 0.0},
  };
  for (const Case& c : cases) {
    const MatcherRun run = runMatcher(c.ref, c.target, c.settings);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_NEAR(run.volume.at(c.x, c.y, c.d), c.expected, c.tolerance) << c.what;
  }
}

// Negated colour deviations under the same weights (the colour sigma so wide
// that only the spatial term acts) correlate at -1.
TEST(AnccMatcher, NegatedColourWindowsCostSixty) {
  const cv::Mat ref = randomImage(11, 11, 8);
  cv::Mat inverted;
  cv::bitwise_not(ref, inverted);
  Settings s{3, 0, 1, 14.0f, 1e6f, 0.0f};
  const MatcherRun run = runMatcher(ref, inverted, s);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_NEAR(run.volume.at(5, 5, 0), 60.0, 1e-5);  // whole window
  EXPECT_NEAR(run.volume.at(1, 9, 0), 60.0, 1e-5);  // clipped window
}

// Label d of pixel x looks at target column x - base - d: with the target's
// content moved right by 3 pixels, base -3 finds it at label 0.
TEST(AnccMatcher, NegativeBaseLooksRight) {
  const cv::Mat ref = randomImage(20, 9, 21);
  cv::Mat target(ref.size(), CV_8UC3, cv::Scalar(0, 0, 0));
  ref(cv::Rect(0, 0, 17, 9)).copyTo(target(cv::Rect(3, 0, 17, 9)));
  const MatcherRun run = runMatcher(ref, target, {2, -3, 3});
  ASSERT_TRUE(run.ok) << run.error;
  for (int x = 2; x < 15; ++x) EXPECT_NEAR(run.volume.at(x, 4, 0), 0.0, 1e-6) << "column " << x;
  for (int x = 17; x < 20; ++x) EXPECT_EQ(run.volume.at(x, 4, 0), 50.0f) << "column " << x;
  EXPECT_NE(run.volume.at(16, 4, 0), 50.0f);
  EXPECT_GT(run.volume.at(8, 4, 1), 1.0);
}

// Weight 1 is the log-chromaticity volume, 0 the colour one, 0.5 their mean.
TEST(AnccMatcher, WeightBlendsTheTwoCosts) {
  const cv::Mat ref = smoothRandomImage(12, 10, 31), target = smoothRandomImage(12, 10, 32);
  const MatcherRun logChrom = runMatcher(ref, target, {2, 0, 4, 14.0f, 3.8f, 1.0f});
  const MatcherRun color = runMatcher(ref, target, {2, 0, 4, 14.0f, 3.8f, 0.0f});
  const MatcherRun half = runMatcher(ref, target, {2, 0, 4, 14.0f, 3.8f, 0.5f});
  bool differ = false;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x)
      for (int d = 0; d < 4; ++d) {
        const double mean = 0.5 * logChrom.volume.at(x, y, d) + 0.5 * color.volume.at(x, y, d);
        EXPECT_NEAR(half.volume.at(x, y, d), mean, 1e-5);
        differ |= std::abs(logChrom.volume.at(x, y, d) - color.volume.at(x, y, d)) > 0.1;
      }
  EXPECT_TRUE(differ) << "the two signals should give different costs on random images";
}

TEST(AnccMatcher, TheShiftIsTheCheapestLabelInside) {
  const cv::Mat ref = randomImage(12, 9, 41);
  cv::Mat target(ref.size(), CV_8UC3, cv::Scalar(0, 0, 0));
  ref(cv::Rect(2, 0, 10, 9)).copyTo(target(cv::Rect(0, 0, 10, 9)));  // disparity 2 everywhere it can be
  const MatcherRun run = runMatcher(ref, target, {2, 0, 5});
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(winnerLabel(run.volume.cell(6, 4), 5), 2);
}

TEST(AnccMatcher, ReportsEveryRowOnce) {
  const cv::Mat ref = randomImage(9, 13, 51);
  CostVolume volume(9, 13, 3);
  AnccMatcher matcher(volume, ref, ref);
  matcher.options.disparityRange = 3;
  matcher.options.halfWinSize = 1;
  matcher.options.spatialSigma = 14.0f;
  matcher.options.colorSigma = 3.8f;
  matcher.options.threadCount = 3;
  std::vector<int> seen;
  matcher.rowObserver = [&](int done, int height) {
    EXPECT_EQ(height, 13);
    seen.push_back(done);
  };
  ASSERT_TRUE(matcher.computeCostVolume(1.0f));
  ASSERT_EQ(seen.size(), 13u);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(seen[i], i + 1);
}

TEST(AnccMatcher, NoLabelsIsNothingToDoAndNoError) {
  const cv::Mat ref = randomImage(6, 5, 61);
  const MatcherRun run = runMatcher(ref, ref, {2, 3, 0});
  ASSERT_TRUE(run.ok) << run.error;
}

// The budget it is handed is the one it sizes its storage by: one worker's
// storage runs, a byte less is refused before anything is written.
TEST(AnccMatcher, WorksWithinTheBudgetItIsHanded) {
  const cv::Mat ref = randomImage(10, 8, 91);
  MatcherOptions options;
  options.disparityRange = 3;
  options.halfWinSize = 2;
  options.threadCount = 2;
  const std::uint64_t oneWorker = matcherWorkingBytes(10, 8, options, 1);
  for (const std::uint64_t budget : {oneWorker, oneWorker - 1}) {
    CostVolume volume(10, 8, 3);
    volume.at(4, 4, 1) = 7.0f;
    AnccMatcher matcher(volume, ref, ref, options);
    matcher.memoryBudget = budget;
    const Status done = matcher.computeCostVolume();
    if (budget == oneWorker) {
      EXPECT_TRUE(done) << done.error().message;
      EXPECT_NE(volume.at(4, 4, 1), 7.0f);
    } else {
      ASSERT_FALSE(done);
      EXPECT_EQ(done.error().kind, ErrorKind::OutOfMemory);
      EXPECT_NE(done.error().message.find("of working storage, more than the"), std::string::npos)
          << done.error().message;
      EXPECT_EQ(volume.at(4, 4, 1), 7.0f);
    }
  }
}

// Inputs the matcher cannot run on are refused before anything is written.
TEST(AnccMatcher, RefusesInputsItCannotRun) {
  const cv::Mat good = randomImage(8, 6, 71);
  struct Case {
    const char* what;
    cv::Mat ref, target;
    int volumeRange;  // labels of the volume handed in; the matcher is set to 3
    int halfWinSize;
    float spatialSigma, colorSigma, logChromWeight;
    int threads;
    const char* message;
  };
  const float inf = INFINITY, nan = NAN;
  const cv::Mat gray(6, 8, CV_8UC1, cv::Scalar(5));
  const cv::Mat sixteen(6, 8, CV_16UC3, cv::Scalar(5, 5, 5));
  const cv::Mat four(6, 8, CV_8UC4, cv::Scalar(5, 5, 5, 5));
  const std::vector<Case> cases = {
      {"empty reference", cv::Mat(), good, 3, 2, 14, 3.8f, 1, 1, "reference image is empty"},
      {"grey reference", gray, good, 3, 2, 14, 3.8f, 1, 1, "reference image must be 8-bit with 3"},
      {"16-bit target", good, sixteen, 3, 2, 14, 3.8f, 1, 1, "target image must be 8-bit"},
      {"four-channel target", good, four, 3, 2, 14, 3.8f, 1, 1, "target image must be 8-bit"},
      {"smaller target", good, randomImage(7, 6, 1), 3, 2, 14, 3.8f, 1, 1,
       "target image is 7x6 but the reference image is 8x6"},
      {"volume with other labels", good, good, 4, 2, 14, 3.8f, 1, 1, "cost volume is 8x6x4"},
      {"negative half window", good, good, 3, -1, 14, 3.8f, 1, 1, "halfWinSize"},
      {"zero spatial sigma", good, good, 3, 2, 0, 3.8f, 1, 1, "spatialSigma"},
      {"infinite colour sigma", good, good, 3, 2, 14, inf, 1, 1, "colorSigma"},
      {"NaN spatial sigma", good, good, 3, 2, nan, 3.8f, 1, 1, "spatialSigma"},
      {"zero colour sigma", good, good, 3, 2, 14, 0.0f, 1, 1, "colorSigma"},
      {"NaN weight", good, good, 3, 2, 14, 3.8f, nan, 1, "logChromWeight"},
      {"negative thread count", good, good, 3, 2, 14, 3.8f, 1, -2, "threadCount"},
  };
  for (const Case& c : cases) {
    CostVolume volume(8, 6, c.volumeRange);
    for (int x = 0; x < volume.width(); ++x)
      for (int y = 0; y < volume.height(); ++y)
        for (int d = 0; d < volume.disparityRange(); ++d) volume.at(x, y, d) = 7.0f;
    AnccMatcher matcher(volume, c.ref, c.target);
    matcher.options.disparityRange = 3;
    matcher.options.halfWinSize = c.halfWinSize;
    matcher.options.spatialSigma = c.spatialSigma;
    matcher.options.colorSigma = c.colorSigma;
    matcher.options.threadCount = c.threads;
    const Status refused = matcher.computeCostVolume(c.logChromWeight);
    ASSERT_FALSE(refused) << c.what;
    EXPECT_EQ(refused.error().kind, ErrorKind::InvalidInput) << c.what;
    EXPECT_NE(refused.error().message.find(c.message), std::string::npos)
        << c.what << ": message was \"" << refused.error().message << "\"";
    for (int x = 0; x < volume.width(); ++x)
      for (int y = 0; y < volume.height(); ++y)
        for (int d = 0; d < volume.disparityRange(); ++d) ASSERT_EQ(volume.at(x, y, d), 7.0f) << c.what;
  }
}

// A huge window costs what a window of the whole image costs, without
// asking for storage in proportion to r.
TEST(AnccMatcher, HugeWindowActsAsTheWholeImage) {
  const cv::Mat ref = smoothRandomImage(9, 7, 81), target = smoothRandomImage(9, 7, 82);
  const MatcherRun huge = runMatcher(ref, target, {1 << 30, 0, 3});
  const MatcherRun whole = runMatcher(ref, target, {8, 0, 3});
  ASSERT_TRUE(huge.ok) << huge.error;
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x)
      for (int d = 0; d < 3; ++d) EXPECT_EQ(huge.volume.at(x, y, d), whole.volume.at(x, y, d));
}

}  // namespace
}  // namespace orbelt
