#pragma once
// The energy of the dialog's run on the default pair (data/Img0.png,
// data/Img1.png): the matcher's costs at the dialog's defaults, flattened as
// the run flattens them (runStereo, costs only), and the run's smoothness
// term; with the pair's true labelling from data/Img0-disparity.pfm.
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "app/StereoParams.h"
#include "io/ImageFile.h"
#include "io/PfmFile.h"
#include "pipeline/RunStereo.h"
#include "tests/mrf/GridEnergy.h"

namespace orbelt::mrftest {

// Fills `energy` (null on failure, with `error` saying why) for the pair in
// `dataDir`. The costs do not depend on the thread count.
inline std::unique_ptr<GridEnergy> buildDefaultPairEnergy(const std::string& dataDir, std::string& error) {
  StereoParams params;
  params.sigmaP = sigmaPPreset(params.halfWinSize);
  cv::Mat ref, target;
  for (auto [image, path, role] :
       {std::tuple{&ref, dataDir + "/Img0.png", "reference"}, std::tuple{&target, dataDir + "/Img1.png", "target"}}) {
    Expected<cv::Mat> loaded = loadInputImage(path, role);
    if (!loaded) {
      error = loaded.error().summary();
      return nullptr;
    }
    *image = std::move(*loaded);
  }
  const int width = ref.cols;
  const int height = ref.rows;
  const int range = params.disparityRange;
  auto e = std::make_unique<GridEnergy>(width, height, range);
  {
    StereoRequest request;
    request.left = ref;
    request.right = target;
    request.options = stereoOptionsFor(params);
    request.options.costsOnly = true;
    request.options.useThreads(2);
    const Expected<StereoResult> costs = runStereo(request);
    if (!costs) {
      error = costs.error().summary();
      return nullptr;
    }
    const std::vector<float>& flat = costs->left.costs;
    for (int p = 0; p < width * height; ++p)
      for (int d = 0; d < range; ++d) e->cost(p, d) = flat[static_cast<std::size_t>(p) * range + d];
  }
  e->setTruncatedPower(params.smoothExponent, static_cast<float>(params.smoothMax),
                       static_cast<float>(static_cast<double>(params.lambda) * 30.0));
  return e;
}

// The true labels of the default pair: the ground-truth disparity rounded,
// less the base disparity, clamped to the label range. Empty (with `error`)
// when the map cannot be read or has another size.
inline std::vector<int> defaultPairTruth(const std::string& dataDir, int width, int height, int labels,
                                         std::string& error) {
  cv::Mat truth;
  Expected<cv::Mat> read = readPfm(dataDir + "/Img0-disparity.pfm");
  if (!read) {
    error = read.error().summary();
    return {};
  }
  truth = std::move(*read);
  if (truth.cols != width || truth.rows != height) {
    error = "the ground truth is not the size of the pair";
    return {};
  }
  StereoParams params;
  std::vector<int> out(static_cast<std::size_t>(width * height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const float d = truth.at<float>(y, x);
      int label = static_cast<int>(std::lround(d)) - params.baseDisparity;
      label = label < 0 ? 0 : (label >= labels ? labels - 1 : label);
      out[static_cast<std::size_t>(y * width + x)] = label;
    }
  return out;
}

}  // namespace orbelt::mrftest
