#include "ancc/CachedRowSweep.h"

#include <algorithm>

#include "ancc/CorrelationCost.h"

namespace orbelt {

CachedRowSweep::CachedRowSweep(const SweepSetup& setup)
    : setup_(setup),
      r_(setup.halfWinSize),
      side_(2 * setup.halfWinSize + 1),
      weight_(setup),
      refCache_(setup.width, setup.halfWinSize),
      targetCache_(setup.width, setup.halfWinSize),
      refOverlapWeights_(static_cast<size_t>(side_) * side_),
      targetOverlapWeights_(static_cast<size_t>(side_) * side_) {}

void CachedRowSweep::windowStatistics(int x, int y, const ImageSignals& image, RowWindowCache& cache) const {
  const int w = setup_.width, h = setup_.height;
  // Sums run over values relative to the centre pixel: a channel that is
  // constant over the window then has deviations of exactly 0 and its
  // correlation is 0, where a plain weighted mean would differ from the
  // constant in the last bit and leave a correlation of +-1 made of rounding
  // noise. The same holds, less sharply, for windows whose far pixels carry
  // weights many orders below the centre's.
  double centre[3], centreColor[3], centreLog[3];
  for (int c = 0; c < 3; ++c) {
    centre[c] = image.guide.at(x, y, c);
    centreColor[c] = image.color.at(x, y, c);
    centreLog[c] = image.logChrom.at(x, y, c);
  }

  // First pass: raw weights and weighted sums.
  double sum = 0.0, sumColor[3] = {0, 0, 0}, sumLog[3] = {0, 0, 0};
  for (int i = 0; i <= 2 * r_; ++i) {
    const int v = y - r_ + i;
    if (v < 0 || v >= h) continue;
    for (int j = 0; j <= 2 * r_; ++j) {
      const int u = x - r_ + j;
      if (u < 0 || u >= w) continue;
      double labDistance = 0.0;
      for (int c = 0; c < 3; ++c) {
        const double diff = centre[c] - image.guide.at(u, v, c);
        labDistance += diff * diff;
      }
      const double wt = weight_((j - r_) * (j - r_) + (i - r_) * (i - r_), labDistance);
      cache.weights[cache.offsetIndex(x, j, i)] = wt;
      sum += wt;
      for (int c = 0; c < 3; ++c) {
        sumColor[c] += wt * (image.color.at(u, v, c) - centreColor[c]);
        sumLog[c] += wt * (image.logChrom.at(u, v, c) - centreLog[c]);
      }
    }
  }

  // The sum holds the centre's weight 1, so it is never 0.
  double meanColor[3], meanLog[3];
  for (int c = 0; c < 3; ++c) {
    meanColor[c] = sumColor[c] / sum;
    meanLog[c] = sumLog[c] / sum;
  }
  for (int i = 0; i <= 2 * r_; ++i) {
    const int v = y - r_ + i;
    if (v < 0 || v >= h) continue;
    for (int j = 0; j <= 2 * r_; ++j) {
      const int u = x - r_ + j;
      if (u < 0 || u >= w) continue;
      cache.weights[cache.offsetIndex(x, j, i)] /= sum;
    }
  }

  // Second pass: deviations and energies under the normalised weights.
  double* colorEnergy = &cache.colorEnergy[static_cast<size_t>(x) * 3];
  double* logEnergy = &cache.logChromEnergy[static_cast<size_t>(x) * 3];
  for (int i = 0; i <= 2 * r_; ++i) {
    const int v = y - r_ + i;
    if (v < 0 || v >= h) continue;
    for (int j = 0; j <= 2 * r_; ++j) {
      const int u = x - r_ + j;
      if (u < 0 || u >= w) continue;
      const size_t k = cache.offsetIndex(x, j, i);
      const double wt = cache.weights[k];
      for (int c = 0; c < 3; ++c) {
        const double a = (image.color.at(u, v, c) - centreColor[c]) - meanColor[c];
        const double b = (image.logChrom.at(u, v, c) - centreLog[c]) - meanLog[c];
        cache.colorDeviation[k * 3 + c] = a;
        cache.logChromDeviation[k * 3 + c] = b;
        colorEnergy[c] += wt * wt * (a * a);
        logEnergy[c] += wt * wt * (b * b);
      }
    }
  }
}

void CachedRowSweep::overlapMeans(int x, int y, double* table, const ImageSignals& image, const OverlapRange& range,
                                  double meanColor[3], double meanLogChrom[3]) const {
  double sum = 0.0, sumColor[3] = {0, 0, 0}, sumLog[3] = {0, 0, 0};
  for (int k = range.iLo; k <= range.iHi; ++k) {
    for (int l = range.jLo; l <= range.jHi; ++l) {
      const double t = table[l * side_ + k];
      const int u = x - r_ + l, v = y - r_ + k;
      sum += t;
      for (int c = 0; c < 3; ++c) {
        sumColor[c] += t * (image.color.at(u, v, c) - image.color.at(x, y, c));
        sumLog[c] += t * (image.logChrom.at(u, v, c) - image.logChrom.at(x, y, c));
      }
    }
  }
  for (int k = range.iLo; k <= range.iHi; ++k)
    for (int l = range.jLo; l <= range.jHi; ++l) table[l * side_ + k] /= sum;
  for (int c = 0; c < 3; ++c) {
    meanColor[c] = sumColor[c] / sum;
    meanLogChrom[c] = sumLog[c] / sum;
  }
}

float CachedRowSweep::wholeWindowCost(int x, int xt) const {
  CorrelationSums s;
  const double* wr = &refCache_.weights[refCache_.offsetIndex(x, 0, 0)];
  const double* wt = &targetCache_.weights[targetCache_.offsetIndex(xt, 0, 0)];
  const double* cr = &refCache_.colorDeviation[refCache_.offsetIndex(x, 0, 0) * 3];
  const double* ct = &targetCache_.colorDeviation[targetCache_.offsetIndex(xt, 0, 0) * 3];
  const double* lr = &refCache_.logChromDeviation[refCache_.offsetIndex(x, 0, 0) * 3];
  const double* lt = &targetCache_.logChromDeviation[targetCache_.offsetIndex(xt, 0, 0) * 3];
  for (int i = 0; i < side_; ++i) {
    for (int j = 0; j < side_; ++j) {
      const int k = j * side_ + i;
      const double p = wr[k] * wt[k];
      for (int c = 0; c < 3; ++c) {
        s.colorN[c] += p * cr[k * 3 + c] * ct[k * 3 + c];
        s.logChromN[c] += p * lr[k * 3 + c] * lt[k * 3 + c];
      }
    }
  }
  for (int c = 0; c < 3; ++c) {
    s.colorRefE[c] = refCache_.colorEnergy[static_cast<size_t>(x) * 3 + c];
    s.colorTargetE[c] = targetCache_.colorEnergy[static_cast<size_t>(xt) * 3 + c];
    s.logChromRefE[c] = refCache_.logChromEnergy[static_cast<size_t>(x) * 3 + c];
    s.logChromTargetE[c] = targetCache_.logChromEnergy[static_cast<size_t>(xt) * 3 + c];
  }
  return correlationCost(s, setup_.logChromWeight);
}

float CachedRowSweep::clippedCost(int x, int xt, int y, const OverlapRange& range) {
  // Only the common part is copied and read: the rest of the scratch tables
  // would be ignored anyway.
  for (int l = range.jLo; l <= range.jHi; ++l) {
    for (int k = range.iLo; k <= range.iHi; ++k) {
      refOverlapWeights_[l * side_ + k] = refCache_.weights[refCache_.offsetIndex(x, l, k)];
      targetOverlapWeights_[l * side_ + k] = targetCache_.weights[targetCache_.offsetIndex(xt, l, k)];
    }
  }
  double refColorMean[3], refLogMean[3], targetColorMean[3], targetLogMean[3];
  overlapMeans(x, y, refOverlapWeights_.data(), *setup_.ref, range, refColorMean, refLogMean);
  overlapMeans(xt, y, targetOverlapWeights_.data(), *setup_.target, range, targetColorMean, targetLogMean);

  const ImageSignals& ref = *setup_.ref;
  const ImageSignals& target = *setup_.target;
  CorrelationSums s;
  for (int k = range.iLo; k <= range.iHi; ++k) {
    const int v = y - r_ + k;
    for (int l = range.jLo; l <= range.jHi; ++l) {
      const int u = x - r_ + l, ut = xt - r_ + l;
      const double wR = refOverlapWeights_[l * side_ + k];
      const double wT = targetOverlapWeights_[l * side_ + k];
      const double p = wR * wT;
      for (int c = 0; c < 3; ++c) {
        const double a = (ref.color.at(u, v, c) - ref.color.at(x, y, c)) - refColorMean[c];
        const double b = (target.color.at(ut, v, c) - target.color.at(xt, y, c)) - targetColorMean[c];
        const double e = (ref.logChrom.at(u, v, c) - ref.logChrom.at(x, y, c)) - refLogMean[c];
        const double f = (target.logChrom.at(ut, v, c) - target.logChrom.at(xt, y, c)) - targetLogMean[c];
        s.colorN[c] += p * a * b;
        s.colorRefE[c] += wR * wR * (a * a);
        s.colorTargetE[c] += wT * wT * (b * b);
        s.logChromN[c] += p * e * f;
        s.logChromRefE[c] += wR * wR * (e * e);
        s.logChromTargetE[c] += wT * wT * (f * f);
      }
    }
  }
  return correlationCost(s, setup_.logChromWeight);
}

void CachedRowSweep::computeRow(int y, CostVolume& volume) {
  const int w = setup_.width;
  std::fill(refCache_.colorEnergy.begin(), refCache_.colorEnergy.end(), 0.0);
  std::fill(refCache_.logChromEnergy.begin(), refCache_.logChromEnergy.end(), 0.0);
  std::fill(targetCache_.colorEnergy.begin(), targetCache_.colorEnergy.end(), 0.0);
  std::fill(targetCache_.logChromEnergy.begin(), targetCache_.logChromEnergy.end(), 0.0);
  for (int x = 0; x < w; ++x) {
    windowStatistics(x, y, *setup_.ref, refCache_);
    windowStatistics(x, y, *setup_.target, targetCache_);
  }
  const int last = 2 * r_;
  for (int x = 0; x < w; ++x) {
    float* costs = volume.cell(x, y);
    for (int d = 0; d < setup_.disparityRange; ++d) {
      // Widened so an extreme base cannot overflow.
      const long long xtWide = static_cast<long long>(x) - setup_.baseDisparity - d;
      if (xtWide < 0 || xtWide >= w) {
        costs[d] = kOutsideCost;
        continue;
      }
      const int xt = static_cast<int>(xtWide);
      const OverlapRange range = overlapRange(windowBounds(x, y, r_), windowBounds(xt, y, r_), last, w, setup_.height);
      const bool whole = range.jLo == 0 && range.jHi == last && range.iLo == 0 && range.iHi == last;
      costs[d] = whole ? wholeWindowCost(x, xt) : clippedCost(x, xt, y, range);
    }
  }
}

}  // namespace orbelt
