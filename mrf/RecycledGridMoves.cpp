#include "mrf/RecycledGridMoves.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <new>

#include "mrf/CuttablePair.h"

namespace orbelt {

// One node's terminal residual at a move's start kept as the terms that sum
// to it, in the order they are summed, so that a change of one pair's flow
// is summed again to the same bits without working out its four pairs
// again: root drains try many flows on the same two nodes.
struct TerminalTerms {
  // Two terms from each neighbour's pair, three from each of the node's own
  // pairs, and its data.
  static constexpr int kMost = 11;
  float term[kMost];
  int count = 0;
  // The pair whose terms come next, and per pair: where its flow term is,
  // the bounds the flow is clamped to and the sign it is summed with.
  int direction = 0;
  int flowTerm[4] = {-1, -1, -1, -1};
  float lowest[4] = {};
  float highest[4] = {};
  bool subtracted[4] = {};

  // x - f is x + (-f) to the bit, so every term is kept as an addend.
  void operator+=(float v) { term[count++] = v; }
  void operator-=(float v) { term[count++] = -v; }
  void markFlow(float lo, float hi, bool minus) {
    flowTerm[direction] = count;
    lowest[direction] = lo;
    highest[direction] = hi;
    subtracted[direction] = minus;
  }
  // The pair towards `d` starts from `flow` instead (clamped as at first).
  void setFlow(int d, float flow) {
    float f = flow;
    if (f < lowest[d]) f = lowest[d];
    if (f > highest[d]) f = highest[d];
    term[flowTerm[d]] = subtracted[d] ? -f : f;
  }
  float sum() const {
    float r = 0.0f;
    for (int i = 0; i < count; ++i) r += term[i];
    return r;
  }
};

namespace {

// A move is lazy only when at most this share of the tiles changed since its
// label's last move: beyond it, opening nodes one by one costs more than
// writing the grid in order.
constexpr double kLazyShare = 0.5;
// A label's source roots are listed only when its move reached at most this
// share of the nodes: where the search spread further, its next move will
// most likely be written whole anyway.
constexpr double kRootsShare = 0.25;
// Nor are they listed on a label's first move from its own kept flow: that
// flow dates from the first sweep, which changes labels nearly everywhere,
// and so does the sweep after it (on Teddy enlarged to 0.35, 1.5 and 6
// megapixels, under a tenth of the moves that follow could go lazy), so the
// listing would mostly go unused.
constexpr int kRootsFromRecycledMove = 2;
// A move written whole reads back the nodes its search reached one by one
// only when they are at most this share of the grid; more are read in order.
constexpr double kReadReachedShare = 0.5;
// The most steps of one half a root is drained by, per pair.
constexpr int kDrainSteps = 4;
// Rows between a root drained alongside another band's and that band: a
// drain reads two rows above its root and one below, and writes its row and
// the one above.
constexpr int kDrainMargin = 3;

// The pair of p and q (q its right or lower neighbour, with multiplier m) in
// alpha's move: adds its terms to p's terminal residual (toP) and to q's
// (toQ), pushes the start flow (when recycled) and returns the pair's
// residuals, p to q and back. The order of the float operations is the
// order every caller relies on for the same bits.
struct PairResiduals {
  float forward;
  float backward;
  float capacity;  // the pair's capacity towards q, from which the new flow is read back
};

// What a plain float sum and the kept terms each need told.
inline void markFlowTerm(float&, float, float, bool) {}
inline void markFlowTerm(TerminalTerms& terms, float lo, float hi, bool subtracted) {
  terms.markFlow(lo, hi, subtracted);
}
inline void termsFromPair(float&, int) {}
inline void termsFromPair(TerminalTerms& terms, int direction) { terms.direction = direction; }
inline float sumOf(float value) { return value; }
inline float sumOf(const TerminalTerms& terms) { return terms.sum(); }

template <class ToP, class ToQ>
inline PairResiduals pairResiduals(const float* keepRow, const float* alphaRow, int alpha, bool activeP, int lq,
                                   float m, bool recycled, float startFlow, ToP& toP, ToQ& toQ) {
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
    f = startFlow;
    if (f < -cr) f = -cr;
    if (f > c) f = c;
    markFlowTerm(toP, -cr, c, true);
    toP -= f;
    markFlowTerm(toQ, -cr, c, false);
    toQ += f;
  }
  return {c - f, cr + f, c};
}

// The push along one pair of pushAlongSinglePairsOfRow: from the end with
// source residual to the end with sink residual, as much as both and the
// pair allow.
inline void pushAlongPair(GridFlow::Node& a, GridFlow::Node& b, int d) {
  const float ra = a.terminal;
  const float rb = b.terminal;
  float& forward = a.residual[d];
  float& backward = b.residual[d ^ 2];
  if (ra > 0 && rb < 0) {
    const float c = forward;
    if (c == 0) return;
    float f = ra < -rb ? ra : -rb;
    if (c < f) f = c;
    forward = c - f;
    backward = backward + f;
    a.terminal = ra - f;
    b.terminal = rb + f;
  } else if (ra < 0 && rb > 0) {
    const float c = backward;
    if (c == 0) return;
    float f = rb < -ra ? rb : -ra;
    if (c < f) f = c;
    forward = forward + f;
    backward = c - f;
    b.terminal = rb - f;
    a.terminal = ra + f;
  }
}

// The side a kept flow is rounded towards: its rounding error ends as excess
// at one end of the pair and deficit at the other, and the excess goes to
// the end with more sink residual left, which absorbs it, so that the next
// move need not route it.
inline int roundingSide(float rp, float rq) { return (rp > rq) - (rp < rq); }

}  // namespace

std::uint64_t RecycledGridMoves::baseStateBytes(int width, int height) {
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width > 0 ? width : 0) * static_cast<std::uint64_t>(height > 0 ? height : 0);
  // The grid's records; two capacities; the label cost, the label and the
  // visit stamp; and at most one entry a pixel in the lists of nodes a move
  // opened (the change tiles are a few bytes per 256 pixels).
  return pixels * (GridFlow::bytesPerNode() + 2 * sizeof(float) + sizeof(float) + sizeof(int) + sizeof(std::uint8_t) +
                   sizeof(std::int32_t));
}

std::uint64_t RecycledGridMoves::keptFlowBytes(int width, int height) {
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width > 0 ? width : 0) * static_cast<std::uint64_t>(height > 0 ? height : 0);
  return KeptFlows::bytesPerLabel(pixels);
}

int RecycledGridMoves::tileSizeFor(int width, int height) {
  const int quarter = std::min(width, height) / 4;
  return quarter < 1 ? 1 : quarter < kTileSize ? quarter : kTileSize;
}

bool RecycledGridMoves::prepare(int width, int height, int labelCount) {
  width_ = width;
  height_ = height;
  pixelCount_ = width * height;
  labelCount_ = labelCount;
  const std::size_t pixels = static_cast<std::size_t>(pixelCount_);
  capacities_.reset(new (std::nothrow) float[2 * pixels]());
  labelCosts_.reset(new (std::nothrow) float[pixels]);
  labelsSeen_.reset(new (std::nothrow) int[pixels]);
  visited_.reset(new (std::nothrow) std::uint8_t[pixels]());
  auto keepNothing = [this] {
    flow_.resize(0, 0);
    capacities_.reset();
    labelCosts_.reset();
    labelsSeen_.reset();
    visited_.reset();
    return false;
  };
  if (!capacities_ || !labelCosts_ || !labelsSeen_ || !visited_) return keepNothing();
  if (!flow_.resize(width, height) || !tiles_.resize(width, height, tileSizeFor(width, height))) return keepNothing();
  try {
    kept_.reset(pixelCount_, labelCount);
    startedAt_.assign(static_cast<std::size_t>(labelCount), 0);
    recycledMoves_.assign(static_cast<std::size_t>(labelCount), 0);
    splitIntoBands();
  } catch (const std::bad_alloc&) {
    return keepNothing();
  }
  counts_ = {};
  lastSolved_ = -1;
  graphComplete_ = false;
  clock_ = 0;
  visit_ = 0;
  labelCostsLoaded_ = false;
  lastCosts_ = {};
  return true;
}

void RecycledGridMoves::setDataCosts(const RowPlanarCosts* costs) {
  dataCosts_ = costs;
  // Roots found on other costs say nothing of these.
  kept_.forgetAllRoots();
  labelCostsLoaded_ = false;
}

void RecycledGridMoves::loadLabelCosts(const int* labels) {
  const std::int64_t now = ++clock_;
  for (int y = 0, p = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x, ++p) {
      const int label = labels[p];
      if (labelCostsLoaded_ && label == labelsSeen_[p]) continue;
      labelCosts_[static_cast<std::size_t>(p)] = dataCosts_->plane(y, label)[x];
      // A caller's change: the moves that knew the old label must see it.
      if (labelCostsLoaded_) tiles_.markPixel(x, y, now);
      labelsSeen_[p] = label;
    }
  }
  labelCostsLoaded_ = true;
}

void RecycledGridMoves::setThreadCount(int threads) {
  // More threads than bands would only wait.
  const int used = threads < 1 ? 1 : (threads > kMaxBands ? kMaxBands : threads);
  if (used == 1) {
    pool_.reset();
  } else if (!pool_ || pool_->threadCount() != used) {
    pool_.reset();
    pool_ = std::make_unique<TaskPool>(used);
  }
}

int RecycledGridMoves::bandCountFor(int height, int bandRows) {
  if (height < 2) return 1;
  const int count = height / (bandRows < 1 ? 1 : bandRows);
  return count < 2 ? 2 : (count > kMaxBands ? kMaxBands : count);
}

int RecycledGridMoves::bandOf(int row) const {
  // Band k starts at row k * height / count; the guess is off by one at most.
  const int count = static_cast<int>(bands_.size());
  int k = static_cast<int>(static_cast<std::int64_t>(row) * count / height_);
  while (k + 1 < count && row >= bands_[static_cast<std::size_t>(k)].endRow) ++k;
  while (k > 0 && row < bands_[static_cast<std::size_t>(k)].firstRow) --k;
  return k;
}

void RecycledGridMoves::splitIntoBands() {
  const int bandCount = bandCountFor(height_, bandRows_);
  bands_.clear();
  joiningUpper_.clear();
  for (int k = 0; k < bandCount; ++k) {
    bands_.push_back({k * height_ / bandCount, (k + 1) * height_ / bandCount});
  }
  // No region past the bands: its lists would be another grid's.
  regions_.resize(bands_.size());
  for (std::unique_ptr<GridFlow::Region>& region : regions_) {
    if (!region) region = std::make_unique<GridFlow::Region>();
  }
  regionPointers_.clear();
  for (std::size_t k = 0; k < bands_.size(); ++k) regionPointers_.push_back(regions_[k].get());
  roots_.resize(bands_.size());
  opened_.assign(bands_.size(), 0);
  changed_.resize(bands_.size());
  bandRoots_.resize(bands_.size());
  jointRoots_.resize(bands_.size());
  for (std::size_t k = 1; k < bands_.size(); ++k) {
    const int row = bands_[k].firstRow - 1;
    for (int x = 0; x < width_; ++x) joiningUpper_.push_back(row * width_ + x);
  }
  joiningFlows_.assign(joiningUpper_.size(), 0.0f);
}

void RecycledGridMoves::forEachBand(const std::function<void(int)>& part) {
  const int count = static_cast<int>(bands_.size());
  if (pool_ && observer_ == nullptr) {
    pool_->run(count, part);
  } else {
    for (int k = 0; k < count; ++k) part(k);
  }
}

void RecycledGridMoves::decideStart(int alpha, bool& kept) {
  const std::uint16_t* own = kept_.flows(alpha);
  kept = own != nullptr;
  if (kept) {
    move_.start = Start::Kept;
    move_.halves = own;
  } else if (lastSolved_ < 0) {
    move_.start = Start::None;
  } else if (graphComplete_) {
    move_.start = Start::Graph;
  } else if (kept_.flows(lastSolved_) != nullptr) {
    // The last move opened only part of the grid; its flow is whole in its
    // label's halves.
    move_.start = Start::OtherLabel;
    move_.halves = kept_.flows(lastSolved_);
  } else {
    move_.start = Start::None;
  }
}

template <RecycledGridMoves::Start kStart>
inline float RecycledGridMoves::startFlowFrom(std::size_t slot) const {
  if constexpr (kStart == Start::Kept || kStart == Start::OtherLabel) {
    return fromHalf(move_.halves[slot]);
  } else if constexpr (kStart == Start::Graph) {
    const GridFlow::Node& n = flow_.record(static_cast<std::int32_t>(slot / 2));
    return capacities_[slot] - n.residual[(slot & 1) != 0 ? GridFlow::kDown : GridFlow::kRight];
  } else {
    return 0.0f;
  }
}

float RecycledGridMoves::startFlow(std::size_t slot) const {
  switch (move_.start) {
    case Start::Kept:
    case Start::OtherLabel: return startFlowFrom<Start::Kept>(slot);
    case Start::Graph: return startFlowFrom<Start::Graph>(slot);
    case Start::None: break;
  }
  return 0.0f;
}

template <bool kScaled>
RecycledGridMoves::NodeStart RecycledGridMoves::nodeStart(int p, const int* labels, const std::uint16_t* halves) const {
  float terminal = 0.0f;
  return nodeStartInto<kScaled>(p, labels, halves, terminal);
}

template <bool kScaled, class Terminal>
RecycledGridMoves::NodeStart RecycledGridMoves::nodeStartInto(int p, const int* labels, const std::uint16_t* halves,
                                                              Terminal& r) const {
  const int alpha = move_.alpha;
  const std::size_t stride = static_cast<std::size_t>(labelCount_);
  const float* pairs = move_.costs.pairTable;
  const float* alphaRow = pairs + static_cast<std::size_t>(alpha) * stride;
  const int y = p / width_;
  const int x = p - y * width_;
  const int lp = labels[p];
  const bool activeP = lp != alpha;
  NodeStart s{0.0f, {0.0f, 0.0f, 0.0f, 0.0f}, 0.0f, 0.0f};
  float ignored = 0.0f;
  // The terms reach p's residual in the order a whole-grid write adds them:
  // from the pair above, from the pair on the left, its data, then its own
  // two pairs.
  if (y > 0) {
    termsFromPair(r, GridFlow::kUp);
    const int o = p - width_;
    const int lo = labels[o];
    const PairResiduals above = pairResiduals(pairs + static_cast<std::size_t>(lo) * stride, alphaRow, alpha,
                                              lo != alpha, lp, kScaled ? move_.costs.vertical[o] : 1.0f, true,
                                              fromHalf(halves[2 * static_cast<std::size_t>(o) + 1]), ignored, r);
    s.residual[GridFlow::kUp] = above.backward;
  }
  if (x > 0) {
    termsFromPair(r, GridFlow::kLeft);
    const int o = p - 1;
    const int lo = labels[o];
    const PairResiduals left = pairResiduals(pairs + static_cast<std::size_t>(lo) * stride, alphaRow, alpha,
                                             lo != alpha, lp, kScaled ? move_.costs.horizontal[o] : 1.0f, true,
                                             fromHalf(halves[2 * static_cast<std::size_t>(o)]), ignored, r);
    s.residual[GridFlow::kLeft] = left.backward;
  }
  if (activeP) r += labelCosts_[static_cast<std::size_t>(p)] - dataCosts_->plane(y, alpha)[x];
  const float* keepRow = pairs + static_cast<std::size_t>(lp) * stride;
  if (x + 1 < width_) {
    termsFromPair(r, GridFlow::kRight);
    const PairResiduals right =
        pairResiduals(keepRow, alphaRow, alpha, activeP, labels[p + 1], kScaled ? move_.costs.horizontal[p] : 1.0f,
                      true, fromHalf(halves[2 * static_cast<std::size_t>(p)]), r, ignored);
    s.residual[GridFlow::kRight] = right.forward;
    s.capacityRight = right.capacity;
  }
  if (y + 1 < height_) {
    termsFromPair(r, GridFlow::kDown);
    const PairResiduals down =
        pairResiduals(keepRow, alphaRow, alpha, activeP, labels[p + width_], kScaled ? move_.costs.vertical[p] : 1.0f,
                      true, fromHalf(halves[2 * static_cast<std::size_t>(p) + 1]), r, ignored);
    s.residual[GridFlow::kDown] = down.forward;
    s.capacityDown = down.capacity;
  }
  s.terminal = activeP ? sumOf(r) : 0.0f;
  return s;
}

float RecycledGridMoves::startTerminal(int p, const int* labels, const std::uint16_t* halves) const {
  return move_.scaled ? nodeStart<true>(p, labels, halves).terminal : nodeStart<false>(p, labels, halves).terminal;
}

TerminalTerms RecycledGridMoves::terminalTerms(int p, const int* labels, const std::uint16_t* halves) const {
  TerminalTerms terms;
  if (move_.scaled) {
    nodeStartInto<true>(p, labels, halves, terms);
  } else {
    nodeStartInto<false>(p, labels, halves, terms);
  }
  return terms;
}

void RecycledGridMoves::openNode(std::int32_t p) {
  if (move_.scaled) {
    openNodeScaled<true>(p);
  } else {
    openNodeScaled<false>(p);
  }
}

template <bool kScaled>
void RecycledGridMoves::openNodeScaled(std::int32_t p) {
  NodeStart s = nodeStart<kScaled>(p, move_.labels, move_.halves);
  const int y = p / width_;
  const int band = bandOf(y);
  if (!move_.joined && bands_.size() > 1) {
    // The pairs joining the bands are held at zero until the bands are joined.
    const Band rows = bands_[static_cast<std::size_t>(band)];
    if (y + 1 == rows.endRow && band + 1 < static_cast<int>(bands_.size())) s.residual[GridFlow::kDown] = 0.0f;
    if (y == rows.firstRow && band > 0) s.residual[GridFlow::kUp] = 0.0f;
  }
  capacities_[2 * static_cast<std::size_t>(p)] = s.capacityRight;
  capacities_[2 * static_cast<std::size_t>(p) + 1] = s.capacityDown;
  flow_.open(p, s.terminal, s.residual[GridFlow::kRight], s.residual[GridFlow::kDown], s.residual[GridFlow::kLeft],
             s.residual[GridFlow::kUp]);
  ++opened_[static_cast<std::size_t>(band)];
}

// What the pairs joining band k to the band above add to the terminal
// residuals of band k's first row, before any band is written.
template <bool kScaled>
void RecycledGridMoves::startBandFromAbove(int band) {
  const int alpha = move_.alpha;
  const std::size_t stride = static_cast<std::size_t>(labelCount_);
  const float* alphaRow = move_.costs.pairTable + static_cast<std::size_t>(alpha) * stride;
  const int* labels = move_.labels;
  const bool recycled = move_.start != Start::None;
  const int row = bands_[static_cast<std::size_t>(band)].firstRow;
  const float* joiningFlows = joiningFlows_.data() + static_cast<std::size_t>(band - 1) * width_;
  for (int x = 0; x < width_; ++x) {
    const int q = row * width_ + x;
    const int p = q - width_;
    const int lp = labels[p];
    const float* keepRow = move_.costs.pairTable + static_cast<std::size_t>(lp) * stride;
    float ignored = 0.0f;
    float& gathered = flow_.record(q).terminal;
    gathered = 0.0f;
    pairResiduals(keepRow, alphaRow, alpha, lp != alpha, labels[q], kScaled ? move_.costs.vertical[p] : 1.0f, recycled,
                  joiningFlows[x], ignored, gathered);
  }
}

// Writes every terminal and pair residual of the band's nodes in alpha's
// move: the pair terms as a graph built for the move would hold them, then
// (when recycled) the start flow pushed along every pair, clamped to its new
// capacities. The pairs joining the band to its neighbours are held at zero;
// what they add to the lower band's first row was added there beforehand.
// With `openNow` the nodes are opened at once and the source roots listed;
// otherwise (a borrowed flow, which fits this move's capacities loosely) the
// single pairs it leaves are routed as in a fresh move, row by row behind
// the write, and that opens them. A record's terminal
// gathers what its upper and left pairs add before the node itself is
// written (its old value is dead by then).
template <bool kScaled, RecycledGridMoves::Start kStart>
void RecycledGridMoves::writeBand(int band, bool openNow) {
  const int alpha = move_.alpha;
  const int* labels = move_.labels;
  const std::size_t stride = static_cast<std::size_t>(labelCount_);
  const float* pairs = move_.costs.pairTable;
  const float* alphaRow = pairs + static_cast<std::size_t>(alpha) * stride;
  constexpr bool recycled = kStart != Start::None;
  const float* labelCosts = labelCosts_.get();
  const Band rows = bands_[static_cast<std::size_t>(band)];
  const bool lastBand = band + 1 == static_cast<int>(bands_.size());
  std::vector<std::int32_t>& roots = roots_[static_cast<std::size_t>(band)];
  // The first row of a lower band already holds what the pairs from above add.
  if (band == 0) {
    for (int p = rows.firstRow * width_; p < (rows.firstRow + 1) * width_; ++p) flow_.record(p).terminal = 0.0f;
  }
  const float* joiningFlows = joiningFlows_.data() + static_cast<std::size_t>(band) * width_;

  for (int y = rows.firstRow, p = rows.firstRow * width_; y < rows.endRow; ++y) {
    const bool joinsBelow = y + 1 == rows.endRow && !lastBand;
    const float* alphaCosts = dataCosts_->plane(y, alpha);
    for (int x = 0; x < width_; ++x, ++p) {
      const int lp = labels[p];
      const bool activeP = lp != alpha;
      GridFlow::Node& n = flow_.record(p);
      float r = n.terminal;
      if (activeP) r += labelCosts[p] - alphaCosts[x];
      const float* keepRow = pairs + static_cast<std::size_t>(lp) * stride;
      const std::size_t slot = 2 * static_cast<std::size_t>(p);
      float right = 0.0f;
      float down = 0.0f;
      if (x + 1 < width_) {
        // The start flow is read before the pair's residuals are rewritten.
        const PairResiduals pair =
            pairResiduals(keepRow, alphaRow, alpha, activeP, labels[p + 1], kScaled ? move_.costs.horizontal[p] : 1.0f,
                          recycled, startFlowFrom<kStart>(slot), r, flow_.record(p + 1).terminal);
        right = pair.forward;
        flow_.record(p + 1).residual[GridFlow::kLeft] = pair.backward;
        capacities_[slot] = pair.capacity;
      }
      if (y + 1 < height_) {
        float ignored = 0.0f;
        // The pair is the first to add to the node below.
        float& below = joinsBelow ? ignored : flow_.record(p + width_).terminal;
        below = 0.0f;
        const float start = !recycled ? 0.0f : joinsBelow ? joiningFlows[x] : startFlowFrom<kStart>(slot + 1);
        const PairResiduals pair = pairResiduals(keepRow, alphaRow, alpha, activeP, labels[p + width_],
                                                 kScaled ? move_.costs.vertical[p] : 1.0f, recycled, start, r, below);
        // A joining pair stays at zero here: the band below may be searching already.
        if (!joinsBelow) {
          down = pair.forward;
          flow_.record(p + width_).residual[GridFlow::kUp] = pair.backward;
        }
        capacities_[slot + 1] = pair.capacity;
      }
      n.residual[GridFlow::kRight] = right;
      n.residual[GridFlow::kDown] = down;
      if (x == 0) n.residual[GridFlow::kLeft] = 0.0f;
      if (y == rows.firstRow) n.residual[GridFlow::kUp] = 0.0f;
      n.terminal = activeP ? r : 0.0f;
      if (openNow) {
        flow_.openRecord(p);
        if (n.terminal > 0) roots.push_back(p);
      }
    }
    if (!openNow && y > rows.firstRow) pushAlongSinglePairsOfRow(band, y - 1);
  }
  if (!openNow) pushAlongSinglePairsOfRow(band, rows.endRow - 1);
}

void RecycledGridMoves::writeBandFrom(int band, bool openNow) {
  // One instance per start and pair form, so the pixel loop decides neither.
  const bool scaled = move_.scaled;
  switch (move_.start) {
    case Start::None:
      return scaled ? writeBand<true, Start::None>(band, openNow) : writeBand<false, Start::None>(band, openNow);
    case Start::Kept:
    case Start::OtherLabel:
      return scaled ? writeBand<true, Start::Kept>(band, openNow) : writeBand<false, Start::Kept>(band, openNow);
    case Start::Graph:
      return scaled ? writeBand<true, Start::Graph>(band, openNow) : writeBand<false, Start::Graph>(band, openNow);
  }
}

// Pushes flow along every path source -> p -> q -> sink of one pair inside
// the band, in pixel order, before the search: the shortest paths cost the
// search a growth, an augmentation and adoptions each, here a few reads. Any
// flow is a reparameterisation, so the cut found afterwards is the same set.
// Opens each node once its residuals are final, and lists the source roots.
// One row at a time, right after the write of the row below it (which adds
// the last terms its lower pairs push against), while both rows are cached.
void RecycledGridMoves::pushAlongSinglePairsOfRow(int band, int y) {
  const Band rows = bands_[static_cast<std::size_t>(band)];
  std::vector<std::int32_t>& roots = roots_[static_cast<std::size_t>(band)];
  for (int x = 0, p = y * width_; x < width_; ++x, ++p) {
    GridFlow::Node& n = flow_.record(p);
    if (x + 1 < width_) pushAlongPair(n, flow_.record(p + 1), GridFlow::kRight);
    if (y + 1 < rows.endRow) pushAlongPair(n, flow_.record(p + width_), GridFlow::kDown);
    // p's residual is final once its right and lower pairs are done.
    flow_.openRecord(p);
    if (n.terminal > 0) roots.push_back(p);
  }
}

// Opens the nodes of the rectangle [x0, x1) x [y0, y1) inside one band, from
// the kept halves: each node as openNode would, but each pair inside the
// rectangle worked out once for both its ends, row by row, the terms
// reaching a node in the order openNode adds them (the pair above, the pair
// on the left, the data, its own two pairs), so the bits are openNode's.
template <bool kScaled>
void RecycledGridMoves::openRectangle(int band, int x0, int y0, int x1, int y1) {
  const int alpha = move_.alpha;
  const int* labels = move_.labels;
  const std::uint16_t* halves = move_.halves;
  const std::size_t stride = static_cast<std::size_t>(labelCount_);
  const float* pairs = move_.costs.pairTable;
  const float* alphaRow = pairs + static_cast<std::size_t>(alpha) * stride;
  // A record's terminal gathers what its upper and left pairs add, as in
  // writeBand.
  auto gathered = [this](int q) -> float& { return flow_.record(q).terminal; };
  const float* labelCosts = labelCosts_.get();
  const Band rows = bands_[static_cast<std::size_t>(band)];
  const bool joinsBelowBand = band + 1 < static_cast<int>(bands_.size());
  std::vector<std::int32_t>& roots = roots_[static_cast<std::size_t>(band)];
  float ignored = 0.0f;
  // What the pairs above the rectangle add to its first row.
  for (int x = x0, p = y0 * width_ + x0; x < x1; ++x, ++p) {
    gathered(p) = 0.0f;
    float up = 0.0f;
    if (y0 > 0) {
      const int o = p - width_;
      const int lo = labels[o];
      up = pairResiduals(pairs + static_cast<std::size_t>(lo) * stride, alphaRow, alpha, lo != alpha, labels[p],
                         kScaled ? move_.costs.vertical[o] : 1.0f, true,
                         fromHalf(halves[2 * static_cast<std::size_t>(o) + 1]), ignored, gathered(p))
               .backward;
    }
    // The pair joining the band to the one above stays at zero until the join.
    flow_.record(p).residual[GridFlow::kUp] = y0 == rows.firstRow ? 0.0f : up;
  }
  for (int y = y0; y < y1; ++y) {
    const float* alphaCosts = dataCosts_->plane(y, alpha);
    const bool lastRow = y + 1 == y1;
    const bool joinsBelow = y + 1 == rows.endRow && joinsBelowBand;
    int p = y * width_ + x0;
    float left = 0.0f;
    if (x0 > 0) {
      const int o = p - 1;
      const int lo = labels[o];
      left = pairResiduals(pairs + static_cast<std::size_t>(lo) * stride, alphaRow, alpha, lo != alpha, labels[p],
                           kScaled ? move_.costs.horizontal[o] : 1.0f, true,
                           fromHalf(halves[2 * static_cast<std::size_t>(o)]), ignored, gathered(p))
                 .backward;
    }
    flow_.record(p).residual[GridFlow::kLeft] = left;
    for (int x = x0; x < x1; ++x, ++p) {
      const int lp = labels[p];
      const bool activeP = lp != alpha;
      GridFlow::Node& n = flow_.record(p);
      float r = n.terminal;
      if (activeP) r += labelCosts[p] - alphaCosts[x];
      const float* keepRow = pairs + static_cast<std::size_t>(lp) * stride;
      const std::size_t slot = 2 * static_cast<std::size_t>(p);
      float right = 0.0f;
      float capacityRight = 0.0f;
      if (x + 1 < width_) {
        const bool inside = x + 1 < x1;
        const PairResiduals pair =
            pairResiduals(keepRow, alphaRow, alpha, activeP, labels[p + 1], kScaled ? move_.costs.horizontal[p] : 1.0f,
                          true, fromHalf(halves[slot]), r, inside ? gathered(p + 1) : ignored);
        right = pair.forward;
        capacityRight = pair.capacity;
        if (inside) flow_.record(p + 1).residual[GridFlow::kLeft] = pair.backward;
      }
      float down = 0.0f;
      float capacityDown = 0.0f;
      if (y + 1 < height_) {
        const bool inside = !lastRow;
        if (inside) gathered(p + width_) = 0.0f;
        const PairResiduals pair = pairResiduals(
            keepRow, alphaRow, alpha, activeP, labels[p + width_], kScaled ? move_.costs.vertical[p] : 1.0f, true,
            fromHalf(halves[slot + 1]), r, inside ? gathered(p + width_) : ignored);
        down = joinsBelow ? 0.0f : pair.forward;
        capacityDown = pair.capacity;
        if (inside) flow_.record(p + width_).residual[GridFlow::kUp] = pair.backward;
      }
      capacities_[slot] = capacityRight;
      capacities_[slot + 1] = capacityDown;
      n.residual[GridFlow::kRight] = right;
      n.residual[GridFlow::kDown] = down;
      n.terminal = activeP ? r : 0.0f;
      flow_.openRecord(p);
      if (n.terminal > 0) roots.push_back(p);
    }
  }
  opened_[static_cast<std::size_t>(band)] += static_cast<std::int64_t>(x1 - x0) * (y1 - y0);
}

void RecycledGridMoves::openChangedAndRoots(int band) {
  const Band rows = bands_[static_cast<std::size_t>(band)];
  std::vector<std::int32_t>& roots = roots_[static_cast<std::size_t>(band)];
  // The tiles come in tile order: a run of them side by side in one tile
  // row is opened as one rectangle, whose rows are read in longer strides.
  for (std::size_t k = 0; k < changedTiles_.size();) {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    tiles_.bounds(changedTiles_[k], x0, y0, x1, y1);
    std::size_t next = k + 1;
    for (; next < changedTiles_.size() && changedTiles_[next] == changedTiles_[next - 1] + 1; ++next) {
      int nx0 = 0, ny0 = 0, nx1 = 0, ny1 = 0;
      tiles_.bounds(changedTiles_[next], nx0, ny0, nx1, ny1);
      if (ny0 != y0) break;
      x1 = nx1;
    }
    k = next;
    y0 = std::max(y0, rows.firstRow);
    y1 = std::min(y1, rows.endRow);
    if (y0 >= y1) continue;
    if (move_.scaled) {
      openRectangle<true>(band, x0, y0, x1, y1);
    } else {
      openRectangle<false>(band, x0, y0, x1, y1);
    }
  }
  auto open = [&](std::int32_t p) {
    openNode(p);
    if (flow_.record(p).terminal > 0) roots.push_back(p);
  };
  // Elsewhere the kept roots are all the roots there are.
  for (const std::int32_t p : kept_.roots(move_.alpha)) {
    const int y = p / width_;
    if (y < rows.firstRow || y >= rows.endRow || tiles_.listed(p - y * width_, y)) continue;
    open(p);
  }
  // Whatever the order the tiles came in, the search takes its roots in
  // pixel order, as a move written whole does.
  std::sort(roots.begin(), roots.end());
}

template <bool kScaled>
void RecycledGridMoves::restoreJoiningPairs() {
  const int alpha = move_.alpha;
  const std::size_t stride = static_cast<std::size_t>(labelCount_);
  const float* alphaRow = move_.costs.pairTable + static_cast<std::size_t>(alpha) * stride;
  const int* labels = move_.labels;
  const bool recycled = move_.start != Start::None;
  for (std::size_t j = 0; j < joiningUpper_.size(); ++j) {
    const std::int32_t p = joiningUpper_[j];
    const std::int32_t q = p + width_;
    const bool openP = flow_.isOpen(p);
    const bool openQ = flow_.isOpen(q);
    if (!openP && !openQ) continue;
    const int lp = labels[p];
    float ignored = 0.0f;
    float alsoIgnored = 0.0f;
    const PairResiduals pair = pairResiduals(move_.costs.pairTable + static_cast<std::size_t>(lp) * stride, alphaRow,
                                             alpha, lp != alpha, labels[q], kScaled ? move_.costs.vertical[p] : 1.0f,
                                             recycled, joiningFlows_[j], ignored, alsoIgnored);
    if (openP) flow_.record(p).residual[GridFlow::kDown] = pair.forward;
    if (openQ) flow_.record(q).residual[GridFlow::kUp] = pair.backward;
  }
}

void RecycledGridMoves::solveBandsAndJoin() {
  const bool scaled = move_.scaled;
  if (!move_.lazy) {
    for (std::size_t k = 1; k < bands_.size(); ++k) {
      if (scaled) {
        startBandFromAbove<true>(static_cast<int>(k));
      } else {
        startBandFromAbove<false>(static_cast<int>(k));
      }
    }
  }
  const bool openWhileWriting = move_.start == Start::Kept;
  forEachBand([&](int k) {
    if (move_.lazy) {
      openChangedAndRoots(k);
    } else {
      writeBandFrom(k, openWhileWriting);
    }
    const Band rows = bands_[static_cast<std::size_t>(k)];
    flow_.solveRegion(rows.firstRow, rows.endRow, roots_[static_cast<std::size_t>(k)],
                      *regions_[static_cast<std::size_t>(k)]);
  });
  if (bands_.size() > 1) {
    if (scaled) {
      restoreJoiningPairs<true>();
    } else {
      restoreJoiningPairs<false>();
    }
    move_.joined = true;
    flow_.joinRegions(regionPointers_, joiningUpper_);
  }
}

template <bool kKeepUntouched>
inline void RecycledGridMoves::readNode(int p, int x, int y, std::uint16_t* halves, int band) {
  const GridFlow::Node& n = flow_.record(p);
  if (halves != nullptr) {
    const std::size_t slot = 2 * static_cast<std::size_t>(p);
    // The flow of a pair is its capacity less what is left of it. A pair no
    // flow was pushed along keeps its half as it was: its flow is the one
    // the move started from.
    if (x + 1 >= width_) {
      halves[slot] = 0;
    } else if (!kKeepUntouched || (n.flowChanged & (1u << GridFlow::kRight)) != 0) {
      const float f = capacities_[slot] - n.residual[GridFlow::kRight];
      halves[slot] = half_detail::encode(f, roundingSide(n.terminal, flow_.record(p + 1).terminal));
    }
    if (y + 1 >= height_) {
      halves[slot + 1] = 0;
    } else if (!kKeepUntouched || (n.flowChanged & (1u << GridFlow::kDown)) != 0) {
      const float f = capacities_[slot + 1] - n.residual[GridFlow::kDown];
      halves[slot + 1] = half_detail::encode(f, roundingSide(n.terminal, flow_.record(p + width_).terminal));
    }
  }
  const int alpha = move_.alpha;
  int* labels = move_.labels;
  if (labels[p] != alpha && flow_.sourceSide(p)) {
    labels[p] = alpha;
    labelCosts_[static_cast<std::size_t>(p)] = dataCosts_->plane(y, alpha)[x];
    labelsSeen_[p] = alpha;
    changed_[static_cast<std::size_t>(band)].push_back(p);
  }
}

void RecycledGridMoves::readBack(int band, std::uint16_t* halves, bool keepUntouched, bool inOrder) {
  if (keepUntouched) {
    readBackKeeping<true>(band, halves, inOrder);
  } else {
    readBackKeeping<false>(band, halves, inOrder);
  }
}

template <bool kKeepUntouched>
void RecycledGridMoves::readBackKeeping(int band, std::uint16_t* halves, bool inOrder) {
  if (inOrder) {
    const Band rows = bands_[static_cast<std::size_t>(band)];
    for (int y = rows.firstRow, p = rows.firstRow * width_; y < rows.endRow; ++y) {
      for (int x = 0; x < width_; ++x, ++p) readNode<kKeepUntouched>(p, x, y, halves, band);
    }
    return;
  }
  // Only the nodes the search reached can have changed side or flow.
  for (const std::int32_t p : flow_.reached(*regions_[static_cast<std::size_t>(band)])) {
    const int y = p / width_;
    readNode<kKeepUntouched>(p, p - y * width_, y, halves, band);
  }
}

void RecycledGridMoves::noteChangedLabels() {
  for (const std::vector<std::int32_t>& pixels : changed_) {
    for (const std::int32_t p : pixels) {
      const int y = p / width_;
      tiles_.markPixel(p - y * width_, y, startedAt_[static_cast<std::size_t>(move_.alpha)]);
    }
  }
}

void RecycledGridMoves::keepRoots(std::uint16_t* halves) {
  if (++visit_ == 0) {
    std::fill(visited_.get(), visited_.get() + pixelCount_, std::uint8_t{0});
    visit_ = 1;
  }
  // Each band lists and drains the roots of its own rows, away from the
  // others: a drain reads the pairs up to two rows above its root and one
  // below, and writes them only in its root's row and the one above, so the
  // roots more than kDrainMargin rows from every other band touch nothing
  // another band's do. The roots near a joint are drained afterwards, one
  // after the other in pixel order. The split is the bands', not the
  // threads', so the roots kept do not depend on the thread count.
  forEachBand([&](int k) { listAndDrainBandRoots(k, halves); });
  newRoots_.clear();
  for (std::size_t k = 0; k < bands_.size(); ++k) {
    for (const std::int32_t p : jointRoots_[k]) {
      if (!drainRoot(p, halves)) newRoots_.push_back(p);
    }
  }
  for (const std::vector<std::int32_t>& roots : bandRoots_)
    newRoots_.insert(newRoots_.end(), roots.begin(), roots.end());
  std::sort(newRoots_.begin(), newRoots_.end());
  kept_.setRoots(move_.alpha, newRoots_);
}

void RecycledGridMoves::listAndDrainBandRoots(int band, std::uint16_t* halves) {
  const int* labels = move_.labels;
  const Band rows = bands_[static_cast<std::size_t>(band)];
  std::vector<std::int32_t>& roots = bandRoots_[static_cast<std::size_t>(band)];
  std::vector<std::int32_t>& nearJoint = jointRoots_[static_cast<std::size_t>(band)];
  roots.clear();
  nearJoint.clear();
  // A root at the move's start either took alpha or pushed flow out, and a
  // node whose pairs carry the flow they started with, amid labels that did
  // not change, starts the next move with the residual it started this one
  // with: only the nodes that pushed flow and the neighbours of changed
  // labels can be roots now.
  const std::int32_t first = rows.firstRow * width_;
  const std::int32_t end = rows.endRow * width_;
  auto visit = [&](std::int32_t q) {
    if (q < first || q >= end || visited_[static_cast<std::size_t>(q)] == visit_) return;
    visited_[static_cast<std::size_t>(q)] = visit_;
    if (startTerminal(q, labels, halves) > 0) roots.push_back(q);
  };
  // A band's search reaches only its rows, and the joined search's nodes
  // are listed with the first band's; so are the labels they changed. The
  // neighbours of a changed label may lie one band up or down.
  const int bandCount = static_cast<int>(bands_.size());
  const int listed[] = {band, band == 0 ? -1 : 0};
  for (const int k : listed) {
    if (k < 0) continue;
    for (const std::int32_t p : flow_.reached(*regions_[static_cast<std::size_t>(k)])) {
      if (p >= first && p < end && flow_.record(p).flowChanged != 0) visit(p);
    }
  }
  const int near[] = {band - 1, band, band + 1, band > 1 ? 0 : -1};
  for (const int k : near) {
    if (k < 0 || k >= bandCount) continue;
    for (const std::int32_t p : changed_[static_cast<std::size_t>(k)]) {
      if (p < first - width_ || p >= end + width_) continue;
      const int y = p / width_;
      const int x = p - y * width_;
      if (x + 1 < width_) visit(p + 1);
      if (y + 1 < height_) visit(p + width_);
      if (x > 0) visit(p - 1);
      if (y > 0) visit(p - width_);
    }
  }
  // Most of these are left by rounding alone: a node the search left with
  // no residual at all gets its pairs' rounding errors back. Where a
  // neighbour has sink residual to spare, a flow one half larger towards it
  // drains the node, and the next move need not open it.
  std::sort(roots.begin(), roots.end());
  const int interiorFirst = band == 0 ? 0 : rows.firstRow + kDrainMargin;
  const int interiorEnd = band + 1 == static_cast<int>(bands_.size()) ? height_ : rows.endRow - kDrainMargin;
  std::size_t kept = 0;
  for (const std::int32_t p : roots) {
    const int y = p / width_;
    if (y < interiorFirst || y >= interiorEnd) {
      nearJoint.push_back(p);
    } else if (!drainRoot(p, halves)) {
      roots[kept++] = p;
    }
  }
  roots.resize(kept);
}

std::vector<std::int32_t> RecycledGridMoves::startRoots(int label, int* labels, const Costs& costs) {
  std::vector<std::int32_t> roots;
  const std::uint16_t* halves = kept_.flows(label);
  if (halves == nullptr) return roots;
  const Move saved = move_;
  move_ = Move{};
  move_.alpha = label;
  move_.labels = labels;
  move_.costs = costs;
  move_.scaled = costs.horizontal != nullptr && costs.vertical != nullptr;
  for (int p = 0; p < pixelCount_; ++p) {
    if (startTerminal(p, labels, halves) > 0) roots.push_back(p);
  }
  move_ = saved;
  return roots;
}

bool RecycledGridMoves::drainRoot(int p, std::uint16_t* halves) {
  const int* labels = move_.labels;
  TerminalTerms atP = terminalTerms(p, labels, halves);
  float rp = atP.sum();
  const int y = p / width_;
  const int x = p - y * width_;
  struct Way {
    bool exists;
    int q;
    int d;  // from p towards q
    std::size_t slot;
    bool up;  // p sends more along the pair when its half goes up
  };
  const Way ways[4] = {
      {x + 1 < width_, p + 1, GridFlow::kRight, 2 * static_cast<std::size_t>(p), true},
      {y + 1 < height_, p + width_, GridFlow::kDown, 2 * static_cast<std::size_t>(p) + 1, true},
      {x > 0, p - 1, GridFlow::kLeft, 2 * static_cast<std::size_t>(p - 1), false},
      {y > 0, p - width_, GridFlow::kUp, 2 * static_cast<std::size_t>(p - width_) + 1, false},
  };
  for (const Way& way : ways) {
    if (!way.exists || labels[way.q] == move_.alpha) continue;
    TerminalTerms atQ = terminalTerms(way.q, labels, halves);
    if (!(atQ.sum() < 0)) continue;
    for (int step = 0; step < kDrainSteps && rp > 0; ++step) {
      const std::uint16_t before = halves[way.slot];
      const std::uint16_t next = nextHalf(before, way.up);
      atP.setFlow(way.d, fromHalf(next));
      atQ.setFlow(way.d ^ 2, fromHalf(next));
      const float drained = atP.sum();
      // The neighbour must stay without source residual, and the step must
      // help (it does not beyond the pair's capacity).
      if (!(drained < rp) || atQ.sum() > 0) {
        atP.setFlow(way.d, fromHalf(before));
        break;
      }
      halves[way.slot] = next;
      rp = drained;
    }
    if (!(rp > 0)) return true;
  }
  return false;
}

bool RecycledGridMoves::decideLazy(int alpha) {
  changedTiles_.clear();
  if (move_.start != Start::Kept) return false;
  tiles_.listChangedAfter(startedAt_[static_cast<std::size_t>(alpha)], changedTiles_);
  if (!lazyMoves_ || !kept_.rootsKnown(alpha)) return false;
  return static_cast<double>(changedTiles_.size()) <= kLazyShare * tiles_.tileCount();
}

bool RecycledGridMoves::expand(int alpha, int* labels, const Costs& costs) {
  if (costs.pairTable != lastCosts_.pairTable || costs.horizontal != lastCosts_.horizontal ||
      costs.vertical != lastCosts_.vertical) {
    kept_.forgetAllRoots();
    lastCosts_ = costs;
  }
  move_ = Move{};
  move_.alpha = alpha;
  move_.labels = labels;
  move_.costs = costs;
  move_.scaled = costs.horizontal != nullptr && costs.vertical != nullptr;
  bool kept = false;
  decideStart(alpha, kept);
  const std::int64_t now = ++clock_;
  move_.lazy = decideLazy(alpha);

  flow_.beginSolve(move_.lazy ? this : nullptr);
  // Read before any band is written (a borrowed start reads the graph).
  for (std::size_t j = 0; j < joiningUpper_.size(); ++j) {
    joiningFlows_[j] = startFlow(2 * static_cast<std::size_t>(joiningUpper_[j]) + 1);
  }
  for (std::size_t k = 0; k < bands_.size(); ++k) {
    roots_[k].clear();
    opened_[k] = 0;
    changed_[k].clear();
  }
  solveBandsAndJoin();
  if (kept) {
    ++counts_.recycled;
  } else if (lastSolved_ >= 0) {
    ++counts_.borrowed;
  } else {
    ++counts_.fresh;
  }
  if (move_.lazy) {
    ++counts_.lazy;
    for (const std::int64_t opened : opened_) counts_.lazyNodesOpened += opened;
  }

  std::size_t reached = 0;
  for (const std::unique_ptr<GridFlow::Region>& region : regions_) reached += flow_.reached(*region).size();
  // A move started from another flow must store every pair's new one.
  const bool inOrder = !kept || (!move_.lazy && static_cast<double>(reached) > kReadReachedShare * pixelCount_);
  bool fresh = false;
  std::uint16_t* halves = kept_.flowsToWrite(alpha, fresh);
  // A label's first flow has its pages made present by the bands, each its
  // own rows', just before they write them (a fresh flow is read in order,
  // so a band writes only its rows' halves).
  std::atomic<bool> refused{false};
  forEachBand([&](int k) {
    std::uint16_t* into = halves;
    if (fresh) {
      const Band rows = bands_[static_cast<std::size_t>(k)];
      const std::size_t first = 2 * static_cast<std::size_t>(rows.firstRow) * static_cast<std::size_t>(width_);
      const std::size_t end = 2 * static_cast<std::size_t>(rows.endRow) * static_cast<std::size_t>(width_);
      if (!kept_.makePresent(alpha, first, end)) {
        refused = true;
        into = nullptr;
      }
    }
    readBack(k, into, kept, inOrder);
  });
  if (refused) {
    kept_.refuseFlows(alpha);
    halves = nullptr;
  }
  startedAt_[static_cast<std::size_t>(alpha)] = now;
  noteChangedLabels();
  int& recycled = recycledMoves_[static_cast<std::size_t>(alpha)];
  if (kept) ++recycled;
  if (halves != nullptr && kept && recycled >= kRootsFromRecycledMove &&
      static_cast<double>(reached) <= kRootsShare * pixelCount_) {
    keepRoots(halves);
  } else {
    kept_.forgetRoots(alpha);
  }
  lastSolved_ = alpha;
  graphComplete_ = !move_.lazy;
  for (const std::vector<std::int32_t>& pixels : changed_) {
    if (!pixels.empty()) return true;
  }
  return false;
}

}  // namespace orbelt
