// The dialog's Compute without a window: default images into empty slots,
// the library's run with the dialog's parameters, the display map saved
// atomically, both slots emptied; and how the dialog tells each Error.
#include "app/DialogRun.h"

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "pipeline/ColorCheck.h"
#include "platform/ProcessServices.h"
#include "postprocess/DisplayGrey.h"
#include "tests/pipeline/EngineDoubles.h"
#include "tests/pipeline/PatternedImages.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::EngineLog;
using testing::patterned;
using testing::patternFill;
using testing::sameImage;
using testing::TempFolder;

StereoParams smallParams(int range = 4) {
  StereoParams params;
  params.disparityRange = range;
  params.halfWinSize = 1;
  return params;
}

class DialogRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder.file("out"));
    defaultRef = patterned(24, 16, 11);
    defaultTarget = patterned(24, 16, 22);
    cv::imwrite(folder.file("Img0.png"), defaultRef);
    cv::imwrite(folder.file("Img1.png"), defaultTarget);
    context.savePath = folder.file("out/dispMap.bmp");
    context.engines = testing::recordingEngines(log, patternFill(4));
    context.defaultRefPath = folder.file("Img0.png");
    context.defaultTargetPath = folder.file("Img1.png");
  }

  bool mapSaved() const { return std::filesystem::exists(context.savePath); }

  TempFolder folder;
  EngineLog log;
  DialogRunContext context;
  cv::Mat defaultRef;
  cv::Mat defaultTarget;
  StereoParams params = smallParams();
};

TEST_F(DialogRun, LoadsDefaultsIntoEmptySlotsAndEmptiesBothSlotsAtTheEnd) {
  ImageSlots slots;
  DisparityResult result;
  const Status run = runDialogPipeline(params, slots, context, &result);
  EXPECT_TRUE(run) << run.error().message;  // success is silent: nothing to tell
  EXPECT_TRUE(sameImage(log.refSeen, defaultRef));
  EXPECT_TRUE(sameImage(log.targetSeen, defaultTarget));
  EXPECT_TRUE(slots.refImage.empty());
  EXPECT_TRUE(slots.targetImage.empty());

  const cv::Mat saved = cv::imread(context.savePath, cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(saved.type(), CV_8UC1);
  EXPECT_TRUE(sameImage(saved, *renderDisplayMap(result.labels, 24, 16, params.baseDisparity, params.displayLevel)));
}

TEST_F(DialogRun, KeepsAnImageAlreadyInItsSlot) {
  const cv::Mat chosenRef = patterned(24, 16, 33);
  ImageSlots slots;
  slots.refImage = chosenRef.clone();
  EXPECT_TRUE(runDialogPipeline(params, slots, context));
  EXPECT_TRUE(sameImage(log.refSeen, chosenRef));
  EXPECT_TRUE(sameImage(log.targetSeen, defaultTarget));
  EXPECT_TRUE(slots.refImage.empty());

  // The next run, with nothing loaded, is back on the default files.
  EXPECT_TRUE(runDialogPipeline(params, slots, context));
  EXPECT_TRUE(sameImage(log.refSeen, defaultRef));
}

// The dialog's values reach the optimizer's term: Lambda x 30 (0.033 gives
// exactly 0.99f), the maximum as a float, and an exponent the optimizer will
// refuse unchanged (the dialog leaves that rule to it).
TEST_F(DialogRun, BuildsTheSmoothnessTermFromTheDialogValues) {
  struct Case {
    float lambda;
    int smoothMax;
    int exponent;
    float expectedLambda;
  };
  const Case cases[] = {{0.033f, 5, 2, 0.99f}, {1.0f, 10, 3, 30.0f}, {-0.5f, -2, 1, -15.0f}};
  for (const Case& c : cases) {
    EngineLog caseLog;
    context.engines = testing::recordingEngines(caseLog, patternFill(4));
    StereoParams caseParams = params;
    caseParams.lambda = c.lambda;
    caseParams.smoothMax = c.smoothMax;
    caseParams.smoothExponent = c.exponent;
    ImageSlots slots;
    const Status run = runDialogPipeline(caseParams, slots, context);
    EXPECT_TRUE(run) << run.error().message;
    EXPECT_EQ(caseLog.lambda, c.expectedLambda) << "lambda " << c.lambda;
    EXPECT_EQ(caseLog.maxCost, static_cast<float>(c.smoothMax));
    EXPECT_EQ(caseLog.exponent, c.exponent);
    EXPECT_FALSE(caseLog.useMultipliers);
    EXPECT_NE(caseLog.dataTable, nullptr);
  }
}

// The colour mode picks the matcher's blend; without one (or with a value no
// button gives) the matcher is skipped, every cost is 0, and the run still
// completes.
TEST_F(DialogRun, TheColourModeDecidesWhetherAndHowTheMatcherRuns) {
  struct Case {
    ColorMode mode;
    int costCalls;
    float weight;
  };
  for (const Case& c : {Case{ColorMode::LogChrom, 1, 1.0f}, Case{ColorMode::Rgb, 1, 0.0f},
                        Case{ColorMode::Unset, 0, -1.0f}, Case{static_cast<ColorMode>(7), 0, -1.0f}}) {
    EngineLog caseLog;
    context.engines = testing::recordingEngines(caseLog, patternFill(5));
    StereoParams caseParams = smallParams(5);
    caseParams.colorMode = c.mode;
    ImageSlots slots;
    DisparityResult result;
    EXPECT_TRUE(runDialogPipeline(caseParams, slots, context, &result));
    EXPECT_EQ(caseLog.costCalls, c.costCalls);
    EXPECT_EQ(caseLog.logChromWeight, c.weight);
    EXPECT_EQ(result.passEnergies.size(), 10u);
    if (c.costCalls == 0) {
      EXPECT_EQ(result.passEnergies.front(), 0.0);  // every cost 0, all labels 0
    }
  }
}

TEST_F(DialogRun, ColourCheckShowsItsMessageThenExitsWithMinusOne) {
  struct Case {
    int refChannels, targetChannels;
  };
  for (const Case& c : {Case{1, 1}, Case{3, 1}, Case{4, 4}, Case{3, 4}, Case{1, 3}}) {
    EngineLog caseLog;
    context.engines = testing::recordingEngines(caseLog, patternFill(4));
    ImageSlots slots;
    slots.refImage = patterned(24, 16, 1, c.refChannels);
    slots.targetImage = patterned(24, 16, 2, c.targetChannels);
    const cv::Mat heldRef = slots.refImage;
    const Status run = runDialogPipeline(params, slots, context);
    ASSERT_FALSE(run);
    // The dialog shows the message and ends with the status; the run only
    // hands them over.
    const Error& ending = run.error();
    EXPECT_EQ(ending.summary(), "Input images should be color format !") << c.refChannels << "/" << c.targetChannels;
    EXPECT_EQ(ending.kind, ErrorKind::ColorFormat);
    const DialogReaction reaction = dialogReactionTo(ending);
    EXPECT_TRUE(reaction.showInBox);
    EXPECT_TRUE(reaction.endsProgram);
    EXPECT_EQ(reaction.exitStatus, -1);
    EXPECT_EQ(caseLog.costCalls, 0);
    EXPECT_FALSE(mapSaved());
    EXPECT_EQ(slots.refImage.data, heldRef.data);
  }
}

TEST_F(DialogRun, TheColourCheckComesBeforeTheDepthAndSizeChecks) {
  ImageSlots slots;
  slots.refImage = patterned(24, 16, 1, 1, CV_16U);
  slots.targetImage = patterned(10, 10, 2, 3);
  const Status run = runDialogPipeline(params, slots, context);
  ASSERT_FALSE(run);
  EXPECT_EQ(run.error().message, std::string(kColorFormatMessage) + "\n");
  EXPECT_EQ(dialogReactionTo(run.error()).exitStatus, kColorFormatExitStatus);
}

TEST_F(DialogRun, RefusesBeforeAnyWorkNamingWhatIsWrong) {
  struct Case {
    const char* what;
    std::function<void(ImageSlots&, StereoParams&, DialogRunContext&)> setUp;
    std::string message;
  };
  const std::string missing = folder.file("nowhere/Img0.png");
  const std::string notAnImage = folder.file("notes.png");
  testing::writeText(notAnImage, "just some text");
  const Case cases[] = {
      {"missing default", [&](ImageSlots&, StereoParams&, DialogRunContext& c) { c.defaultRefPath = missing; },
       "Cannot read the reference image \"" + missing + "\": file missing"},
      {"unreadable target", [&](ImageSlots&, StereoParams&, DialogRunContext& c) { c.defaultTargetPath = notAnImage; },
       "Cannot read the target image \"" + notAnImage + "\": not an image file OpenCV can decode"},
      {"sizes differ", [](ImageSlots& s, StereoParams&, DialogRunContext&) { s.targetImage = patterned(20, 10, 2); },
       "The target image is 20 x 10 pixels but the reference image is 24 x 16; both images of a pair must have "
       "the same size"},
      {"16-bit reference",
       [](ImageSlots& s, StereoParams&, DialogRunContext&) { s.refImage = patterned(24, 16, 1, 3, CV_16U); },
       "The reference image has 16-bit unsigned channels; only 8 bits per channel (unsigned) are supported"},
      {"float target",
       [](ImageSlots& s, StereoParams&, DialogRunContext&) { s.targetImage = patterned(24, 16, 1, 3, CV_32F); },
       "The target image has 32-bit float channels"},
      {"no labels", [](ImageSlots&, StereoParams& p, DialogRunContext&) { p.disparityRange = 0; },
       "Disparity Range is 0; it must be 1 or more"},
      {"negative window", [](ImageSlots&, StereoParams& p, DialogRunContext&) { p.halfWinSize = -1; },
       "HalfWinSize is -1; it must be 0 or more"},
      {"zero sigma", [](ImageSlots&, StereoParams& p, DialogRunContext&) { p.sigmaS = 0.0f; },
       "SigmaS is 0; it must be a finite number other than 0"},
      {"more memory than there is",
       [](ImageSlots&, StereoParams& p, DialogRunContext&) { p.disparityRange = kMaxDisparityRange; },
       "A 24 x 16 pair with Disparity Range 1000000000 and HalfWinSize 1 needs about"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineLog caseLog;
    DialogRunContext caseContext = context;
    caseContext.engines = testing::recordingEngines(caseLog, patternFill(4));
    StereoParams caseParams = params;
    ImageSlots slots;
    c.setUp(slots, caseParams, caseContext);
    const cv::Mat heldRef = slots.refImage;
    const cv::Mat heldTarget = slots.targetImage;

    const Status run = runDialogPipeline(caseParams, slots, caseContext);
    ASSERT_FALSE(run);
    // One message in a box, and the dialog stays.
    const DialogReaction reaction = dialogReactionTo(run.error());
    EXPECT_TRUE(reaction.showInBox);
    EXPECT_FALSE(reaction.endsProgram);
    EXPECT_EQ(run.error().summary().rfind(c.message, 0), 0u) << run.error().message;
    EXPECT_EQ(caseLog.costCalls, 0);
    EXPECT_EQ(caseLog.optimizersCreated, 0);
    EXPECT_FALSE(mapSaved());
    // The slots hold what they held before: a default loaded by the refused
    // run does not linger.
    EXPECT_EQ(slots.refImage.data, heldRef.data);
    EXPECT_EQ(slots.targetImage.data, heldTarget.data);
  }
}

TEST_F(DialogRun, AFailedSaveIsReportedWithPathAndReason) {
  context.savePath = folder.file("no-such-folder/dispMap.bmp");
  ImageSlots slots;
  const Status run = runDialogPipeline(params, slots, context);
  ASSERT_FALSE(run);
  const std::string shown = run.error().summary();
  EXPECT_FALSE(dialogReactionTo(run.error()).endsProgram);
  EXPECT_EQ(shown.rfind("The disparity map was computed but not saved. ", 0), 0u) << shown;
  EXPECT_NE(shown.find(context.savePath), std::string::npos) << shown;
  EXPECT_NE(shown.find("is not there"), std::string::npos) << shown;
  // The run reached its end, so the slots are emptied as after any run.
  EXPECT_TRUE(slots.refImage.empty());
  EXPECT_TRUE(slots.targetImage.empty());
}

TEST_F(DialogRun, AWriteThatFailsHalfwayLeavesTheEarlierMapIntact) {
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
  const Status run = runDialogPipeline(params, slots, context);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previousHandler);

  ASSERT_FALSE(run);
  EXPECT_NE(run.error().message.find(context.savePath), std::string::npos) << run.error().message;
  EXPECT_EQ(testing::readText(context.savePath), "the earlier map");
  // Nothing half-written is left beside it.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.file("out"))) ++entries;
  EXPECT_EQ(entries, 1);
}

// A matcher that cannot have its storage.
class ShortOfMemoryMatcher : public Matcher {
 public:
  Expected<CostVolume> compute(const cv::Mat&, const cv::Mat&, const MatcherOptions&, std::uint64_t,
                               const StereoProgress&, StereoView) const override {
    return outOfMemory("The matcher could not allocate its caches\n");
  }
};

TEST_F(DialogRun, AMatcherFailureIsShownAndLeavesTheSlotsAsTheyWere) {
  context.engines.matcher = std::make_shared<ShortOfMemoryMatcher>();
  ImageSlots slots;
  slots.refImage = patterned(24, 16, 5);
  const Status run = runDialogPipeline(params, slots, context);
  ASSERT_FALSE(run);
  EXPECT_EQ(run.error().summary(), "The matcher could not allocate its caches");
  const DialogReaction reaction = dialogReactionTo(run.error());
  EXPECT_TRUE(reaction.showInBox);
  EXPECT_FALSE(reaction.endsProgram);
  EXPECT_FALSE(slots.refImage.empty());
  EXPECT_TRUE(slots.targetImage.empty());
  EXPECT_FALSE(mapSaved());
}

// The optimizer's own refusal of the dialog's exponent comes after the cost
// volume and ends the dialog, printed as the engine prints it; running out of
// memory is told in a box and survived.
TEST_F(DialogRun, TheOptimizersOwnFailuresEndTheDialog) {
  const cv::Mat left = patterned(16, 10, 3);
  const cv::Mat right = patterned(16, 10, 4);
  context.engines = {};  // the real engines
  context.savePath = "/nonexistent/never-written.bmp";
  StereoParams caseParams = smallParams(6);
  caseParams.halfWinSize = 2;
  caseParams.smoothExponent = 3;
  ImageSlots slots{left, right};
  const Status run = runDialogPipeline(caseParams, slots, context);
  ASSERT_FALSE(run);
  EXPECT_EQ(run.error().message, "Wrong exponent in setSmoothness()!\n");
  EXPECT_EQ(run.error().kind, ErrorKind::EngineFailure);
  const DialogReaction reaction = dialogReactionTo(run.error());
  EXPECT_FALSE(reaction.showInBox);  // the dialog prints it on stderr, not in a box
  EXPECT_TRUE(reaction.endsProgram);
  EXPECT_EQ(reaction.exitStatus, 1);
  // Nothing was saved and the slots are as they were.
  EXPECT_EQ(slots.refImage.data, left.data);
  EXPECT_EQ(slots.targetImage.data, right.data);

  EXPECT_FALSE(dialogReactionTo(outOfMemory("Not enough memory for a 4 x 3 x 4 run\n")).endsProgram);
  EXPECT_FALSE(dialogReactionTo(runTooLarge("A 4 x 3 pair ... needs about\n")).endsProgram);
}

TEST(DefaultSavePath, IsDispMapInTheDataFolderBesideTheExecutable) {
  EXPECT_EQ(defaultSavePath(), executableFolder() + "/data/dispMap.bmp");
}

}  // namespace
}  // namespace orbelt
