#include "mrf/RecycledGridMoves.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "mrf/CuttablePair.h"
#include "platform/Failure.h"

namespace orbelt {

namespace {

// Bytes per node and per pair of the laid-out graph: the node record, its
// in-range start, and per pair the arc record, the in-range entry and the
// head offset beside it, rounded up for the layout's working arrays.
constexpr std::uint64_t kGraphBytesPerPixel = 32 + 4 + 2 * (12 + 4 + 4) + 2 * 24;

}  // namespace

std::uint64_t RecycledGridMoves::stateBytes(int width, int height, int labelCount) {
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width > 0 ? width : 0) * static_cast<std::uint64_t>(height > 0 ? height : 0);
  const std::uint64_t labels = static_cast<std::uint64_t>(labelCount > 0 ? labelCount : 0);
  return pixels * labels * 3 * sizeof(float) + pixels * (2 * sizeof(std::uint32_t) + 2 * sizeof(float)) +
         pixels * kGraphBytesPerPixel;
}

bool RecycledGridMoves::prepare(int width, int height, int labelCount) {
  width_ = width;
  height_ = height;
  pixelCount_ = width * height;
  labelCount_ = labelCount;
  const std::size_t pixels = static_cast<std::size_t>(pixelCount_);
  flows_.reset(new (std::nothrow) float[2 * pixels * static_cast<std::size_t>(labelCount)]);
  arcs_.reset(new (std::nothrow) std::uint32_t[2 * pixels]);
  pending_.reset(new (std::nothrow) float[pixels]);
  labelMajorCosts_.reset(new (std::nothrow) float[pixels * static_cast<std::size_t>(labelCount)]);
  labelCosts_.reset(new (std::nothrow) float[pixels]);
  if (!flows_ || !arcs_ || !pending_ || !labelMajorCosts_ || !labelCosts_) {
    labelCosts_.reset();
    flows_.reset();
    arcs_.reset();
    pending_.reset();
    labelMajorCosts_.reset();
    return false;
  }
  kept_.assign(static_cast<std::size_t>(labelCount), 0);

  // Pairs in pixel order, right before down: the layout then keeps a
  // pixel's two pairs beside its node. Without the graph's memory there is
  // no recycling either.
  try {
    layOutGrid();
  } catch (const Failure&) {
    graph_.clear();
    flows_.reset();
    return false;
  }
  counts_ = {};
  return true;
}

void RecycledGridMoves::layOutGrid() {
  const int width = width_;
  const int height = height_;
  graph_.clear();
  graph_.createNodes(pixelCount_);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int p = y * width + x;
      if (x + 1 < width) graph_.addArcPair(p, p + 1, 0.0f, 0.0f);
      if (y + 1 < height) graph_.addArcPair(p, p + width, 0.0f, 0.0f);
    }
  }
  graph_.computeMaxFlow();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int p = y * width + x;
      arcs_[2 * static_cast<std::size_t>(p)] = x + 1 < width ? graph_.arcIndex(p, p + 1) : FlowGraph::kNoArc;
      arcs_[2 * static_cast<std::size_t>(p) + 1] = y + 1 < height ? graph_.arcIndex(p, p + width) : FlowGraph::kNoArc;
    }
  }
}

void RecycledGridMoves::loadDataCosts(const float* dataTable) {
  const std::size_t pixels = static_cast<std::size_t>(pixelCount_);
  const std::size_t labels = static_cast<std::size_t>(labelCount_);
  float* out = labelMajorCosts_.get();
  // In tiles of pixels, so that both the rows read and the label planes
  // written stay in cache while a tile is copied.
  constexpr std::size_t kTile = 64;
  for (std::size_t first = 0; first < pixels; first += kTile) {
    const std::size_t last = first + kTile < pixels ? first + kTile : pixels;
    for (std::size_t l = 0; l < labels; ++l) {
      float* plane = out + l * pixels;
      for (std::size_t p = first; p < last; ++p) plane[p] = dataTable[p * labels + l];
    }
  }
}

void RecycledGridMoves::loadLabelCosts(const int* labels) {
  const std::size_t pixels = static_cast<std::size_t>(pixelCount_);
  const float* planes = labelMajorCosts_.get();
  for (std::size_t p = 0; p < pixels; ++p) {
    labelCosts_[p] = planes[static_cast<std::size_t>(labels[p]) * pixels + p];
  }
}

// Writes every terminal and pair residual of alpha's move: the pair terms as
// a graph built for the move would hold them, then (when recycled) the kept
// flow pushed along every pair, clamped to its new capacities.
template <bool kScaled>
void RecycledGridMoves::writeResiduals(int alpha, const int* labels, const Costs& costs, bool recycled) {
  const std::size_t stride = static_cast<std::size_t>(labelCount_);
  const float* pairs = costs.pairTable;
  const float* alphaRow = pairs + static_cast<std::size_t>(alpha) * stride;
  float* flows = flows_.get() + static_cast<std::size_t>(alpha) * 2 * static_cast<std::size_t>(pixelCount_);
  float* pending = pending_.get();
  const float* labelCosts = labelCosts_.get();
  const float* alphaCosts =
      labelMajorCosts_.get() + static_cast<std::size_t>(alpha) * static_cast<std::size_t>(pixelCount_);
  std::memset(pending, 0, static_cast<std::size_t>(pixelCount_) * sizeof(float));

  for (int y = 0, p = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x, ++p) {
      const int lp = labels[p];
      const bool activeP = lp != alpha;
      float r = pending[p];
      if (activeP) {
        r += labelCosts[p] - alphaCosts[p];
      }
      const float* keepRow = pairs + static_cast<std::size_t>(lp) * stride;

      // The pair of p and q (its right or lower neighbour), with multiplier m.
      auto pair = [&](int q, float m, std::size_t slot) {
        const int lq = labels[q];
        const bool activeQ = lq != alpha;
        float c = 0.0f;   // residual p -> q
        float cr = 0.0f;  // residual q -> p
        if (activeP && activeQ) {
          const float ekk = keepRow[lq] * m;
          float eka = keepRow[alpha] * m;
          float eak = alphaRow[lq] * m;
          float eaa = alphaRow[alpha] * m;
          makePairCuttable(ekk, eka, eak, eaa);
          r += ekk - eaa;
          const float dak = eak - eaa;
          const float dka = eka - ekk;
          if (dak < 0) {
            r -= dak;
            pending[q] += dak;
            cr = dka + dak;
          } else if (dka < 0) {
            r += dka;
            pending[q] -= dka;
            c = dka + dak;
          } else {
            c = dak;
            cr = dka;
          }
        } else if (activeP) {
          r += keepRow[alpha] * m - alphaRow[alpha] * m;
        } else if (activeQ) {
          pending[q] += alphaRow[lq] * m - alphaRow[alpha] * m;
        }
        float f = 0.0f;
        if (recycled) {
          f = flows[slot];
          if (f < -cr) f = -cr;
          if (f > c) f = c;
          r -= f;
          pending[q] += f;
        }
        graph_.setArcResiduals(arcs_[slot], c - f, cr + f);
        flows[slot] = c;
      };

      const std::size_t slot = 2 * static_cast<std::size_t>(p);
      if (x + 1 < width_) pair(p + 1, kScaled ? costs.horizontal[p] : 1.0f, slot);
      if (y + 1 < height_) pair(p + width_, kScaled ? costs.vertical[p] : 1.0f, slot + 1);
      // The scratch row keeps the residual for the pass that pushes along
      // single pairs; p's slot is not read again by this loop.
      pending[p] = activeP ? r : 0.0f;
      graph_.setTerminalResidual(p, pending[p]);
    }
  }
}

// Pushes flow along every path source -> p -> q -> sink of one pair, in
// pixel order, before the search: the shortest paths cost the search a
// growth, an augmentation and adoptions each, here a few reads. Any flow is
// a reparameterisation, so the cut found afterwards is the same set.
void RecycledGridMoves::pushAlongSinglePairs() {
  float* residual = pending_.get();
  auto push = [&](int p, int q, std::uint32_t arc) {
    const float rp = residual[p];
    const float rq = residual[q];
    if (rp > 0 && rq < 0) {
      const float c = graph_.arcResidual(arc);
      if (c == 0) return;
      float d = rp < -rq ? rp : -rq;
      if (c < d) d = c;
      graph_.setArcResiduals(arc, c - d, graph_.arcReverseResidual(arc) + d);
      residual[p] = rp - d;
      residual[q] = rq + d;
    } else if (rp < 0 && rq > 0) {
      const float c = graph_.arcReverseResidual(arc);
      if (c == 0) return;
      float d = rq < -rp ? rq : -rp;
      if (c < d) d = c;
      graph_.setArcResiduals(arc, graph_.arcResidual(arc) + d, c - d);
      residual[q] = rq - d;
      residual[p] = rp + d;
    }
  };
  for (int y = 0, p = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x, ++p) {
      const std::size_t slot = 2 * static_cast<std::size_t>(p);
      if (x + 1 < width_) push(p, p + 1, arcs_[slot]);
      if (y + 1 < height_) push(p, p + width_, arcs_[slot + 1]);
      // p's residual is final once its right and lower pairs are done.
      graph_.setTerminalResidual(p, residual[p]);
    }
  }
}

bool RecycledGridMoves::expand(int alpha, int* labels, const Costs& costs) {
  const bool recycled = kept_[static_cast<std::size_t>(alpha)] != 0;
  graph_.reopen();
  if (costs.horizontal != nullptr && costs.vertical != nullptr) {
    writeResiduals<true>(alpha, labels, costs, recycled);
  } else {
    writeResiduals<false>(alpha, labels, costs, recycled);
  }
  if (!recycled) pushAlongSinglePairs();
  // Most nodes start with sink residual (a recycled flow leaves little to
  // route, and a fresh move's flow along single pairs has drained the
  // rest), so only the source tree grows from its roots.
  graph_.setSinkRootsPassive(true);
  graph_.computeMaxFlow();
  if (recycled) {
    ++counts_.recycled;
  } else {
    ++counts_.fresh;
  }

  // The flow of each pair is its capacity (held in the slot) minus what is
  // left of it.
  float* flows = flows_.get() + static_cast<std::size_t>(alpha) * 2 * static_cast<std::size_t>(pixelCount_);
  const float* alphaCosts =
      labelMajorCosts_.get() + static_cast<std::size_t>(alpha) * static_cast<std::size_t>(pixelCount_);
  bool changed = false;
  for (int p = 0; p < pixelCount_; ++p) {
    const std::size_t slot = 2 * static_cast<std::size_t>(p);
    if (arcs_[slot] != FlowGraph::kNoArc) flows[slot] -= graph_.arcResidual(arcs_[slot]);
    if (arcs_[slot + 1] != FlowGraph::kNoArc) flows[slot + 1] -= graph_.arcResidual(arcs_[slot + 1]);
    if (labels[p] != alpha && graph_.sideOf(p) == CutSide::SourceSide) {
      labels[p] = alpha;
      labelCosts_[static_cast<std::size_t>(p)] = alphaCosts[p];
      changed = true;
    }
  }
  kept_[static_cast<std::size_t>(alpha)] = 1;
  return changed;
}

}  // namespace orbelt
