#include "tools/dataset-fixtures/DatasetFixtures.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include <opencv2/imgcodecs.hpp>

#include "io/AtomicFile.h"
#include "io/ImageFile.h"
#include "io/PfmFile.h"

namespace orbelt::fixtures {

namespace fs = std::filesystem;

namespace {

// The 2003 set as the fixtures need it.
struct Source {
  std::string left, right;
  cv::Mat truth;   // CV_32FC1, pixels, +inf = unknown
  cv::Mat nonocc;  // CV_8UC1, 255 = visible in both views
  cv::Mat all;     // CV_8UC1, 255 = has truth
};

Expected<cv::Mat> readGrey(const std::string& path) {
  cv::Mat image = cv::imread(path, cv::IMREAD_GRAYSCALE);
  if (image.empty()) return ioFailure("Cannot read \"" + path + "\"");
  return image;
}

Expected<Source> readSource(const std::string& folder) {
  Source source{folder + "/im2.png", folder + "/im6.png", {}, {}, {}};
  Expected<cv::Mat> disp = readGrey(folder + "/disp2.png");
  if (!disp) return std::move(disp).error();
  Expected<cv::Mat> nonocc = readGrey(folder + "/nonocc.png");
  if (!nonocc) return std::move(nonocc).error();
  Expected<cv::Mat> all = readGrey(folder + "/all.png");
  if (!all) return std::move(all).error();
  source.truth.create(disp->size(), CV_32FC1);
  for (int y = 0; y < disp->rows; ++y) {
    for (int x = 0; x < disp->cols; ++x) {
      const uchar v = disp->at<uchar>(y, x);
      source.truth.at<float>(y, x) = v == 0 ? std::numeric_limits<float>::infinity() : v / 4.0f;
    }
  }
  source.nonocc = *nonocc;
  source.all = *all;
  return source;
}

Status copyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) return ioFailure("Cannot copy \"" + from + "\" to \"" + to + "\": " + ec.message());
  return {};
}

Status writeText(const std::string& path, const std::string& text) {
  return writeFileAtomically(path, {ByteRange{text.data(), text.size()}});
}

Status makeFolders(std::initializer_list<fs::path> folders) {
  for (const fs::path& folder : folders) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return ioFailure("Cannot make \"" + folder.string() + "\": " + ec.message());
  }
  return {};
}

FixtureCamera centred(FixtureCamera camera, const cv::Mat& image) {
  if (camera.cx < 0) camera.cx = (image.cols - 1) / 2.0;
  if (camera.cy < 0) camera.cy = (image.rows - 1) / 2.0;
  return camera;
}

std::string format(const char* pattern, auto... values) {
  char text[512];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

std::string middleburyCalibration(const FixtureCamera& c, const Source& source) {
  double vmin = 0, vmax = 0;
  cv::Mat known = source.truth.clone();
  known.setTo(0, known == std::numeric_limits<float>::infinity());
  cv::minMaxLoc(known, nullptr, &vmax);
  known.setTo(vmax, known == 0);
  cv::minMaxLoc(known, &vmin, nullptr);
  return format("cam0=[%g 0 %g; 0 %g %g; 0 0 1]\ncam1=[%g 0 %g; 0 %g %g; 0 0 1]\n", c.focal, c.cx, c.focal, c.cy,
                c.focal, c.cx + c.doffs, c.focal, c.cy) +
         format("doffs=%g\nbaseline=%g\nwidth=%d\nheight=%d\nndisp=60\nisint=0\nvmin=%d\nvmax=%d\n", c.doffs,
                c.baseline, source.truth.cols, source.truth.rows, static_cast<int>(std::floor(vmin)),
                static_cast<int>(std::ceil(vmax)));
}

// 16-bit truth of the pixels the mask keeps: round(d x 256), 0 elsewhere.
cv::Mat sixteenBitTruth(const Source& source, const cv::Mat& mask) {
  cv::Mat stored(source.truth.size(), CV_16UC1, cv::Scalar(0));
  for (int y = 0; y < stored.rows; ++y) {
    for (int x = 0; x < stored.cols; ++x) {
      const float d = source.truth.at<float>(y, x);
      if (mask.at<uchar>(y, x) == 255 && std::isfinite(d)) {
        stored.at<unsigned short>(y, x) = static_cast<unsigned short>(std::lround(d * 256.0));
      }
    }
  }
  return stored;
}

// A rectified 3 x 4 projection, row by row, as KITTI's files write it.
std::string projection(const FixtureCamera& c, double cx, double tx) {
  return format(
      "%e 0.000000e+00 %e %e 0.000000e+00 %e %e 0.000000e+00 0.000000e+00 0.000000e+00 1.000000e+00 "
      "0.000000e+00",
      c.focal, cx, c.focal * tx, c.focal, c.cy);
}

std::string kittiCalibration(const FixtureCamera& c, KittiEdition edition) {
  // Camera 2 sits 6 cm right of the reference camera 0, camera 3 one
  // baseline left of camera 2 (KITTI's arrangement); metres.
  const double baseline = c.baseline / 1000.0;
  const std::string left = projection(c, c.cx, 0.06);
  const std::string right = projection(c, c.cx, 0.06 - baseline);
  if (edition == KittiEdition::Stereo2012) {
    return "P0: " + projection(c, c.cx, 0) + "\nP1: " + projection(c, c.cx, -baseline) + "\nP2: " + left +
           "\nP3: " + right + "\n";
  }
  return "calib_time: 09-Jan-2012 13:57:47\ncorner_dist: 9.950000e-02\n" +
         format("S_02: %d.000000e+00 %d.000000e+00\n", 1242, 375) + "P_rect_02: " + left + "\nP_rect_03: " + right +
         "\n";
}

}  // namespace

Status makeMiddlebury2014Set(const std::string& sourceFolder, const std::string& target, const FixtureCamera& camera) {
  Expected<Source> source = readSource(sourceFolder);
  if (!source) return std::move(source).error();
  if (Status made = makeFolders({target}); !made) return made;
  cv::Mat mask(source->truth.size(), CV_8UC1, cv::Scalar(0));
  mask.setTo(128, source->all == 255);
  mask.setTo(255, source->nonocc == 255);
  for (Status step :
       {copyFile(source->left, target + "/im0.png"), copyFile(source->right, target + "/im1.png"),
        writeText(target + "/calib.txt", middleburyCalibration(centred(camera, source->truth), *source)),
        writePfm(target + "/disp0GT.pfm", source->truth), saveImageAtomically(target + "/mask0nocc.png", mask)}) {
    if (!step) return step;
  }
  return {};
}

Status makeKittiFrame(const std::string& sourceFolder, const std::string& split, KittiEdition edition,
                      const std::string& id, const FixtureCamera& camera) {
  Expected<Source> source = readSource(sourceFolder);
  if (!source) return std::move(source).error();
  const bool is2015 = edition == KittiEdition::Stereo2015;
  const fs::path root(split);
  const fs::path left = root / (is2015 ? "image_2" : "colored_0"), right = root / (is2015 ? "image_3" : "colored_1");
  const fs::path noc = root / (is2015 ? "disp_noc_0" : "disp_noc"), occ = root / (is2015 ? "disp_occ_0" : "disp_occ");
  const fs::path calibration = root / (is2015 ? "calib_cam_to_cam" : "calib");
  if (Status made = makeFolders({left, right, noc, occ, calibration}); !made) return made;
  const std::string png = id + ".png";
  for (Status step : {copyFile(source->left, (left / png).string()), copyFile(source->right, (right / png).string()),
                      saveImageAtomically((noc / png).string(), sixteenBitTruth(*source, source->nonocc)),
                      saveImageAtomically((occ / png).string(), sixteenBitTruth(*source, source->all)),
                      writeText((calibration / (id.substr(0, 6) + ".txt")).string(),
                                kittiCalibration(centred(camera, source->truth), edition))}) {
    if (!step) return step;
  }
  return {};
}

}  // namespace orbelt::fixtures
