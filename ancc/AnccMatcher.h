#pragma once
// The adaptive normalized cross-correlation matcher: fills a cost volume
// from a rectified colour stereo pair.
//
// Label d of reference pixel (x, y) compares the (2r+1)^2 window around it
// with the window around target pixel (x - baseDisparity - d, y). Each
// window position is weighted by spatial closeness and Lab similarity to the
// window's centre (in each image separately), and the windows are compared
// by weighted normalized cross-correlation per channel, on the raw colour
// values and on the log-chromaticity values. A signal's cost is 30 (1 - mean
// correlation), in [0, 60]; logChromWeight blends the two; a target pixel
// outside the image costs exactly 50.
//
// Usage:
//   AnccMatcher matcher(volume, ref, target, options);
//   if (Status done = matcher.computeCostVolume(); !done) report(done.error());
//
// The matcher borrows all three objects and never resizes, replaces or frees
// them. Its working storage lives only inside computeCostVolume.
#include <cstdint>
#include <functional>
#include <optional>

#include <opencv2/core.hpp>

#include "ancc/CostVolume.h"
#include "ancc/MatcherOptions.h"
#include "platform/Expected.h"

namespace orbelt {

class AnccMatcher {
 public:
  // Stores the three references and takes width and height from `refImage`.
  // The options may be changed until computeCostVolume.
  AnccMatcher(CostVolume& costVolume, const cv::Mat& refImage, const cv::Mat& targetImage,
              const MatcherOptions& options = {});
  virtual ~AnccMatcher();

  AnccMatcher(const AnccMatcher&) = delete;
  AnccMatcher& operator=(const AnccMatcher&) = delete;

  // Writes every element [x][y][d] of the volume (x < width, y < height,
  // d < disparityRange), with options.logChromWeight blending the two signals.
  //
  // Fails, leaving the volume untouched, when the inputs cannot run: an empty
  // reference image, images that are not 8-bit 3-channel or differ in size, a
  // volume of another size than width x height x disparityRange, options that
  // MatcherOptions::check refuses (kind InvalidInput), or working storage
  // beyond memoryBudget or what can be allocated (OutOfMemory). The Error
  // names the problem on one line.
  Status computeCostVolume();
  // The same with options.logChromWeight set to `logChromWeight` first.
  Status computeCostVolume(float logChromWeight);

  MatcherOptions options;  // the matcher's parameters (window, sigmas, labels, blend, threads, sweep)
  // Bytes the working storage may take (the volume is the caller's and not
  // counted); fewer workers run when one store each does not fit. None: what
  // the process may still take when computeCostVolume starts
  // (availableMemoryBytes).
  std::optional<std::uint64_t> memoryBudget;

  int width;                   // pixel columns, from refImage
  int height;                  // pixel rows, from refImage
  CostVolume& costVolume;      // the volume to fill, width x height x options.disparityRange
  const cv::Mat& refImage;     // reference (left) image, CV_8UC3 BGR
  const cv::Mat& targetImage;  // target (right) image, CV_8UC3 BGR, same size

  // Called after each finished row with the number of rows done so far and
  // the height. It may be called from worker threads, but never from two at
  // once, and rowsDone only grows. Keep it short: workers wait for it.
  std::function<void(int rowsDone, int height)> rowObserver;

 private:
  // Why the images, the volume or the options cannot run; success when they can.
  Status checkInputs() const;
  // The work of computeCostVolume after its inputs were checked.
  Status sweep();
  Error storageShortage() const;
};

}  // namespace orbelt
