// Two encoded images and a parameter set from bytes, through the checks a
// run makes before any work and, when they pass, a real run (runStereo) on a
// tiny pair.
//
// Input layout (see corpus/image_pair for examples):
//   byte 0..9   parameters: half window 0..4, labels 1..8, base -4..4,
//               display level, exponent 1 or 2, smoothness max 0..8,
//               lambda and the two sigmas from small tables (0 included),
//               colour mode, seed
//   u16         byte length of the first encoded image
//   ...         the first (reference) image, then the second (target)
// The decoders get at most 4096 pixels per image, so each execution stays
// short; runs are made only for images up to 24 x 24.
//
// Judged: no crash or memory error anywhere; a pair the checks pass gives a
// full labelling in range, and its display map has the image's size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "fuzz/ByteReader.h"
#include "pipeline/RunStereo.h"
#include "postprocess/DisplayGrey.h"

namespace {

using orbelt::fuzz::ByteReader;
using orbelt::fuzz::failInvariant;

constexpr int kLargestRunSide = 24;

cv::Mat decode(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return {};
  const cv::Mat raw(1, static_cast<int>(bytes.size()), CV_8UC1, const_cast<std::uint8_t*>(bytes.data()));
  try {
    return cv::imdecode(raw, cv::IMREAD_UNCHANGED);
  } catch (const cv::Exception&) {
    return {};  // a decoder that refuses by throwing is a refusal, not a fault
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Read by the image decoders on first use: a tiny header cannot make them
  // allocate a huge canvas, which would only measure the allocator.
  ::setenv("OPENCV_IO_MAX_IMAGE_PIXELS", "4096", 1);
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  cv::setNumThreads(1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  static constexpr float kLambdas[] = {0.0f, 0.033f, 1.0f, -0.5f, 1e30f, 1e-30f, 7.0f, 0.25f};
  static constexpr float kSigmas[] = {3.8f, 14.0f, 0.0f, -2.0f, 1e-20f, 1e20f, 0.5f, 100.0f};
  orbelt::StereoRequest request;
  orbelt::MatcherOptions& matcher = request.options.matcher;
  orbelt::OptimizerOptions& optimizer = request.options.optimizer;
  matcher.halfWinSize = in.pick(0, 4);
  matcher.disparityRange = in.pick(1, 8);
  matcher.baseDisparity = in.pick(-4, 4);
  const int displayLevel = static_cast<std::int8_t>(in.u8());
  // Other exponents are refused before any work; that path has its own tests.
  optimizer.smoothExponent = in.pick(1, 2);
  optimizer.smoothMax = static_cast<float>(in.pick(0, 8));
  optimizer.lambda = orbelt::smoothnessWeightOf(kLambdas[in.u8() % 8]);
  const std::uint8_t sigmas = in.u8();
  matcher.colorSigma = kSigmas[sigmas % 8];
  matcher.spatialSigma = kSigmas[(sigmas >> 3) % 8];
  // Log-chromaticity, colour values, or (as the dialog with no colour
  // chosen) no matcher at all.
  const int mode = in.u8() % 3;
  matcher.logChromWeight = mode == 0 ? 1.0f : 0.0f;
  request.options.computeCosts = mode != 2;
  optimizer.seed = in.u8();
  request.options.useThreads(1);
  request.availableBytes = 256u << 20;

  const cv::Mat ref = decode(in.bytes(in.u16()));
  const cv::Mat target = decode(in.rest());
  if (ref.empty() || target.empty()) return 0;  // the loader refuses these with its own message
  request.left = ref;
  request.right = target;
  if (!orbelt::checkStereoRequest(request)) return 0;
  if (ref.type() != CV_8UC3 || ref.size() != target.size()) failInvariant("checks passed a pair that cannot run");
  if (ref.cols > kLargestRunSide || ref.rows > kLargestRunSide) return 0;

  const orbelt::Expected<orbelt::StereoResult> computed = orbelt::runStereo(request);
  if (!computed) failInvariant("a tiny run that passed the checks failed");
  const orbelt::DisparityResult& result = computed->left;
  if (result.labels.size() != ref.total()) failInvariant("the labelling does not cover the image");
  for (int label : result.labels) {
    if (label < 0 || label >= matcher.disparityRange) failInvariant("a label outside the range");
  }
  const orbelt::Expected<cv::Mat> map =
      orbelt::renderDisplayMap(result.labels, ref.cols, ref.rows, matcher.baseDisparity, displayLevel);
  if (!map || map->size() != ref.size() || map->type() != CV_8UC1) failInvariant("the display map has the wrong shape");
  return 0;
}
