#include "ReferenceCost.h"

#include <cmath>
#include <vector>

namespace orbelt::testing {

namespace {

struct Offset {
  int dx, dy;
};

// Raw bilateral weight of the pixel at (cx+dx, cy+dy) in the window of (cx, cy).
double rawWeight(const ChannelGrid& guide, int cx, int cy, Offset o, const ReferenceParams& p) {
  double lab = 0;
  for (int c = 0; c < 3; ++c) {
    const double diff = guide.at(cx, cy, c) - guide.at(cx + o.dx, cy + o.dy, c);
    lab += diff * diff;
  }
  const double ss = double(p.spatialSigma), sc = double(p.colorSigma);
  return std::exp(-(o.dx * o.dx + o.dy * o.dy) / (2 * ss * ss) - lab / (2 * sc * sc));
}

// Correlation of one channel of one signal over the common offsets.
double correlation(const ChannelGrid& a, const ChannelGrid& b, int c, int x, int xt, int y,
                   const std::vector<Offset>& common, const std::vector<double>& wr, const std::vector<double>& wt) {
  // Values are taken relative to each window's centre pixel, which changes
  // nothing mathematically but keeps the deviations of a constant channel
  // exactly 0 (see the matcher's window statistics).
  const double centreR = a.at(x, y, c), centreT = b.at(xt, y, c);
  double meanR = 0, meanT = 0;
  for (size_t k = 0; k < common.size(); ++k) {
    meanR += wr[k] * (a.at(x + common[k].dx, y + common[k].dy, c) - centreR);
    meanT += wt[k] * (b.at(xt + common[k].dx, y + common[k].dy, c) - centreT);
  }
  double n = 0, er = 0, et = 0;
  for (size_t k = 0; k < common.size(); ++k) {
    const double dr = (a.at(x + common[k].dx, y + common[k].dy, c) - centreR) - meanR;
    const double dt = (b.at(xt + common[k].dx, y + common[k].dy, c) - centreT) - meanT;
    n += wr[k] * wt[k] * dr * dt;
    er += wr[k] * wr[k] * dr * dr;
    et += wt[k] * wt[k] * dt * dt;
  }
  if (er == 0) er = 1;
  if (et == 0) et = 1;
  return n / (std::sqrt(er) * std::sqrt(et));
}

}  // namespace

double referenceCost(const ImageSignals& ref, const ImageSignals& target, const ReferenceParams& p, int x, int y,
                     int d) {
  const int w = ref.color.width(), h = ref.color.height(), r = p.halfWinSize;
  const int xt = x - p.baseDisparity - d;
  if (xt < 0 || xt >= w) return 50.0;

  std::vector<Offset> common;
  for (int dy = -r; dy <= r; ++dy) {
    for (int dx = -r; dx <= r; ++dx) {
      const bool inside = y + dy >= 0 && y + dy < h && x + dx >= 0 && x + dx < w && xt + dx >= 0 && xt + dx < w;
      if (inside) common.push_back({dx, dy});
    }
  }
  std::vector<double> wr, wt;
  double sr = 0, st = 0;
  for (const Offset& o : common) {
    wr.push_back(rawWeight(ref.guide, x, y, o, p));
    wt.push_back(rawWeight(target.guide, xt, y, o, p));
    sr += wr.back();
    st += wt.back();
  }
  for (auto& v : wr) v /= sr;
  for (auto& v : wt) v /= st;

  double colorSum = 0, logSum = 0;
  for (int c = 0; c < 3; ++c) {
    colorSum += correlation(ref.color, target.color, c, x, xt, y, common, wr, wt);
    logSum += correlation(ref.logChrom, target.logChrom, c, x, xt, y, common, wr, wt);
  }
  const double costColor = 30.0 * (1.0 - colorSum / 3.0);
  const double costLog = 30.0 * (1.0 - logSum / 3.0);
  return p.logChromWeight * costLog + (1.0 - p.logChromWeight) * costColor;
}

}  // namespace orbelt::testing
