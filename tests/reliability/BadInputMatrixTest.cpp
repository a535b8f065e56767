// Every kind of bad input a user can hand Orbelt, one table per front end:
// the command line (the built orbelt-cli, run as a subprocess without a
// shell, so names with spaces reach it untouched) and the dialog's run
// (runDialogPipeline with the real engines, its Errors told as the dialog
// tells them). Each case says whether the input must be refused or must run; a
// refusal must name the problem, and a map written earlier at the output
// path must come through byte for byte. A run must write, pixel for pixel,
// the map the library computes from the same files, parameters and seed.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "app/DialogRun.h"
#include "pipeline/ColorCheck.h"
#include "pipeline/RunStereo.h"
#include "postprocess/DisplayGrey.h"
#include "tests/io/ShiftedPair.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::readText;
using testing::TempFolder;
using testing::writeShiftedPairFiles;
using testing::writeText;

// What an earlier run left at the output path; any refusal must keep it.
const std::string kEarlierMap = "BM the map of an earlier run";

struct ProgramRun {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args` in `folder`, stdin from /dev/null.
ProgramRun runProgram(const std::string& folder, const std::string& program, const std::vector<std::string>& args) {
  const std::string outFile = folder + "/.stdout";
  const std::string errFile = folder + "/.stderr";
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(folder.c_str()) != 0) ::_exit(120);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(121);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(122);
  }
  int raw = 0;
  ::waitpid(child, &raw, 0);
  ProgramRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = readText(outFile);
  run.err = readText(errFile);
  return run;
}

// The map the library computes from the two files with `params` and the
// optimizer seeded with `seed`: what a front end that runs must write.
cv::Mat expectedMap(const std::string& refPath, const std::string& targetPath, const StereoParams& params,
                    std::uint32_t seed) {
  StereoRequest request;
  request.left = cv::imread(refPath, cv::IMREAD_UNCHANGED);
  request.right = cv::imread(targetPath, cv::IMREAD_UNCHANGED);
  request.options = stereoOptionsFor(params);
  request.options.optimizer.seed = seed;
  const Expected<StereoResult> result = runStereo(request);
  if (!result) {
    ADD_FAILURE() << "the reference run failed: " << result.error().message;
    return {};
  }
  return *renderDisplayMap(result->left.labels, result->width, result->height, params.baseDisparity,
                           params.displayLevel);
}

// Whether the image at `path` is `expected`, pixel for pixel.
::testing::AssertionResult holdsMap(const std::string& path, const cv::Mat& expected) {
  const cv::Mat map = cv::imread(path, cv::IMREAD_UNCHANGED);
  if (map.type() != CV_8UC1 || map.size() != expected.size())
    return ::testing::AssertionFailure() << path << " is not an 8-bit grey map of " << expected.size();
  const int differing = cv::countNonZero(map != expected);
  if (differing != 0) return ::testing::AssertionFailure() << differing << " pixels of " << path << " differ";
  return ::testing::AssertionSuccess();
}

// The files of the matrix, made once per test in a fresh folder.
class BadInputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"out", "a folder", "with space", "시차 쌍"}) std::filesystem::create_directory(file(sub));
    writeShiftedPairFiles(file("left.png"), file("right.png"), 40, 30, 2);
    writeShiftedPairFiles(file("with space/left view.png"), file("with space/right view.png"), 40, 30, 2);
    writeShiftedPairFiles(file("시차 쌍/왼쪽.png"), file("시차 쌍/오른쪽.png"), 40, 30, 2);
    writeShiftedPairFiles(file("one0.png"), file("one1.png"), 1, 1, 0);
    writeShiftedPairFiles(file("small0.png"), file("small1.png"), 20, 15, 1);
    writeText(file("empty.png"), "");
    const std::string png = readText(file("left.png"));
    writeText(file("truncated.png"), png.substr(0, png.size() / 2));
    writeText(file("text.png"), "not an image, just a note someone saved as .png\n");
    writeText(file("plain.txt"), "a regular file, used where a folder is expected\n");
    ASSERT_TRUE(cv::imwrite(file("grey.png"), cv::Mat(30, 40, CV_8UC1, cv::Scalar(90))));
    ASSERT_TRUE(cv::imwrite(file("rgba.png"), cv::Mat(30, 40, CV_8UC4, cv::Scalar(10, 20, 30, 255))));
    ASSERT_TRUE(cv::imwrite(file("deep.png"), cv::Mat(30, 40, CV_16UC3, cv::Scalar(1000, 2000, 3000))));
  }
  std::string file(const std::string& name) const { return folder.file(name); }
  TempFolder folder;
};

// ---------------------------------------------------------------------------
// The command line
// ---------------------------------------------------------------------------

struct CliCase {
  const char* what;
  std::vector<std::string> args;  // after the common ones, so they win
  int status;                     // expected exit status
  const char* message;            // in stderr (refusals) - empty for runs
  const char* written;            // the map a run must write (relative), or nullptr for a refusal
  // For a run: the parameters its options set, beyond the common ones.
  std::function<void(StereoParams&)> adjust = [](StereoParams&) {};
};

using CliMatrix = BadInputFiles;

TEST_F(CliMatrix, RefusesWithAMessageOrRunsAndNeverLosesTheEarlierMap) {
  const std::vector<std::string> common = {
      "-q", "-o", "out/map.bmp", "--disparity-range", "6", "--half-win-size", "2", "--seed", "3"};
  const std::vector<CliCase> cases = {
      // Files that are not a usable image.
      {"missing file", {"nothere.png", "right.png"}, 2, "\"nothere.png\": file missing", nullptr},
      {"folder instead of a file", {"left.png", "a folder"}, 2, "\"a folder\": it is a folder", nullptr},
      {"zero-byte file", {"empty.png", "right.png"}, 2, "\"empty.png\": the file is empty", nullptr},
      {"truncated PNG", {"left.png", "truncated.png"}, 2, "\"truncated.png\": not an image", nullptr},
      {"text file named .png", {"text.png", "right.png"}, 2, "\"text.png\": not an image", nullptr},
      {"1-channel image", {"grey.png", "grey.png"}, 255, "Input images should be color format !", nullptr},
      {"4-channel image", {"rgba.png", "rgba.png"}, 255, "Input images should be color format !", nullptr},
      {"colour left, grey right", {"left.png", "grey.png"}, 255, "Input images should be color format !", nullptr},
      {"16-bit image", {"deep.png", "deep.png"}, 2, "16-bit unsigned channels; only 8 bits", nullptr},
      {"sizes differ", {"left.png", "small1.png"}, 2, "both images of a pair must have the same size", nullptr},
      // Parameters out of their domain.
      {"range 0", {"left.png", "right.png", "--disparity-range", "0"}, 2, "--disparity-range is 0", nullptr},
      {"negative range", {"left.png", "right.png", "--disparity-range", "-5"}, 2, "--disparity-range is -5", nullptr},
      {"negative window", {"left.png", "right.png", "--half-win-size", "-1"}, 2, "--half-win-size is -1", nullptr},
      {"sigma 0", {"left.png", "right.png", "--sigma-s", "0"}, 2, "--sigma-s is 0", nullptr},
      {"NaN sigma", {"left.png", "right.png", "--sigma-s", "nan"}, 2, "--sigma-s is nan", nullptr},
      {"infinite sigma", {"left.png", "right.png", "--sigma-p", "-inf"}, 2, "--sigma-p is -inf", nullptr},
      {"infinite lambda", {"left.png", "right.png", "--lambda", "inf"}, 2, "--lambda is inf", nullptr},
      {"NaN lambda", {"left.png", "right.png", "--lambda", "nan"}, 2, "--lambda is nan", nullptr},
      {"base beyond 32 bits",
       {"left.png", "right.png", "--base-disparity", "3000000000"},
       2,
       "--base-disparity",
       nullptr},
      {"text for a number", {"left.png", "right.png", "--lambda", "lots"}, 2, "--lambda", nullptr},
      {"more memory than there is",
       {"left.png", "right.png", "--disparity-range", "1000000000"},
       2,
       "of memory, but only",
       nullptr},
      // The optimizer's rule, refused before any work with its message.
      {"exponent 3",
       {"left.png", "right.png", "--smooth-exponent", "3"},
       2,
       "Wrong exponent in setSmoothness()!",
       nullptr},
      // Output paths that cannot take the map.
      {"output under a file",
       {"left.png", "right.png", "-o", "plain.txt/map.bmp"},
       2,
       "\"plain.txt/map.bmp\": its folder \"plain.txt\"",
       nullptr},
      {"output under /dev/null",
       {"left.png", "right.png", "-o", "/dev/null/map.bmp"},
       2,
       "\"/dev/null/map.bmp\": its folder \"/dev/null\"",
       nullptr},
      {"output folder missing",
       {"left.png", "right.png", "-o", "gone/map.bmp"},
       2,
       "its folder \"gone\" is not there",
       nullptr},
      {"output in /proc", {"left.png", "right.png", "-o", "/proc/map.bmp"}, 2, "\"/proc/map.bmp\"", nullptr},
      {"output is a folder", {"left.png", "right.png", "-o", "a folder"}, 2, "\"a folder\": it is a folder", nullptr},
      {"output without a format", {"left.png", "right.png", "-o", "out/map"}, 2, "extension", nullptr},
      // Inputs that look odd but have a well-defined map: they must run.
      {"1x1 pair", {"one0.png", "one1.png"}, 0, "", "out/map.bmp"},
      {"window wider than the image",
       {"small0.png", "small1.png", "--half-win-size", "40"},
       0,
       "",
       "out/map.bmp",
       [](StereoParams& p) { p.halfWinSize = 40; }},
      {"window of one pixel",
       {"left.png", "right.png", "--half-win-size", "0"},
       0,
       "",
       "out/map.bmp",
       [](StereoParams& p) { p.halfWinSize = 0; }},
      {"range wider than the image",
       {"small0.png", "small1.png", "--disparity-range", "24"},
       0,
       "",
       "out/map.bmp",
       [](StereoParams& p) { p.disparityRange = 24; }},
      {"base beyond the width",
       {"left.png", "right.png", "--base-disparity", "100"},
       0,
       "",
       "out/map.bmp",
       [](StereoParams& p) { p.baseDisparity = 100; }},
      {"negative base beyond the width",
       {"left.png", "right.png", "--base-disparity", "-100"},
       0,
       "",
       "out/map.bmp",
       [](StereoParams& p) { p.baseDisparity = -100; }},
      {"negative sigma (its absolute value)",
       {"left.png", "right.png", "--sigma-s", "-3.8"},
       0,
       "",
       "out/map.bmp",
       [](StereoParams& p) { p.sigmaS = -3.8f; }},
      {"paths with spaces",
       {"with space/left view.png", "with space/right view.png", "-o", "with space/the map.bmp"},
       0,
       "",
       "with space/the map.bmp"},
      {"non-ASCII paths",
       {"시차 쌍/왼쪽.png", "시차 쌍/오른쪽.png", "-o", "시차 쌍/시차.png"},
       0,
       "",
       "시차 쌍/시차.png"},
  };
  for (const CliCase& c : cases) {
    SCOPED_TRACE(c.what);
    writeText(file("out/map.bmp"), kEarlierMap);
    std::vector<std::string> args = common;
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = runProgram(folder.path(), ORBELT_CLI_PATH, args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.written == nullptr) {
      EXPECT_NE(run.err.find(c.message), std::string::npos) << "stderr:\n" << run.err;
      EXPECT_EQ(run.out.find("wrote"), std::string::npos) << run.out;
      EXPECT_EQ(readText(file("out/map.bmp")), kEarlierMap);
    } else {
      EXPECT_EQ(run.out, std::string("wrote ") + c.written + "\n") << run.err;
      StereoParams params;  // the common options
      params.disparityRange = 6;
      params.halfWinSize = 2;
      c.adjust(params);
      EXPECT_TRUE(holdsMap(file(c.written), expectedMap(file(c.args[0]), file(c.args[1]), params, 3)));
    }
  }
  // Nothing half-written is left behind by any case.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

// ---------------------------------------------------------------------------
// The dialog's path: the same run the Compute button makes
// ---------------------------------------------------------------------------

struct PipelineCase {
  const char* what;
  const char* ref;     // default reference file (the slot is empty, as after a failed load)
  const char* target;  // default target file
  std::function<void(StereoParams&)> adjust;
  const char* savePath;  // relative; "out/dispMap.bmp" holds the earlier map
  bool saved;            // the map was saved (success, silent)
  const char* message;   // in the one message shown; empty when nothing may be shown
};

using PipelineMatrix = BadInputFiles;

// The dialog's run with the real engines, the optimizer's label orders
// seeded: a labeller that fixes the seed and hands everything else on.
class SeededLabeller : public Labeller {
 public:
  explicit SeededLabeller(std::uint32_t seed) : seed_(seed) {}
  Expected<Labelling> label(CostVolume costs, const OptimizerOptions& options, bool keepCosts,
                            std::uint64_t budgetBytes, const StereoProgress& progress, StereoView view) const override {
    OptimizerOptions seeded = options;
    seeded.seed = seed_;
    return real_->label(std::move(costs), seeded, keepCosts, budgetBytes, progress, view);
  }

 private:
  std::uint32_t seed_;
  std::shared_ptr<const Labeller> real_ = createExpansionLabeller();
};

Status runSeeded(const StereoParams& params, ImageSlots& slots, DialogRunContext& context, std::uint32_t seed) {
  context.engines.labeller = std::make_shared<SeededLabeller>(seed);
  return runDialogPipeline(params, slots, context);
}

TEST_F(PipelineMatrix, RefusesWithOneMessageOrSavesAndNeverLosesTheEarlierMap) {
  const auto same = [](StereoParams&) {};
  const std::vector<PipelineCase> cases = {
      {"missing file", "nothere.png", "right.png", same, "out/dispMap.bmp", false, "file missing"},
      {"folder", "left.png", "a folder", same, "out/dispMap.bmp", false, "it is a folder"},
      {"zero-byte file", "empty.png", "right.png", same, "out/dispMap.bmp", false, "the file is empty"},
      {"truncated PNG", "truncated.png", "right.png", same, "out/dispMap.bmp", false, "not an image"},
      {"text file", "left.png", "text.png", same, "out/dispMap.bmp", false, "not an image"},
      {"16-bit", "deep.png", "deep.png", same, "out/dispMap.bmp", false, "16-bit unsigned"},
      {"sizes differ", "small0.png", "right.png", same, "out/dispMap.bmp", false, "the same size"},
      {"range 0", "left.png", "right.png", [](StereoParams& p) { p.disparityRange = 0; }, "out/dispMap.bmp", false,
       "Disparity Range is 0"},
      {"negative window", "left.png", "right.png", [](StereoParams& p) { p.halfWinSize = -3; }, "out/dispMap.bmp",
       false, "HalfWinSize is -3"},
      {"NaN sigma", "left.png", "right.png", [](StereoParams& p) { p.sigmaP = std::nanf(""); }, "out/dispMap.bmp",
       false, "SigmaP is nan"},
      {"too big for memory", "left.png", "right.png", [](StereoParams& p) { p.disparityRange = 1000000000; },
       "out/dispMap.bmp", false, "of memory"},
      {"save folder is a file", "left.png", "right.png", same, "plain.txt/dispMap.bmp", false,
       "computed but not saved"},
      {"save path is a folder", "left.png", "right.png", same, "a folder", false, "computed but not saved"},
      {"1x1 pair", "one0.png", "one1.png", same, "out/dispMap.bmp", true, ""},
      {"window wider than the image", "small0.png", "small1.png", [](StereoParams& p) { p.halfWinSize = 40; },
       "out/dispMap.bmp", true, ""},
      {"range wider than the image", "small0.png", "small1.png", [](StereoParams& p) { p.disparityRange = 24; },
       "out/dispMap.bmp", true, ""},
      {"non-ASCII names", "시차 쌍/왼쪽.png", "시차 쌍/오른쪽.png", same, "시차 쌍/dispMap.bmp", true, ""},
  };
  for (const PipelineCase& c : cases) {
    SCOPED_TRACE(c.what);
    writeText(file("out/dispMap.bmp"), kEarlierMap);
    DialogRunContext context;
    context.savePath = file(c.savePath);
    context.defaultRefPath = file(c.ref);
    context.defaultTargetPath = file(c.target);
    // The dialog's run with its optimizer seeded, so the map is reproducible.
    StereoParams params;
    params.disparityRange = 6;
    params.halfWinSize = 2;
    c.adjust(params);
    ImageSlots slots;
    const Status run = runSeeded(params, slots, context, 5);
    EXPECT_EQ(run.ok(), c.saved) << (run ? "" : run.error().message);
    if (c.saved) {
      EXPECT_TRUE(holdsMap(file(c.savePath), expectedMap(file(c.ref), file(c.target), params, 5)));
    } else {
      // One message in a box; the dialog stays.
      const DialogReaction reaction = dialogReactionTo(run.error());
      EXPECT_TRUE(reaction.showInBox);
      EXPECT_FALSE(reaction.endsProgram);
      EXPECT_NE(run.error().summary().find(c.message), std::string::npos) << run.error().message;
    }
    // Only a run that saves to the earlier map's own path may replace it.
    if (std::string(c.savePath) != "out/dispMap.bmp" || !c.saved) {
      EXPECT_EQ(readText(file("out/dispMap.bmp")), kEarlierMap);
    }
  }
}

TEST_F(PipelineMatrix, AnImageThatIsNotColourEndsTheRunWithTheColourMessage) {
  for (const char* grey : {"grey.png", "rgba.png"}) {
    SCOPED_TRACE(grey);
    writeText(file("out/dispMap.bmp"), kEarlierMap);
    DialogRunContext context;
    context.savePath = file("out/dispMap.bmp");
    context.defaultRefPath = file("left.png");
    context.defaultTargetPath = file(grey);
    ImageSlots slots;
    const Status run = runDialogPipeline(StereoParams{}, slots, context);
    ASSERT_FALSE(run);
    // The dialog shows this message in its box and ends with the status.
    EXPECT_EQ(run.error().summary(), kColorFormatMessage);
    const DialogReaction reaction = dialogReactionTo(run.error());
    EXPECT_TRUE(reaction.showInBox);
    EXPECT_TRUE(reaction.endsProgram);
    EXPECT_EQ(reaction.exitStatus, kColorFormatExitStatus);
    EXPECT_EQ(readText(file("out/dispMap.bmp")), kEarlierMap);
  }
}

TEST_F(PipelineMatrix, AWrongExponentEndsTheProcessWithTheOptimizersMessage) {
  writeText(file("out/dispMap.bmp"), kEarlierMap);
  DialogRunContext context;
  context.savePath = file("out/dispMap.bmp");
  context.defaultRefPath = file("small0.png");
  context.defaultTargetPath = file("small1.png");
  StereoParams params;
  params.disparityRange = 4;
  params.halfWinSize = 1;
  params.smoothExponent = 3;
  ImageSlots slots;
  const Status run = runDialogPipeline(params, slots, context);
  ASSERT_FALSE(run);
  // The dialog prints it on stderr and ends with status 1.
  EXPECT_EQ(run.error().message, "Wrong exponent in setSmoothness()!\n");
  const DialogReaction reaction = dialogReactionTo(run.error());
  EXPECT_FALSE(reaction.showInBox);
  EXPECT_TRUE(reaction.endsProgram);
  EXPECT_EQ(reaction.exitStatus, 1);
  EXPECT_EQ(readText(file("out/dispMap.bmp")), kEarlierMap);
}

}  // namespace
}  // namespace orbelt
