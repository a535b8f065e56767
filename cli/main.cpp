// orbelt-cli: computes a disparity map from a rectified colour stereo pair,
// headless, with the same pipeline, parameters and defaults as the dialog.
//
// Exit status: 0 the map was written; 1 an engine ended the run (the
// optimizer's own message, e.g. an exponent other than 1 or 2, or the matcher
// failing during the run); 2 a usage, input or output-file error, reported
// before any work where possible (earlier outputs are left intact); 255 an
// image that is not a colour image (the colour check's message and status -1).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/NpyFile.h"
#include "pipeline/DisparityPipeline.h"
#include "pipeline/GroundTruthScore.h"
#include "pipeline/PfmFile.h"

namespace {

using namespace orbelt;

constexpr int kExitEngineFailure = 1;
constexpr int kExitUsage = 2;

class StderrMessageBox : public MessageBox {
 public:
  void show(const std::string& text) override {
    endProgressLine();
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  // Ends a progress line that is being redrawn in place.
  static void endProgressLine() {
    if (progressOpen) std::fputc('\n', stderr);
    progressOpen = false;
  }
  static inline bool progressOpen = false;
};

// Where a file can go: its folder must exist and be writable, and the path
// must not name a folder. Checked before the long computation starts.
std::string checkWritable(const std::string& path, const char* what) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  struct stat info {};
  if (path.empty() || path.back() == '/') return std::string("The ") + what + " path \"" + path + "\" names no file";
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return std::string("Cannot write the ") + what + " \"" + path + "\": its folder \"" + folder + "\" is not there";
  }
  if (::access(folder.c_str(), W_OK) != 0) {
    return std::string("Cannot write the ") + what + " \"" + path + "\": its folder \"" + folder +
           "\" is not writable";
  }
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return std::string("Cannot write the ") + what + " \"" + path + "\": it is a folder";
  }
  return {};
}

int fail(const std::string& message, int status) {
  StderrMessageBox::endProgressLine();
  std::fprintf(stderr, "%s\n", message.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  StereoParams params;
  std::string leftPath = kDefaultRefPath;
  std::string rightPath = kDefaultTargetPath;
  std::string outputPath = defaultSavePath();
  std::string colorMode = "logchrom";
  std::optional<std::uint32_t> seed;
  int threads = 0;
  std::string costPath;
  std::string truthPath;
  float badThreshold = 1.0f;
  bool quiet = false;

  CLI::App app{
      "Computes a dense disparity map from a rectified colour stereo pair: ANCC matching costs, then\n"
      "alpha-expansion over a grid MRF (ten passes). Writes the labels as an 8-bit grey map,\n"
      "grey = ((label + base) * display level) mod 256 (the base is left out when negative).",
      "orbelt-cli"};
  app.footer(
      "Exit status:\n"
      "  0    the map was written\n"
      "  1    an engine ended the run (its message says why, e.g. a smoothness exponent other than 1 or 2)\n"
      "  2    usage, input or output-file error (nothing is written; earlier outputs stay as they were)\n"
      "  255  an input image is not a 3-channel colour image");
  app.get_formatter()->column_width(34);
  // A repeated option takes its last value, so a script can append overrides.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  app.add_option("left,--left", leftPath, "Reference (left) image")->capture_default_str();
  app.add_option("right,--right", rightPath, "Target (right) image")->capture_default_str();
  app.add_option("-o,--output", outputPath, "Display map to write; the extension picks the format")
      ->capture_default_str();
  app.add_option("--half-win-size", params.halfWinSize, "Window half size r, pixels; windows are (2r+1)^2")
      ->capture_default_str();
  app.add_option("--sigma-s", params.sigmaS, "Colour-difference sigma of the window weights, Lab units")
      ->capture_default_str();
  app.add_option("--sigma-p", params.sigmaP, "Spatial sigma of the window weights, pixels")->capture_default_str();
  app.add_option("--base-disparity", params.baseDisparity, "Disparity of label 0, pixels")->capture_default_str();
  app.add_option("--disparity-range", params.disparityRange, "Number of disparity labels")->capture_default_str();
  app.add_option("--display-level", params.displayLevel, "Grey multiplier of the map (low 8 bits act)")
      ->capture_default_str();
  app.add_option("--smooth-exponent", params.smoothExponent, "Exponent of the smoothness term (1 or 2)")
      ->capture_default_str();
  app.add_option("--smooth-max", params.smoothMax, "Truncation of the label-distance power")->capture_default_str();
  app.add_option("--lambda", params.lambda, "Smoothness weight (scaled by 30 inside)")->capture_default_str();
  app.add_option("--color-mode", colorMode, "Colour space the windows are compared in")
      ->check(CLI::IsMember({"logchrom", "rgb"}))
      ->capture_default_str();
  app.add_option("--seed", seed, "Seed of the optimizer's label orders, for a reproducible map (default: the clock)");
  app.add_option("--threads", threads, "Threads of the cost computation; 0 = all cores")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--save-cost", costPath,
                 "Also write the flat cost array as a NumPy float32 .npy of shape (height, width, labels)");
  app.add_option("--ground-truth", truthPath,
                 "Score the map against a float disparity map (.pfm) of the left view and print the result");
  app.add_option("--bad-threshold", badThreshold, "Error above which a pixel counts as bad, pixels")
      ->capture_default_str();
  app.add_flag("-q,--quiet", quiet, "Print only errors and the final \"wrote\" line");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  params.colorMode = colorMode == "rgb" ? ColorMode::Rgb : ColorMode::LogChrom;

  // Everything that can be judged without computing is judged first, so a
  // mistake costs no time and touches no file.
  if (std::string bad = params.check(); !bad.empty()) return fail(bad, kExitUsage);
  if (std::string bad = checkWritable(outputPath, "disparity map"); !bad.empty()) return fail(bad, kExitUsage);
  if (!costPath.empty()) {
    if (std::string bad = checkWritable(costPath, "cost array"); !bad.empty()) return fail(bad, kExitUsage);
  }
  cv::Mat truth;
  if (!truthPath.empty()) {
    if (std::string bad = readPfm(truthPath, truth); !bad.empty()) return fail(bad, kExitUsage);
  }

  ImageSlots slots;
  if (std::string bad = loadInputImage(leftPath, "reference", slots.refImage); !bad.empty()) {
    return fail(bad, kExitUsage);
  }
  if (std::string bad = loadInputImage(rightPath, "target", slots.targetImage); !bad.empty()) {
    return fail(bad, kExitUsage);
  }
  const int width = slots.refImage.cols;
  const int height = slots.refImage.rows;
  if (!truth.empty() && (truth.cols != width || truth.rows != height)) {
    return fail("The ground truth \"" + truthPath + "\" is " + std::to_string(truth.cols) + " x " +
                    std::to_string(truth.rows) + " but the reference image is " + std::to_string(width) + " x " +
                    std::to_string(height),
                kExitUsage);
  }

  StderrMessageBox messages;
  PipelineContext context;
  context.messages = &messages;
  context.savePath = outputPath;
  context.engines = defaultEngines(seed);
  context.options.keepCosts = !costPath.empty();
  context.options.threadCount = threads;
  const bool live = !quiet && ::isatty(STDERR_FILENO);
  int passesDone = 0;
  if (live) {
    context.options.onRow = [](int done, int rows) {
      std::fprintf(stderr, "\rcost volume: row %d of %d", done, rows);
      StderrMessageBox::progressOpen = true;
    };
    context.options.onMove = [&passesDone](int done, int perPass) {
      std::fprintf(stderr, "\roptimizer: pass %d of %d, move %d of %d   ", passesDone + 1, kOptimizerPasses, done,
                   perPass);
      StderrMessageBox::progressOpen = true;
    };
  }
  if (!quiet) {
    std::fprintf(stderr, "%s: %d x %d, %d labels from %d, window %d x %d, %s\n", argv[0], width, height,
                 params.disparityRange, params.baseDisparity, 2 * params.halfWinSize + 1,
                 2 * params.halfWinSize + 1, colorMode.c_str());
    context.options.onPass = [&passesDone](int pass, double energy, double seconds) {
      passesDone = pass;
      StderrMessageBox::endProgressLine();
      std::fprintf(stderr, "pass %2d of %d: energy %.1f (%.2f s)\n", pass, kOptimizerPasses, energy, seconds);
    };
  }

  DisparityResult result;
  const RunOutcome outcome = runDisparityPipeline(params, slots, context, &result);
  switch (outcome) {
    case RunOutcome::Saved:
      break;
    case RunOutcome::Refused:
      return kExitUsage;  // the message is out already
    case RunOutcome::Failed:
      return kExitEngineFailure;
    case RunOutcome::SaveFailed:
      return kExitUsage;
  }

  double costSaveSeconds = 0.0;
  if (!costPath.empty()) {
    const auto start = std::chrono::steady_clock::now();
    const std::string bad =
        writeNpyFloat32(costPath, result.costs.data(),
                        {static_cast<std::size_t>(height), static_cast<std::size_t>(width),
                         static_cast<std::size_t>(params.disparityRange)});
    costSaveSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!bad.empty()) return fail(bad, kExitUsage);
  }

  if (!quiet) {
    std::fprintf(stderr, "cost volume  %8.3f s\n", result.costSeconds);
    std::fprintf(stderr, "flatten      %8.3f s\n", result.flattenSeconds);
    std::fprintf(stderr, "optimize     %8.3f s  (%d passes, final energy %.1f)\n", result.optimizeSeconds,
                 kOptimizerPasses, result.passEnergies.empty() ? 0.0 : result.passEnergies.back());
    std::fprintf(stderr, "save map     %8.3f s\n", result.saveSeconds);
    if (!costPath.empty()) std::fprintf(stderr, "save costs   %8.3f s  (%s)\n", costSaveSeconds, costPath.c_str());
  }
  if (!truth.empty()) {
    const GroundTruthScore score =
        scoreAgainstTruth(result.labels, width, height, params.baseDisparity, truth, badThreshold);
    std::printf("bad pixels (error > %g px): %.2f%% of %zu; mean absolute error %.3f px\n",
                static_cast<double>(badThreshold), score.badPercent(), score.scored, score.meanAbsError);
  }
  std::printf("wrote %s\n", outputPath.c_str());
  return 0;
}
