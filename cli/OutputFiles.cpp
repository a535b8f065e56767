#include "cli/OutputFiles.h"

#include "io/DisparityImages.h"
#include "io/ImageFile.h"
#include "io/NpyFile.h"
#include "io/PfmFile.h"
#include "io/PlyFile.h"
#include "postprocess/DepthMap.h"
#include "postprocess/PointCloud.h"

namespace orbelt {

namespace {

Status writeFloatMap(const std::string& path, const ComputeRequest&, const StereoResult& run) {
  return writePfm(path, run.disparity);
}

Status writePng16(const std::string& path, const ComputeRequest&, const StereoResult& run) {
  return saveImageAtomically(path, encodeDisparityPng16(run.disparity));
}

Status writeColorMap(const std::string& path, const ComputeRequest& request, const StereoResult& run) {
  const MatcherOptions& matcher = request.stereo.options.matcher;
  return saveImageAtomically(path,
                             renderColorMap(run.disparity, matcher.baseDisparity,
                                            static_cast<double>(matcher.baseDisparity) + matcher.disparityRange - 1));
}

Status writeConfidence(const std::string& path, const ComputeRequest&, const StereoResult& run) {
  Expected<cv::Mat> confidence = renderConfidence(run.consistent, run.width, run.height);
  if (!confidence) return std::move(confidence).error();
  return saveImageAtomically(path, *confidence);
}

Status writeCosts(const std::string& path, const ComputeRequest& request, const StereoResult& run) {
  return writeNpyFloat32(path, run.left.costs.data(),
                         {static_cast<std::size_t>(run.height), static_cast<std::size_t>(run.width),
                          static_cast<std::size_t>(request.stereo.options.matcher.disparityRange)});
}

// The request's calibration is there: the plan refuses --depth and --ply
// without one before the run.
Status writeDepth(const std::string& path, const ComputeRequest& request, const StereoResult& run) {
  Expected<cv::Mat> depth = depthFromDisparity(run.disparity, *request.calibration.camera);
  if (!depth) return std::move(depth).error();
  return writePfm(path, *depth);
}

Status writePointCloud(const std::string& path, const ComputeRequest& request, const StereoResult& run) {
  Expected<PointCloud> cloud = pointCloudFromDisparity(run.disparity, request.stereo.left, *request.calibration.camera);
  if (!cloud) return std::move(cloud).error();
  return writePly(path, *cloud);
}

}  // namespace

const std::vector<OutputFile>& outputFiles() {
  static const std::vector<OutputFile> files = {
      {"pfm", "--pfm", "Float disparity map (.pfm, pixels, inf = unknown)",
       PlannedOutput{{}, "float disparity map", {".pfm"}, false}, &RequestedOutputs::pfm, writeFloatMap},
      {"png16", "--png16", "16-bit disparity map (.png, disparity x 256, 0 = unknown; needs disparities 0..255)",
       PlannedOutput{{}, "16-bit disparity map", {".png"}, false}, &RequestedOutputs::png16, writePng16},
      {"color", "--color", "Colour-mapped disparity picture with a legend (.png, .bmp, .jpg)",
       PlannedOutput{{}, "colour disparity picture", {}, true}, &RequestedOutputs::color, writeColorMap},
      {"confidence", "--confidence",
       "With --lr-check: 8-bit image, 255 where the check passed, 0 where it failed (.png, .bmp)",
       PlannedOutput{{}, "confidence image", {".png", ".bmp", ".pgm", ".tif", ".tiff"}, true},
       &RequestedOutputs::confidence, writeConfidence},
      {"cost", "--save-cost", "Also write the flat cost array as a NumPy float32 .npy of shape (height, width, labels)",
       PlannedOutput{{}, "cost array", {".npy"}, false}, &RequestedOutputs::cost, writeCosts},
      {"depth", "--depth",
       "Metric depth f * baseline / (d + doffs) in the baseline's unit (.pfm, inf = unknown); needs a calibration",
       PlannedOutput{{}, "depth map", {".pfm"}, false}, &RequestedOutputs::depth, writeDepth},
      {"ply", "--ply",
       "Point cloud, binary little-endian PLY: x y z (float, the baseline's unit) and the left view's red green "
       "blue per known pixel with a depth; needs a calibration",
       PlannedOutput{{}, "point cloud", {".ply"}, false}, &RequestedOutputs::ply, writePointCloud},
  };
  return files;
}

}  // namespace orbelt
