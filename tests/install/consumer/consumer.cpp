// Uses the installed library the way an outside program would: computes the
// map of a small synthetic pair (a random texture and its copy shifted by two
// pixels), scores it against the known shift, and has a bad parameter
// refused. Ends with 0 when all of that works.
#include <algorithm>
#include <cstdio>
#include <random>

#include <orbelt/orbelt.h>

int main() {
  constexpr int width = 32, height = 20, shift = 2;
  cv::Mat left(height, width, CV_8UC3), right(height, width, CV_8UC3);
  std::mt19937 random(7);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      left.at<cv::Vec3b>(y, x) = cv::Vec3b(random() % 256, random() % 256, random() % 256);
    }
  }
  // right(x) = left(x + shift): every left pixel has disparity `shift`.
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) right.at<cv::Vec3b>(y, x) = left.at<cv::Vec3b>(y, std::min(width - 1, x + shift));
  }

  orbelt::StereoRequest request;
  request.left = left;
  request.right = right;
  request.options.matcher.halfWinSize = 2;
  request.options.matcher.disparityRange = -1;
  const orbelt::Status refused = orbelt::checkStereoRequest(request);
  if (refused) {
    std::fprintf(stderr, "consumer: a negative disparity range was not refused\n");
    return 1;
  }
  request.options.matcher.disparityRange = 5;
  request.options.optimizer.seed = 1;
  const orbelt::Expected<orbelt::StereoResult> computed = orbelt::runStereo(request);
  if (!computed) {
    std::fprintf(stderr, "consumer: %s", computed.error().message.c_str());
    return 1;
  }
  const orbelt::DisparityResult& result = computed->left;
  const orbelt::Expected<cv::Mat> disparity =
      orbelt::floatDisparity(result.labels, width, height, request.options.matcher.baseDisparity);
  const cv::Mat truth(height, width, CV_32FC1, cv::Scalar(float(shift)));
  const orbelt::Expected<orbelt::DisparityScore> scored =
      disparity ? orbelt::evaluateDisparity(*disparity, truth, cv::Mat(), {1.0, 3, 1.0}) : disparity.error();
  if (!scored) {
    std::fprintf(stderr, "consumer: %s\n", scored.error().message.c_str());
    return 1;
  }
  const orbelt::DisparityScore& score = *scored;
  std::printf("consumer: %d x %d, %d labels, %.1f %% off by more than 1 px away from the border; refused: %s\n", width,
              height, request.options.matcher.disparityRange, score.badOver1, refused.error().summary().c_str());
  return score.badOver1 < 20.0 ? 0 : 1;
}
