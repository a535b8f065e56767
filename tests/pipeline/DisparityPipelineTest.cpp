#include "pipeline/DisparityPipeline.h"

#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <optional>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "ancc/MatcherMemory.h"
#include "maxflow/GraphFailure.h"
#include "mrf/AlphaExpansion.h"
#include "platform/ProcessServices.h"
#include "postprocess/DisplayGrey.h"
#include "tests/pipeline/EngineDoubles.h"
#include "tests/pipeline/LiveHeap.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::EngineLog;
using testing::RecordingMessageBox;
using testing::TempFolder;

// A colour picture whose every pixel differs from its neighbours, so a test
// can tell two images (and their orientation) apart.
cv::Mat patterned(int width, int height, int seed, int channels = 3, int depth = CV_8U) {
  cv::Mat image(height, width, CV_MAKETYPE(depth, channels));
  cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(depth == CV_8U ? 256 : 65536));
  image.row(0).setTo(cv::Scalar::all(seed));
  return image;
}

bool sameImage(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

StereoParams smallParams(int range = 4) {
  StereoParams params;
  params.disparityRange = range;
  params.halfWinSize = 1;
  return params;
}

// Cost of label d at (x, y): unique per element, cheapest at label
// (x + 2y) mod range, so both the copied values and the winning labels show
// where each element went.
auto patternFill(int range) {
  return [range](int x, int y, int d) {
    const int cheapest = (x + 2 * y) % range;
    return static_cast<float>(1000 * x + 100 * y + ((d - cheapest + range) % range));
  };
}

// ---------------------------------------------------------------------------
// computeDisparity: what the pipeline hands the engines and takes back.

TEST(ComputeDisparity, FlattensRowMajorPixelsWithTheLabelFastest) {
  EngineLog log;
  const int width = 5, height = 3, range = 4;
  const auto fill = patternFill(range);
  DisparityOptions options;
  options.keepCosts = true;
  const Expected<DisparityResult> computed =
      computeDisparity(patterned(width, height, 1), patterned(width, height, 2), smallParams(range),
                       testing::recordingEngines(log, fill), options);
  ASSERT_TRUE(computed) << computed.error().message;
  const DisparityResult& result = *computed;
  ASSERT_EQ(result.costs.size(), static_cast<size_t>(width * height * range));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int d = 0; d < range; ++d) {
        ASSERT_EQ(result.costs[(static_cast<size_t>(y) * width + x) * range + d], fill(x, y, d))
            << "x=" << x << " y=" << y << " d=" << d;
      }
      // The optimizer double picks the cheapest label of its table row, so a
      // transposed or shuffled copy would show here as wrong labels.
      EXPECT_EQ(result.labels[static_cast<size_t>(y) * width + x], (x + 2 * y) % range);
    }
  }
  EXPECT_EQ(log.createdWidth, width);
  EXPECT_EQ(log.createdHeight, height);
  EXPECT_EQ(log.createdLabels, range);
}

TEST(ComputeDisparity, ReleasesTheVolumeBeforeTheOptimizerExists) {
  EngineLog log;
  const int width = 64, height = 48, range = 100;
  const std::int64_t volumeBytes = std::int64_t{width} * height * range * 4;
  PipelineEngines engines = testing::recordingEngines(log, [](int, int, int) { return 1.0f; });
  std::int64_t heapWhileMatching = 0;
  std::int64_t heapAtOptimizer = 0;
  auto matcher = engines.computeCosts;
  engines.computeCosts = [&](CostVolume& volume, const cv::Mat& ref, const cv::Mat& target, cv::Mat& preview,
                             const MatcherOptions& settings, const RowObserver& onRow) {
    Status failure = matcher(volume, ref, target, preview, settings, onRow);
    heapWhileMatching = testing::liveHeapBytes();
    return failure;
  };
  auto factory = engines.createOptimizer;
  engines.createOptimizer = [&](int w, int h, int labels, EnergyTerms* terms, const OptimizerSettings& s) {
    heapAtOptimizer = testing::liveHeapBytes();
    return factory(w, h, labels, terms, s);
  };
  const Expected<DisparityResult> computed =
      computeDisparity(patterned(width, height, 1), patterned(width, height, 2), smallParams(range), engines);
  ASSERT_TRUE(computed) << computed.error().message;
  // While matching the volume is alive; when the optimizer is built the flat
  // copy has taken its place. Had the volume survived, the heap would have
  // grown by a whole volume.
  EXPECT_LT(heapAtOptimizer, heapWhileMatching + volumeBytes / 2);
  EXPECT_EQ(log.events.front(), "costs");
  EXPECT_EQ(log.events[1], "create");
  EXPECT_EQ(log.events[2], "initialize");
  EXPECT_EQ(log.events[3], "reset");
  EXPECT_EQ(log.events.back(), "destroy");
}

TEST(ComputeDisparity, DrivesExactlyTenSinglePassesEvenWhenNothingChanges) {
  EngineLog log;
  const Expected<DisparityResult> computed =
      computeDisparity(patterned(6, 4, 1), patterned(6, 4, 2), smallParams(),
                       testing::recordingEngines(log, [](int, int, int) { return 2.0f; }));
  ASSERT_TRUE(computed) << computed.error().message;
  const DisparityResult& result = *computed;
  EXPECT_EQ(log.sweepArguments, std::vector<int>(kOptimizerPasses, 1));
  EXPECT_EQ(log.resets, 1);
  ASSERT_EQ(result.passEnergies.size(), 10u);
  EXPECT_EQ(result.passEnergies.front(), 6 * 4 * 2.0);
  EXPECT_EQ(result.passEnergies.back(), result.passEnergies.front());
}

TEST(ComputeDisparity, BuildsTheSmoothnessTermFromTheDialogValues) {
  struct Case {
    float lambda;
    int smoothMax;
    int exponent;
    float expectedLambda;
  };
  // 0.033 x 30 rounds to exactly 0.99f; an exponent the optimizer will refuse
  // still reaches it unchanged (the optimizer owns that rule).
  const Case cases[] = {{0.033f, 5, 2, 0.99f}, {1.0f, 10, 3, 30.0f}, {-0.5f, -2, 1, -15.0f}};
  for (const Case& c : cases) {
    EngineLog log;
    StereoParams params = smallParams();
    params.lambda = c.lambda;
    params.smoothMax = c.smoothMax;
    params.smoothExponent = c.exponent;
    const Expected<DisparityResult> computed = computeDisparity(patterned(4, 3, 1), patterned(4, 3, 2), params,
                                                                testing::recordingEngines(log, patternFill(4)));
    ASSERT_TRUE(computed) << computed.error().message;
    EXPECT_EQ(log.lambda, c.expectedLambda) << "lambda " << c.lambda;
    EXPECT_EQ(log.maxCost, static_cast<float>(c.smoothMax));
    EXPECT_EQ(log.exponent, c.exponent);
    EXPECT_FALSE(log.useMultipliers);
    EXPECT_NE(log.dataTable, nullptr);
  }
}

TEST(ComputeDisparity, HandsTheMatcherItsSixValuesAndTheColourWeight) {
  struct Case {
    ColorMode mode;
    std::optional<float> blend;  // an explicit blend overrides the mode's weight
    float weight;
  };
  for (const Case& c : {Case{ColorMode::LogChrom, {}, 1.0f}, Case{ColorMode::Rgb, {}, 0.0f},
                        Case{ColorMode::LogChrom, 0.25f, 0.25f}, Case{ColorMode::Rgb, 1.0f, 1.0f}}) {
    EngineLog log;
    StereoParams params = smallParams(7);
    params.baseDisparity = -3;
    params.displayLevel = 9;
    params.halfWinSize = 2;
    params.sigmaP = 11.5f;
    params.sigmaS = 4.25f;
    params.colorMode = c.mode;
    DisparityOptions options;
    options.threadCount = 3;
    options.logChromWeight = c.blend;
    const cv::Mat ref = patterned(8, 5, 1);
    const cv::Mat target = patterned(8, 5, 2);
    EXPECT_TRUE(computeDisparity(ref, target, params, testing::recordingEngines(log, patternFill(7)), options));
    ASSERT_EQ(log.costCalls, 1);
    EXPECT_EQ(log.logChromWeight, c.weight);
    EXPECT_EQ(log.settings.baseDisparity, -3);
    EXPECT_EQ(log.settings.disparityRange, 7);
    EXPECT_EQ(log.settings.displayLevel, 9);
    EXPECT_EQ(log.settings.halfWinSize, 2);
    EXPECT_EQ(log.settings.spatialSigma, 11.5f);
    EXPECT_EQ(log.settings.colorSigma, 4.25f);
    EXPECT_EQ(log.settings.threadCount, 3);
    EXPECT_TRUE(sameImage(log.refSeen, ref));
    EXPECT_TRUE(sameImage(log.targetSeen, target));
  }
}

TEST(ComputeDisparity, WithoutAColourModeTheMatcherIsSkippedAndEveryCostIsZero) {
  for (const ColorMode mode : {ColorMode::Unset, static_cast<ColorMode>(7)}) {
    EngineLog log;
    StereoParams params = smallParams(5);
    params.colorMode = mode;
    DisparityOptions options;
    options.keepCosts = true;
    const Expected<DisparityResult> computed = computeDisparity(
        patterned(6, 4, 1), patterned(6, 4, 2), params, testing::recordingEngines(log, patternFill(5)), options);
    ASSERT_TRUE(computed) << computed.error().message;
    const DisparityResult& result = *computed;
    EXPECT_EQ(log.costCalls, 0);
    ASSERT_EQ(result.costs.size(), 6u * 4u * 5u);
    EXPECT_TRUE(std::all_of(result.costs.begin(), result.costs.end(), [](float c) { return c == 0.0f; }));
    EXPECT_EQ(result.passEnergies.size(), 10u);  // the run still completes
  }
}

TEST(ComputeDisparity, AMatcherFailureStopsBeforeTheOptimizer) {
  EngineLog log;
  PipelineEngines engines = testing::recordingEngines(log, patternFill(4));
  engines.computeCosts = [](CostVolume&, const cv::Mat&, const cv::Mat&, cv::Mat&, const MatcherOptions&,
                            const RowObserver&) -> Status { return outOfMemory("matcher ran out of memory\n"); };
  const Expected<DisparityResult> computed =
      computeDisparity(patterned(4, 3, 1), patterned(4, 3, 2), smallParams(), engines);
  ASSERT_FALSE(computed);
  EXPECT_EQ(computed.error().message, "matcher ran out of memory\n");
  EXPECT_EQ(computed.error().kind, ErrorKind::OutOfMemory);
  EXPECT_EQ(log.optimizersCreated, 0);
}

// An optimizer whose sweep fails as `fail` makes it fail.
class FailingSweepSolver : public testing::CheapestLabelSolver {
 public:
  FailingSweepSolver(int width, int height, int labels, EnergyTerms* terms, EngineLog& log, std::function<void()> fail)
      : CheapestLabelSolver(width, height, labels, terms, log), fail_(std::move(fail)) {}

 protected:
  double runSweeps(int) override {
    fail_();
    return 0.0;
  }

 private:
  std::function<void()> fail_;
};

TEST(ComputeDisparity, AnOptimizerFailureIsReturnedAndTheNextRunGoesOn) {
  const std::string runOutOfMemory = "Not enough memory for a 4 x 3 x 4 run (about ";
  struct Case {
    const char* what;
    std::function<std::unique_ptr<MrfSolver>(int, int, int, EnergyTerms*, EngineLog&)> create;
    const char* message;  // the whole message, or its start for the run's out-of-memory message
    ErrorKind kind;
  };
  const auto failingSweep = [](std::function<void()> fail) {
    return [fail](int w, int h, int labels, EnergyTerms* terms, EngineLog& log) -> std::unique_ptr<MrfSolver> {
      return std::make_unique<FailingSweepSolver>(w, h, labels, terms, log, fail);
    };
  };
  const Case cases[] = {
      {"exponent the optimizer refuses",
       [](int w, int h, int labels, EnergyTerms* terms, EngineLog&) -> std::unique_ptr<MrfSolver> {
         terms->smooth->exponent = 3;
         return std::make_unique<AlphaExpansion>(w, h, labels, terms);
       },
       "Wrong exponent in setSmoothness()!\n", ErrorKind::EngineFailure},
      {"construction refused",
       [](int w, int h, int, EnergyTerms* terms, EngineLog&) -> std::unique_ptr<MrfSolver> {
         return std::make_unique<AlphaExpansion>(w, h, 0, terms);
       },
       "\n labelCount is 0: at least one disparity label is needed \n", ErrorKind::EngineFailure},
      {"a sweep refuses a term", failingSweep([] {
         raiseFailure(engineFailure("\n You have to set up the data cost before running optimization \n"));
       }),
       "\n You have to set up the data cost before running optimization \n", ErrorKind::EngineFailure},
      {"the move's graph runs out of memory", failingSweep([] { raiseGraphFailure(kGraphOutOfMemory); }),
       runOutOfMemory.c_str(), ErrorKind::OutOfMemory},
      {"an allocation throws inside a sweep", failingSweep([] { throw std::bad_alloc(); }), runOutOfMemory.c_str(),
       ErrorKind::OutOfMemory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineLog log;
    PipelineEngines engines = testing::recordingEngines(log, patternFill(4));
    engines.createOptimizer = [&](int w, int h, int labels, EnergyTerms* terms, const OptimizerSettings&) {
      return c.create(w, h, labels, terms, log);
    };
    const Expected<DisparityResult> failed =
        computeDisparity(patterned(4, 3, 1), patterned(4, 3, 2), smallParams(), engines);
    ASSERT_FALSE(failed);
    const Error& error = failed.error();
    if (c.kind == ErrorKind::OutOfMemory) {
      EXPECT_EQ(error.message.rfind(c.message, 0), 0u) << error.message;
    } else {
      EXPECT_EQ(error.message, c.message);
    }
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_EQ(error.exitStatus, 1);
    EXPECT_EQ(error.stream, ErrorStream::Stderr);
    // Only the optimizer's own failures end the dialog; running out of
    // memory is told and survived.
    EXPECT_EQ(endsTheDialog(error), c.kind == ErrorKind::EngineFailure);

    // The caller carries on: the next run in the same process succeeds.
    EngineLog nextLog;
    EXPECT_TRUE(computeDisparity(patterned(4, 3, 1), patterned(4, 3, 2), smallParams(),
                                 testing::recordingEngines(nextLog, patternFill(4))));
  }
}

TEST(ComputeDisparity, ReportsProgressOfPasses) {
  EngineLog log;
  std::vector<int> passes;
  DisparityOptions options;
  options.onPass = [&](int pass, double, double seconds) {
    passes.push_back(pass);
    EXPECT_GE(seconds, 0.0);
  };
  EXPECT_TRUE(computeDisparity(patterned(4, 3, 1), patterned(4, 3, 2), smallParams(),
                               testing::recordingEngines(log, patternFill(4)), options));
  EXPECT_EQ(passes, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// ---------------------------------------------------------------------------
// runDisparityPipeline: the Compute command's run around the engines.

class PipelineRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder.file("out"));
    defaultRef = patterned(24, 16, 11);
    defaultTarget = patterned(24, 16, 22);
    cv::imwrite(folder.file("Img0.png"), defaultRef);
    cv::imwrite(folder.file("Img1.png"), defaultTarget);
    context.messages = &messages;
    context.savePath = folder.file("out/dispMap.bmp");
    context.engines = testing::recordingEngines(log, patternFill(4));
    context.defaultRefPath = folder.file("Img0.png");
    context.defaultTargetPath = folder.file("Img1.png");
  }

  bool mapSaved() const { return std::filesystem::exists(context.savePath); }

  TempFolder folder;
  EngineLog log;
  RecordingMessageBox messages;
  Error ending;  // what a run that ends the dialog gave
  PipelineContext context;
  cv::Mat defaultRef;
  cv::Mat defaultTarget;
  StereoParams params = smallParams();
};

TEST_F(PipelineRun, LoadsDefaultsIntoEmptySlotsAndEmptiesBothSlotsAtTheEnd) {
  ImageSlots slots;
  DisparityResult result;
  EXPECT_EQ(runDisparityPipeline(params, slots, context, &result), RunOutcome::Saved);
  EXPECT_TRUE(messages.shown.empty());  // success is silent
  EXPECT_TRUE(sameImage(log.refSeen, defaultRef));
  EXPECT_TRUE(sameImage(log.targetSeen, defaultTarget));
  EXPECT_TRUE(slots.refImage.empty());
  EXPECT_TRUE(slots.targetImage.empty());

  const cv::Mat saved = cv::imread(context.savePath, cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(saved.type(), CV_8UC1);
  EXPECT_TRUE(sameImage(saved, *renderDisplayMap(result.labels, 24, 16, params.baseDisparity, params.displayLevel)));
}

TEST_F(PipelineRun, KeepsAnImageAlreadyInItsSlot) {
  const cv::Mat chosenRef = patterned(24, 16, 33);
  ImageSlots slots;
  slots.refImage = chosenRef.clone();
  EXPECT_EQ(runDisparityPipeline(params, slots, context), RunOutcome::Saved);
  EXPECT_TRUE(sameImage(log.refSeen, chosenRef));
  EXPECT_TRUE(sameImage(log.targetSeen, defaultTarget));
  EXPECT_TRUE(slots.refImage.empty());

  // The next run, with nothing loaded, is back on the default files.
  EXPECT_EQ(runDisparityPipeline(params, slots, context), RunOutcome::Saved);
  EXPECT_TRUE(sameImage(log.refSeen, defaultRef));
}

TEST_F(PipelineRun, ColourCheckShowsItsMessageThenExitsWithMinusOne) {
  struct Case {
    int refChannels, targetChannels;
  };
  for (const Case& c : {Case{1, 1}, Case{3, 1}, Case{4, 4}, Case{3, 4}, Case{1, 3}}) {
    EngineLog caseLog;
    context.engines = testing::recordingEngines(caseLog, patternFill(4));
    messages.shown.clear();
    ending = Error{};
    ImageSlots slots;
    slots.refImage = patterned(24, 16, 1, c.refChannels);
    slots.targetImage = patterned(24, 16, 2, c.targetChannels);
    const cv::Mat heldRef = slots.refImage;
    EXPECT_EQ(runDisparityPipeline(params, slots, context, nullptr, &ending), RunOutcome::Ended);
    // The dialog shows the message and ends with the status; the pipeline
    // only hands them over.
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ending.summary(), "Input images should be color format !") << c.refChannels << "/" << c.targetChannels;
    EXPECT_EQ(ending.kind, ErrorKind::ColorFormat);
    EXPECT_EQ(ending.exitStatus, -1);
    EXPECT_TRUE(endsTheDialog(ending));
    EXPECT_EQ(caseLog.costCalls, 0);
    EXPECT_FALSE(mapSaved());
    EXPECT_EQ(slots.refImage.data, heldRef.data);
  }
}

TEST_F(PipelineRun, TheColourCheckComesBeforeTheDepthAndSizeChecks) {
  ImageSlots slots;
  slots.refImage = patterned(24, 16, 1, 1, CV_16U);
  slots.targetImage = patterned(10, 10, 2, 3);
  EXPECT_EQ(runDisparityPipeline(params, slots, context, nullptr, &ending), RunOutcome::Ended);
  EXPECT_EQ(ending.message, std::string(kColorFormatMessage) + "\n");
  EXPECT_EQ(ending.exitStatus, kColorFormatExitStatus);
}

TEST_F(PipelineRun, RefusesBeforeAnyWorkNamingWhatIsWrong) {
  struct Case {
    const char* what;
    std::function<void(ImageSlots&, StereoParams&, PipelineContext&)> setUp;
    std::string message;
  };
  const std::string missing = folder.file("nowhere/Img0.png");
  const std::string notAnImage = folder.file("notes.png");
  testing::writeText(notAnImage, "just some text");
  const Case cases[] = {
      {"missing default", [&](ImageSlots&, StereoParams&, PipelineContext& c) { c.defaultRefPath = missing; },
       "Cannot read the reference image \"" + missing + "\": file missing"},
      {"unreadable target", [&](ImageSlots&, StereoParams&, PipelineContext& c) { c.defaultTargetPath = notAnImage; },
       "Cannot read the target image \"" + notAnImage + "\": not an image file OpenCV can decode"},
      {"sizes differ", [](ImageSlots& s, StereoParams&, PipelineContext&) { s.targetImage = patterned(20, 10, 2); },
       "The target image is 20 x 10 pixels but the reference image is 24 x 16; both images of a pair must have "
       "the same size"},
      {"16-bit reference",
       [](ImageSlots& s, StereoParams&, PipelineContext&) { s.refImage = patterned(24, 16, 1, 3, CV_16U); },
       "The reference image has 16-bit unsigned channels; only 8 bits per channel (unsigned) are supported"},
      {"float target",
       [](ImageSlots& s, StereoParams&, PipelineContext&) { s.targetImage = patterned(24, 16, 1, 3, CV_32F); },
       "The target image has 32-bit float channels"},
      {"no labels", [](ImageSlots&, StereoParams& p, PipelineContext&) { p.disparityRange = 0; },
       "Disparity Range is 0; it must be 1 or more"},
      {"negative window", [](ImageSlots&, StereoParams& p, PipelineContext&) { p.halfWinSize = -1; },
       "HalfWinSize is -1; it must be 0 or more"},
      {"zero sigma", [](ImageSlots&, StereoParams& p, PipelineContext&) { p.sigmaS = 0.0f; },
       "SigmaS is 0; it must be a finite number other than 0"},
      {"more memory than there is",
       [](ImageSlots&, StereoParams& p, PipelineContext&) { p.disparityRange = kMaxDisparityRange; },
       "A 24 x 16 pair with Disparity Range 1000000000 and HalfWinSize 1 needs about"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineLog caseLog;
    PipelineContext caseContext = context;
    caseContext.engines = testing::recordingEngines(caseLog, patternFill(4));
    StereoParams caseParams = params;
    ImageSlots slots;
    c.setUp(slots, caseParams, caseContext);
    const cv::Mat heldRef = slots.refImage;
    const cv::Mat heldTarget = slots.targetImage;
    messages.shown.clear();

    EXPECT_EQ(runDisparityPipeline(caseParams, slots, caseContext, nullptr, &ending), RunOutcome::Refused);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].rfind(c.message, 0), 0u) << messages.shown[0];
    EXPECT_EQ(caseLog.costCalls, 0);
    EXPECT_EQ(caseLog.optimizersCreated, 0);
    EXPECT_FALSE(mapSaved());
    EXPECT_TRUE(ending.message.empty());
    // The slots hold what they held before: a default loaded by the refused
    // run does not linger.
    EXPECT_EQ(slots.refImage.data, heldRef.data);
    EXPECT_EQ(slots.targetImage.data, heldTarget.data);
  }
}

TEST_F(PipelineRun, AFailedSaveIsReportedWithPathAndReason) {
  context.savePath = folder.file("no-such-folder/dispMap.bmp");
  ImageSlots slots;
  EXPECT_EQ(runDisparityPipeline(params, slots, context), RunOutcome::SaveFailed);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find(context.savePath), std::string::npos) << messages.shown[0];
  EXPECT_NE(messages.shown[0].find("is not there"), std::string::npos) << messages.shown[0];
  // The run reached its end, so the slots are emptied as after any run.
  EXPECT_TRUE(slots.refImage.empty());
  EXPECT_TRUE(slots.targetImage.empty());
}

TEST_F(PipelineRun, AWriteThatFailsHalfwayLeavesTheEarlierMapIntact) {
  testing::writeText(context.savePath, "the earlier map");
  // A file-size limit makes the write fail after its first bytes, as a full
  // disk would.
  auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 200;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  ImageSlots slots;
  const RunOutcome outcome = runDisparityPipeline(params, slots, context);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(outcome, RunOutcome::SaveFailed);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find(context.savePath), std::string::npos) << messages.shown[0];
  EXPECT_EQ(testing::readText(context.savePath), "the earlier map");
  // Nothing half-written is left beside it.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.file("out"))) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(PipelineRun, AMatcherFailureIsShownAndLeavesTheSlotsAsTheyWere) {
  context.engines.computeCosts = [](CostVolume&, const cv::Mat&, const cv::Mat&, cv::Mat&, const MatcherOptions&,
                                    const RowObserver&) -> Status {
    return outOfMemory("The matcher could not allocate its caches\n");
  };
  ImageSlots slots;
  slots.refImage = patterned(24, 16, 5);
  EXPECT_EQ(runDisparityPipeline(params, slots, context), RunOutcome::Failed);
  EXPECT_EQ(messages.shown, std::vector<std::string>{"The matcher could not allocate its caches"});
  EXPECT_FALSE(slots.refImage.empty());
  EXPECT_TRUE(slots.targetImage.empty());
  EXPECT_FALSE(mapSaved());
}

// ---------------------------------------------------------------------------
// Helpers of the run

TEST(EstimateRunBytes, NeverOverflowsAndCoversTheVolumeAndItsCopy) {
  StereoParams params;
  EXPECT_GE(estimateRunBytes(400, 300, params), 2ull * 400 * 300 * 70 * 4);
  params.disparityRange = kMaxDisparityRange;
  params.halfWinSize = 2000000000;
  EXPECT_EQ(estimateRunBytes(2000000000, 2000000000, params), UINT64_MAX);
}

TEST(EstimateRunBytes, AWindowWiderThanTheImageCostsNoMoreThanOneThatJustCoversIt) {
  StereoParams covering;
  covering.halfWinSize = 39;  // max(40, 30) - 1
  StereoParams huge = covering;
  huge.halfWinSize = 1000000;
  EXPECT_EQ(estimateRunBytes(40, 30, huge), estimateRunBytes(40, 30, covering));
}

// The pipeline's matcher phase must be the matcher's own sizing: a budget of
// exactly the pipeline's figure lets the matcher run one worker, one byte
// less makes it refuse. Covers the blocked and the cached sweep, a window
// clamped to the image, a blend that skips a signal set and many labels.
TEST(EstimateRunBytes, TheMatcherPhaseIsTheMatchersOwnFigure) {
  struct Case {
    int width, height, labels, halfWinSize;
    bool baseline;
  };
  const Case cases[] = {
      {400, 300, 70, 15, false}, {40, 30, 8, 2, false},    {40, 30, 70, 1000000, false}, {1, 1, 1, 0, false},
      {37, 5, 300, 4, false},    {400, 300, 70, 15, true}, {9, 17, 3, 40, true},         {1000, 2, 2000, 7, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " labels " + std::to_string(c.labels) +
                 " r " + std::to_string(c.halfWinSize) + (c.baseline ? " cached" : " blocked"));
    MatcherOptions matcher;
    matcher.disparityRange = c.labels;
    matcher.halfWinSize = c.halfWinSize;
    matcher.useBaselineSweep = c.baseline;
    matcher.threadCount = 4;
    const std::uint64_t working = estimateMatcherWorkingBytes(c.width, c.height, matcher);
    EXPECT_EQ(working, matcherWorkingBytes(c.width, c.height, matcher, 1));
    EXPECT_EQ(matcherWorkerCount(c.width, c.height, matcher, 1, working), 1);
    EXPECT_EQ(matcherWorkerCount(c.width, c.height, matcher, 1, working - 1), 0);
    const std::uint64_t volumeBytes = std::uint64_t(c.width) * c.height * c.labels * sizeof(float);
    EXPECT_GE(estimateRunBytes(c.width, c.height, matcher), volumeBytes + working);
  }
}

TEST(EstimateRunBytes, TheMatcherFigureNeverOverflows) {
  MatcherOptions matcher;
  matcher.disparityRange = kMaxDisparityRange;
  matcher.halfWinSize = 2000000000;
  EXPECT_EQ(matcherWorkingBytes(2000000000, 2000000000, matcher, 1), UINT64_MAX);
  EXPECT_EQ(estimateMatcherWorkingBytes(2000000000, 2000000000, matcher), UINT64_MAX);
}

TEST(CheckRunInputs, RefusesARunThatNeedsMoreThanIsAvailable) {
  const cv::Mat image = patterned(40, 30, 1);
  const StereoParams params;
  const std::uint64_t need = estimateRunBytes(40, 30, params);
  EXPECT_TRUE(checkRunInputs(image, image, params, need));
  const Status refused = checkRunInputs(image, image, params, need - 1);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, ErrorKind::OutOfMemory);
  EXPECT_EQ(refused.error().exitStatus, 2);
  const std::string refusal = refused.error().message;
  EXPECT_NE(refusal.find("needs about"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("available"), std::string::npos) << refusal;
}

TEST(DefaultSavePath, IsDispMapInTheDataFolderBesideTheExecutable) {
  EXPECT_EQ(defaultSavePath(), executableFolder() + "/data/dispMap.bmp");
}

}  // namespace
}  // namespace orbelt
