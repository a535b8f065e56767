#include "eval/BenchmarkScore.h"

namespace orbelt {

Expected<BenchmarkTruth> readBenchmarkTruth(const StereoDataset& dataset) {
  if (const auto* set = std::get_if<Middlebury2014Set>(&dataset.source); set && !set->truth.empty()) {
    Expected<Middlebury2014Truth> truth = readMiddlebury2014Truth(*set);
    if (!truth) return std::move(truth).error();
    return BenchmarkTruth(std::move(*truth));
  }
  if (const auto* frame = std::get_if<KittiFrame>(&dataset.source);
      frame && !(frame->truthNoc.empty() && frame->truthOcc.empty())) {
    Expected<KittiTruth> truth = readKittiTruth(*frame);
    if (!truth) return std::move(truth).error();
    return BenchmarkTruth(std::move(*truth));
  }
  return BenchmarkTruth();
}

cv::Size truthSize(const BenchmarkTruth& truth) {
  if (const auto* middlebury = std::get_if<Middlebury2014Truth>(&truth)) return middlebury->disparity.size();
  if (const auto* kitti = std::get_if<KittiTruth>(&truth))
    return kitti->noc.empty() ? kitti->occ.size() : kitti->noc.size();
  return {};
}

Expected<BenchmarkScore> scoreBenchmark(const cv::Mat& disparity, const BenchmarkTruth& truth) {
  if (const auto* middlebury = std::get_if<Middlebury2014Truth>(&truth)) {
    Expected<Middlebury2014Score> score = scoreMiddlebury2014(disparity, *middlebury);
    if (!score) return std::move(score).error();
    return BenchmarkScore(*score);
  }
  if (const auto* kitti = std::get_if<KittiTruth>(&truth)) {
    Expected<KittiScore> score = scoreKitti(disparity, *kitti);
    if (!score) return std::move(score).error();
    return BenchmarkScore(*score);
  }
  return BenchmarkScore();
}

}  // namespace orbelt
