// Renders the default stereo pair shipped in data/: a synthetic rectified
// scene with exact ground truth, so a fresh checkout can run and score itself.
//
// The scene, in left-view coordinates (x right, y down), back to front:
//   - a textured back wall at disparity 6;
//   - a slanted board whose disparity grows from 14 to 30 across its width;
//   - a box at 38, a disc at 52 and a thin pole at 60 in front of it all.
// Every surface carries its own texture in its own coordinates, so the right
// view sees the same paint shifted (and, on the slanted board, compressed).
// A point at left column x with disparity d appears at right column x - d.
// Each output pixel averages 4 x 4 samples, so depth edges are anti-aliased
// as a camera would see them, while the ground truth is the disparity of the
// front-most surface at the left pixel's centre.
//
// The right view differs radiometrically from the left, as two cameras do:
// an exposure gain, a gamma and a slight colour cast; both views get a little
// sensor noise. Everything derives from one fixed seed, so the output is the
// same on every run.
//
// Usage: orbelt-make-default-pair [OUTPUT_FOLDER]   (default: data)
// Writes Img0.png (left), Img1.png (right) and Img0-disparity.pfm (left
// ground truth, float disparities).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "io/AtomicFile.h"
#include "io/PfmFile.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr std::uint64_t kSeed = 20261210;
constexpr int kSamples = 4;  // per axis and pixel

// A surface: where it is in the left view, its disparity there, and its paint.
struct Surface {
  std::function<bool(double x, double y)> covers;  // left-view point on the surface?
  double d0 = 0.0;                                 // disparity at x = slopeOrigin
  double slope = 0.0;                              // disparity change per left column
  double slopeOrigin = 0.0;
  cv::Mat texture;  // CV_32FC3, sampled at (x + 64, y + 64) in left coordinates

  double disparityAt(double x) const { return d0 + slope * (x - slopeOrigin); }
  // The left column whose point lands on right column xr: xl - d(xl) = xr.
  double leftColumnFor(double xr) const { return (xr + d0 - slope * slopeOrigin) / (1.0 - slope); }
};

// Multi-scale colour noise around a base colour, plus a pattern of its own so
// neighbouring surfaces never look alike.
cv::Mat makeTexture(cv::RNG& rng, cv::Vec3f base, float contrast, int pattern) {
  const int size = 640;
  cv::Mat texture(size, size, CV_32FC3, cv::Scalar(base[0], base[1], base[2]));
  // Mostly brightness texture with a weaker colour texture on top, at four
  // scales: fine detail to match on, coarse shading so windows differ.
  for (int cell : {48, 16, 6, 2}) {
    const int n = size / cell + 2;
    cv::Mat brightness(n, n, CV_32FC1);
    cv::Mat colour(n, n, CV_32FC3);
    const double sigma = contrast * (cell >= 16 ? 1.0 : 0.8);
    rng.fill(brightness, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(sigma));
    rng.fill(colour, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(0.4 * sigma));
    cv::Mat grey3;
    cv::merge(std::vector<cv::Mat>{brightness, brightness, brightness}, grey3);
    cv::Mat coarse = grey3 + colour;
    cv::Mat fine;
    cv::resize(coarse, fine, cv::Size(size + 2 * cell, size + 2 * cell), 0, 0, cv::INTER_CUBIC);
    texture += fine(cv::Rect(cell, cell, size, size));
  }
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      float s = 0.f;
      switch (pattern) {
        case 0: s = 18.f * std::sin(x * 0.21f) * std::sin(y * 0.17f); break;          // checks
        case 1: s = 22.f * std::sin((x + 0.6f * y) * 0.15f); break;                   // stripes
        case 2: s = ((x / 12 + y / 12) % 2) ? 16.f : -16.f; break;                    // tiles
        case 3: s = 20.f * std::sin(std::hypot(x - 300.f, y - 300.f) * 0.3f); break;  // rings
        default: s = 14.f * std::sin(y * 0.5f); break;                                // bands
      }
      texture.at<cv::Vec3f>(y, x) += cv::Vec3f(s, 0.6f * s, -0.4f * s);
    }
  }
  return texture;
}

cv::Vec3f sample(const cv::Mat& texture, double x, double y) {
  const double u = std::clamp(x + 64.0, 0.0, texture.cols - 1.001);
  const double v = std::clamp(y + 64.0, 0.0, texture.rows - 1.001);
  const int x0 = static_cast<int>(u);
  const int y0 = static_cast<int>(v);
  const float fx = static_cast<float>(u - x0);
  const float fy = static_cast<float>(v - y0);
  const cv::Vec3f a = texture.at<cv::Vec3f>(y0, x0) * (1 - fx) + texture.at<cv::Vec3f>(y0, x0 + 1) * fx;
  const cv::Vec3f b = texture.at<cv::Vec3f>(y0 + 1, x0) * (1 - fx) + texture.at<cv::Vec3f>(y0 + 1, x0 + 1) * fx;
  return a * (1 - fy) + b * fy;
}

std::vector<Surface> buildScene(cv::RNG& rng) {
  std::vector<Surface> scene(5);
  Surface& wall = scene[0];
  wall.covers = [](double, double) { return true; };
  wall.d0 = 6.0;
  wall.texture = makeTexture(rng, {120, 140, 150}, 14.f, 4);

  Surface& board = scene[1];  // slanted: 14 at its left edge, 30 at its right
  board.covers = [](double x, double y) { return x >= 30 && x < 230 && y >= 30 && y < 170; };
  board.d0 = 14.0;
  board.slope = 16.0 / 200.0;
  board.slopeOrigin = 30.0;
  board.texture = makeTexture(rng, {90, 150, 190}, 16.f, 1);

  Surface& box = scene[2];
  box.covers = [](double x, double y) { return x >= 250 && x < 360 && y >= 50 && y < 160; };
  box.d0 = 38.0;
  box.texture = makeTexture(rng, {170, 110, 80}, 16.f, 2);

  Surface& disc = scene[3];
  disc.covers = [](double x, double y) { return (x - 140) * (x - 140) + (y - 215) * (y - 215) < 55.0 * 55.0; };
  disc.d0 = 52.0;
  disc.texture = makeTexture(rng, {80, 170, 110}, 16.f, 3);

  Surface& pole = scene[4];
  pole.covers = [](double x, double y) { return x >= 300 && x < 318 && y >= 150; };
  pole.d0 = 60.0;
  pole.texture = makeTexture(rng, {150, 120, 190}, 18.f, 0);
  return scene;
}

// The front-most surface (largest disparity) at a point of one view; for the
// right view the point is mapped back to each surface's own left column.
const Surface* visibleAt(const std::vector<Surface>& scene, double x, double y, bool rightView, double* leftX) {
  const Surface* best = nullptr;
  double bestD = -1e9;
  for (const Surface& s : scene) {
    const double xl = rightView ? s.leftColumnFor(x) : x;
    if (!s.covers(xl, y)) continue;
    const double d = s.disparityAt(xl);
    if (d > bestD) {
      bestD = d;
      best = &s;
      *leftX = xl;
    }
  }
  return best;
}

cv::Mat renderView(const std::vector<Surface>& scene, bool rightView) {
  cv::Mat view(kHeight, kWidth, CV_32FC3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      cv::Vec3f sum(0, 0, 0);
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double px = x + (sx + 0.5) / kSamples - 0.5;
          const double py = y + (sy + 0.5) / kSamples - 0.5;
          double xl = px;
          const Surface* s = visibleAt(scene, px, py, rightView, &xl);
          sum += sample(s->texture, xl, py);
        }
      }
      view.at<cv::Vec3f>(y, x) = sum * (1.0f / (kSamples * kSamples));
    }
  }
  return view;
}

// Exposure gain, gamma and a colour cast (blue down, red up) of the second camera.
void applyCamera(cv::Mat& view, float gain, float gamma, cv::Vec3f cast) {
  for (int y = 0; y < view.rows; ++y) {
    for (int x = 0; x < view.cols; ++x) {
      cv::Vec3f& v = view.at<cv::Vec3f>(y, x);
      for (int c = 0; c < 3; ++c) {
        const float linear = std::clamp(v[c] / 255.0f, 0.0f, 1.0f);
        v[c] = 255.0f * std::pow(std::min(1.0f, linear * gain * cast[c]), gamma);
      }
    }
  }
}

cv::Mat toBytes(const cv::Mat& view, cv::RNG& rng) {
  cv::Mat noise(view.size(), CV_32FC3);
  rng.fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(1.0));
  cv::Mat bytes;
  cv::Mat(view + noise).convertTo(bytes, CV_8UC3);  // rounds and saturates
  return bytes;
}

bool savePng(const std::string& path, const cv::Mat& image) {
  std::vector<std::uint8_t> png;
  if (!cv::imencode(".png", image, png, {cv::IMWRITE_PNG_COMPRESSION, 9})) {
    std::fprintf(stderr, "cannot encode %s\n", path.c_str());
    return false;
  }
  const orbelt::Status saved = orbelt::writeFileAtomically(path, {orbelt::ByteRange{png.data(), png.size()}});
  if (!saved) {
    std::fprintf(stderr, "%s\n", saved.error().message.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
    std::fprintf(stderr, "usage: %s [OUTPUT_FOLDER]   (default: data)\n", argv[0]);
    return argc > 2 ? 2 : 0;
  }
  const std::string folder = argc == 2 ? argv[1] : "data";
  cv::RNG rng(kSeed);
  const std::vector<Surface> scene = buildScene(rng);

  cv::Mat left = renderView(scene, false);
  cv::Mat right = renderView(scene, true);
  applyCamera(right, 1.12f, 0.92f, {0.96f, 1.0f, 1.05f});

  cv::Mat truth(kHeight, kWidth, CV_32FC1);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      double xl = x;
      truth.at<float>(y, x) = static_cast<float>(visibleAt(scene, x, y, false, &xl)->disparityAt(x));
    }
  }

  if (!savePng(folder + "/Img0.png", toBytes(left, rng))) return 1;
  if (!savePng(folder + "/Img1.png", toBytes(right, rng))) return 1;
  if (const orbelt::Status saved = orbelt::writePfm(folder + "/Img0-disparity.pfm", truth); !saved) {
    std::fprintf(stderr, "%s\n", saved.error().message.c_str());
    return 1;
  }
  double lo = 1e9, hi = -1e9;
  cv::minMaxLoc(truth, &lo, &hi);
  std::printf("wrote %s/Img0.png, Img1.png and Img0-disparity.pfm (%d x %d, disparities %.1f..%.1f)\n", folder.c_str(),
              kWidth, kHeight, lo, hi);
  return 0;
}
