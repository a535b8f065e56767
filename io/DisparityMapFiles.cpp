#include "io/DisparityMapFiles.h"

#include <cmath>
#include <limits>

#include <opencv2/imgcodecs.hpp>

#include "io/DisparityImages.h"
#include "io/PfmFile.h"
#include "postprocess/DisplayGrey.h"

namespace orbelt {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) != suffix[i]) return false;
  }
  return true;
}

std::string describe(const cv::Mat& image) {
  const int depth = image.depth();
  const char* bits = depth == CV_8U ? "8" : depth == CV_16U ? "16" : depth == CV_32F ? "32 (float)" : "other";
  return std::to_string(image.channels()) + " channel(s) of " + bits + " bits";
}

}  // namespace

Expected<cv::Mat> readDisparityMap(const std::string& path, const std::optional<GreyEncoding>& grey) {
  if (endsWith(path, ".pfm")) return readPfm(path);
  const cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
  if (image.empty()) return ioFailure("Cannot read the disparity map \"" + path + "\": file missing or not an image");
  if (image.type() == CV_16UC1) return decodeDisparityPng16(image);
  if (image.type() == CV_8UC1) {
    if (!grey) {
      return invalidInput("The disparity map \"" + path +
                          "\" is an 8-bit display map: give its display level and base disparity to decode it");
    }
    Expected<cv::Mat> decoded = disparityFromGrey(image, grey->displayLevel, grey->baseDisparity);
    if (!decoded) return invalidInput("The disparity map \"" + path + "\": " + decoded.error().message);
    return decoded;
  }
  return invalidInput("The disparity map \"" + path + "\" has " + describe(image) +
                      "; expected a .pfm, a 16-bit grey PNG or an 8-bit grey display map");
}

Expected<cv::Mat> readGroundTruth(const std::string& path) {
  if (endsWith(path, ".pfm")) return readPfm(path);
  cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
  if (image.empty()) return ioFailure("Cannot read the ground truth \"" + path + "\": file missing or not an image");
  if (image.type() != CV_8UC1 && image.type() != CV_16UC1) {
    return invalidInput("The ground truth \"" + path + "\" has " + describe(image) +
                        "; expected a .pfm or an 8/16-bit single-channel image");
  }
  return image;
}

Expected<cv::Mat> readMask(const std::string& path) {
  cv::Mat mask = cv::imread(path, cv::IMREAD_GRAYSCALE);
  if (mask.empty()) return ioFailure("Cannot read the mask \"" + path + "\": file missing or not an image");
  return mask;
}

}  // namespace orbelt
