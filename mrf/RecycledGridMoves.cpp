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
  auto keepNothing = [this] {
    graph_.clear();
    flows_.reset();
    return false;
  };
  try {
    layOutGrid();
    splitIntoBands();
  } catch (const Failure&) {
    return keepNothing();
  } catch (const std::bad_alloc&) {
    return keepNothing();
  }
  counts_ = {};
  lastSolved_ = -1;
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

namespace {

// The pair of p and q (q its right or lower neighbour, with multiplier m) in
// alpha's move: adds its terms to p's terminal residual (toP) and to q's
// (toQ), pushes the kept flow (when recycled) and returns the pair's
// residuals, p to q and back. The order of the float operations is the
// order every caller relies on for the same bits.
struct PairResiduals {
  float forward;
  float backward;
  float capacity;  // the pair's capacity towards q, from which the new flow is read back
};

inline PairResiduals pairResiduals(const float* keepRow, const float* alphaRow, int alpha, bool activeP, int lq,
                                   float m, bool recycled, float keptFlow, float& toP, float& toQ) {
  const bool activeQ = lq != alpha;
  float c = 0.0f;   // residual p -> q
  float cr = 0.0f;  // residual q -> p
  if (activeP && activeQ) {
    const float ekk = keepRow[lq] * m;
    float eka = keepRow[alpha] * m;
    float eak = alphaRow[lq] * m;
    float eaa = alphaRow[alpha] * m;
    makePairCuttable(ekk, eka, eak, eaa);
    toP += ekk - eaa;
    const float dak = eak - eaa;
    const float dka = eka - ekk;
    if (dak < 0) {
      toP -= dak;
      toQ += dak;
      cr = dka + dak;
    } else if (dka < 0) {
      toP += dka;
      toQ -= dka;
      c = dka + dak;
    } else {
      c = dak;
      cr = dka;
    }
  } else if (activeP) {
    toP += keepRow[alpha] * m - alphaRow[alpha] * m;
  } else if (activeQ) {
    toQ += alphaRow[lq] * m - alphaRow[alpha] * m;
  }
  float f = 0.0f;
  if (recycled) {
    f = keptFlow;
    if (f < -cr) f = -cr;
    if (f > c) f = c;
    toP -= f;
    toQ += f;
  }
  return {c - f, cr + f, c};
}

}  // namespace

void RecycledGridMoves::setThreadCount(int threads) {
  // More threads than bands would only wait.
  const int used = threads < 1 ? 1 : (threads > kBandCount ? kBandCount : threads);
  if (used == 1) {
    pool_.reset();
  } else if (!pool_ || pool_->threadCount() != used) {
    pool_.reset();
    pool_ = std::make_unique<TaskPool>(used);
  }
}

void RecycledGridMoves::splitIntoBands() {
  const int bandCount = height_ < kBandCount ? 1 : kBandCount;
  bands_.clear();
  joining_.clear();
  for (int k = 0; k < bandCount; ++k) {
    bands_.push_back({k * height_ / bandCount, (k + 1) * height_ / bandCount});
  }
  while (regions_.size() < bands_.size()) regions_.push_back(std::make_unique<FlowGraph::RegionSearch>());
  regionPointers_.clear();
  for (std::size_t k = 0; k < bands_.size(); ++k) regionPointers_.push_back(regions_[k].get());
  for (std::size_t k = 1; k < bands_.size(); ++k) {
    const int row = bands_[k].firstRow;
    for (int x = 0; x < width_; ++x) {
      const int q = row * width_ + x;
      joining_.push_back({q - width_, q, arcs_[2 * static_cast<std::size_t>(q - width_) + 1]});
    }
  }
  joiningResiduals_.assign(2 * joining_.size(), 0.0f);
}

void RecycledGridMoves::forEachBand(const std::function<void(int)>& part) {
  const int count = static_cast<int>(bands_.size());
  if (pool_ && observer_ == nullptr) {
    pool_->run(count, part);
  } else {
    for (int k = 0; k < count; ++k) part(k);
  }
}

template <bool kScaled>
void RecycledGridMoves::startBandFromAbove(int band, int alpha, const int* labels, const Costs& costs, bool recycled) {
  const std::size_t stride = static_cast<std::size_t>(labelCount_);
  const float* alphaRow = costs.pairTable + static_cast<std::size_t>(alpha) * stride;
  const float* flows = flows_.get() + static_cast<std::size_t>(alpha) * 2 * static_cast<std::size_t>(pixelCount_);
  float* pending = pending_.get();
  const int row = bands_[static_cast<std::size_t>(band)].firstRow;
  for (int x = 0; x < width_; ++x) {
    const int q = row * width_ + x;
    const int p = q - width_;
    const int lp = labels[p];
    const float* keepRow = costs.pairTable + static_cast<std::size_t>(lp) * stride;
    float ignored = 0.0f;
    pending[q] = 0.0f;
    // Held at zero while the bands are solved, from before either starts.
    graph_.setArcResiduals(arcs_[2 * static_cast<std::size_t>(p) + 1], 0.0f, 0.0f);
    pairResiduals(keepRow, alphaRow, alpha, lp != alpha, labels[q], kScaled ? costs.vertical[p] : 1.0f, recycled,
                  flows[2 * static_cast<std::size_t>(p) + 1], ignored, pending[q]);
  }
}

// Writes every terminal and pair residual of the band's pixels in alpha's
// move: the pair terms as a graph built for the move would hold them, then
// (when recycled) the kept flow pushed along every pair, clamped to its new
// capacities. The pairs joining the band to the band below are held at zero
// in the graph, their residuals kept aside for the join; what they add to
// the lower band's first row was added there beforehand.
template <bool kScaled>
void RecycledGridMoves::writeBandResiduals(int band, int alpha, const int* labels, const Costs& costs, bool recycled) {
  const std::size_t stride = static_cast<std::size_t>(labelCount_);
  const float* pairs = costs.pairTable;
  const float* alphaRow = pairs + static_cast<std::size_t>(alpha) * stride;
  float* flows = flows_.get() + static_cast<std::size_t>(alpha) * 2 * static_cast<std::size_t>(pixelCount_);
  float* pending = pending_.get();
  const float* labelCosts = labelCosts_.get();
  const float* alphaCosts =
      labelMajorCosts_.get() + static_cast<std::size_t>(alpha) * static_cast<std::size_t>(pixelCount_);
  const Band rows = bands_[static_cast<std::size_t>(band)];
  const bool lastBand = band + 1 == static_cast<int>(bands_.size());
  // The first row of a lower band already holds what the pairs from above add.
  const int clearedFirst = (band == 0 ? rows.firstRow : rows.firstRow + 1) * width_;
  std::memset(pending + clearedFirst, 0, static_cast<std::size_t>(rows.endRow * width_ - clearedFirst) * sizeof(float));
  float* joiningResiduals = joiningResiduals_.data() + 2 * static_cast<std::size_t>(band) * width_;

  for (int y = rows.firstRow, p = rows.firstRow * width_; y < rows.endRow; ++y) {
    const bool joinsBelow = y + 1 == rows.endRow && !lastBand;
    for (int x = 0; x < width_; ++x, ++p) {
      const int lp = labels[p];
      const bool activeP = lp != alpha;
      float r = pending[p];
      if (activeP) {
        r += labelCosts[p] - alphaCosts[p];
      }
      const float* keepRow = pairs + static_cast<std::size_t>(lp) * stride;
      const std::size_t slot = 2 * static_cast<std::size_t>(p);
      if (x + 1 < width_) {
        const PairResiduals right =
            pairResiduals(keepRow, alphaRow, alpha, activeP, labels[p + 1], kScaled ? costs.horizontal[p] : 1.0f,
                          recycled, flows[slot], r, pending[p + 1]);
        graph_.setArcResiduals(arcs_[slot], right.forward, right.backward);
        flows[slot] = right.capacity;
      }
      if (y + 1 < height_) {
        float ignored = 0.0f;
        const PairResiduals down =
            pairResiduals(keepRow, alphaRow, alpha, activeP, labels[p + width_], kScaled ? costs.vertical[p] : 1.0f,
                          recycled, flows[slot + 1], r, joinsBelow ? ignored : pending[p + width_]);
        if (joinsBelow) {
          // The graph's copy was zeroed before any band started: the band
          // below may be searching already, and reads it.
          joiningResiduals[2 * static_cast<std::size_t>(x)] = down.forward;
          joiningResiduals[2 * static_cast<std::size_t>(x) + 1] = down.backward;
        } else {
          graph_.setArcResiduals(arcs_[slot + 1], down.forward, down.backward);
        }
        flows[slot + 1] = down.capacity;
      }
      // The scratch row keeps the residual for the pass that pushes along
      // single pairs; p's slot is not read again by this loop.
      pending[p] = activeP ? r : 0.0f;
      graph_.setTerminalResidual(p, pending[p]);
    }
  }
}

// Pushes flow along every path source -> p -> q -> sink of one pair inside
// the band, in pixel order, before the search: the shortest paths cost the
// search a growth, an augmentation and adoptions each, here a few reads. Any
// flow is a reparameterisation, so the cut found afterwards is the same set.
void RecycledGridMoves::pushAlongSinglePairs(int band) {
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
  const Band rows = bands_[static_cast<std::size_t>(band)];
  for (int y = rows.firstRow, p = rows.firstRow * width_; y < rows.endRow; ++y) {
    for (int x = 0; x < width_; ++x, ++p) {
      const std::size_t slot = 2 * static_cast<std::size_t>(p);
      if (x + 1 < width_) push(p, p + 1, arcs_[slot]);
      if (y + 1 < rows.endRow) push(p, p + width_, arcs_[slot + 1]);
      // p's residual is final once its right and lower pairs are done.
      graph_.setTerminalResidual(p, residual[p]);
    }
  }
}

void RecycledGridMoves::borrowFlow(int from, int to) {
  const std::size_t slots = 2 * static_cast<std::size_t>(pixelCount_);
  std::memcpy(flows_.get() + static_cast<std::size_t>(to) * slots,
              flows_.get() + static_cast<std::size_t>(from) * slots, slots * sizeof(float));
}

bool RecycledGridMoves::readBandCut(int band, int alpha, int* labels) {
  // The flow of each pair is its capacity (held in the slot) minus what is
  // left of it.
  float* flows = flows_.get() + static_cast<std::size_t>(alpha) * 2 * static_cast<std::size_t>(pixelCount_);
  const float* alphaCosts =
      labelMajorCosts_.get() + static_cast<std::size_t>(alpha) * static_cast<std::size_t>(pixelCount_);
  const Band rows = bands_[static_cast<std::size_t>(band)];
  bool changed = false;
  for (int p = rows.firstRow * width_; p < rows.endRow * width_; ++p) {
    const std::size_t slot = 2 * static_cast<std::size_t>(p);
    if (arcs_[slot] != FlowGraph::kNoArc) flows[slot] -= graph_.arcResidual(arcs_[slot]);
    if (arcs_[slot + 1] != FlowGraph::kNoArc) flows[slot + 1] -= graph_.arcResidual(arcs_[slot + 1]);
    if (labels[p] != alpha && graph_.sideOf(p) == CutSide::SourceSide) {
      labels[p] = alpha;
      labelCosts_[static_cast<std::size_t>(p)] = alphaCosts[p];
      changed = true;
    }
  }
  return changed;
}

bool RecycledGridMoves::expand(int alpha, int* labels, const Costs& costs) {
  const bool borrowed = kept_[static_cast<std::size_t>(alpha)] == 0 && lastSolved_ >= 0;
  if (borrowed) borrowFlow(lastSolved_, alpha);
  const bool recycled = kept_[static_cast<std::size_t>(alpha)] != 0 || borrowed;
  const bool scaled = costs.horizontal != nullptr && costs.vertical != nullptr;
  graph_.reopen();
  // Most nodes start with sink residual (a recycled flow leaves little to
  // route, and a fresh move's flow along single pairs has drained the
  // rest), so only the source tree grows from its roots.
  graph_.setSinkRootsPassive(true);
  for (std::size_t k = 1; k < bands_.size(); ++k) {
    if (scaled) {
      startBandFromAbove<true>(static_cast<int>(k), alpha, labels, costs, recycled);
    } else {
      startBandFromAbove<false>(static_cast<int>(k), alpha, labels, costs, recycled);
    }
  }
  forEachBand([&](int k) {
    if (scaled) {
      writeBandResiduals<true>(k, alpha, labels, costs, recycled);
    } else {
      writeBandResiduals<false>(k, alpha, labels, costs, recycled);
    }
    // A borrowed flow fits this move's capacities loosely: the single pairs
    // it leaves are routed as in a fresh move.
    if (!recycled || borrowed) pushAlongSinglePairs(k);
    const Band rows = bands_[static_cast<std::size_t>(k)];
    graph_.solveRegion(rows.firstRow * width_, rows.endRow * width_, *regions_[static_cast<std::size_t>(k)]);
  });
  for (std::size_t j = 0; j < joining_.size(); ++j) {
    graph_.setArcResiduals(joining_[j].arc, joiningResiduals_[2 * j], joiningResiduals_[2 * j + 1]);
  }
  graph_.joinRegions(regionPointers_, joining_);
  if (borrowed) {
    ++counts_.borrowed;
  } else if (recycled) {
    ++counts_.recycled;
  } else {
    ++counts_.fresh;
  }

  unsigned char changedInBand[kBandCount] = {};
  forEachBand([&](int k) { changedInBand[k] = readBandCut(k, alpha, labels) ? 1 : 0; });
  kept_[static_cast<std::size_t>(alpha)] = 1;
  lastSolved_ = alpha;
  for (std::size_t k = 0; k < bands_.size(); ++k) {
    if (changedInBand[k] != 0) return true;
  }
  return false;
}

}  // namespace orbelt
