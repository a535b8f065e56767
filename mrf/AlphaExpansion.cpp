#include "mrf/AlphaExpansion.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <type_traits>
#include <utility>

#include "maxflow/FlowGraph.h"
#include "mrf/CuttablePair.h"
#include "platform/ProcessServices.h"

namespace orbelt {

namespace {

using NodeId = FlowGraph::NodeId;

// How many pixels ahead the move fetches a pixel's data costs.
constexpr int kPrefetchDistance = 24;

// Adds the pair term of two active pixels to the graph. Node i is the pixel
// being handled (the earlier one, always the tail), node j its right or lower
// neighbour. The costs are named by what (i, j) do: k keeps its label, a takes
// alpha. A node on the source side takes alpha, on the sink side it keeps.
void addPairTerm(FlowGraph& graph, NodeId i, NodeId j, float ekk, float eka, float eak, float eaa) {
  makePairCuttable(ekk, eka, eak, eaa);
  graph.addTerminalCapacities(i, ekk, eaa);
  const float dak = eak - eaa;
  const float dka = eka - ekk;
  if (dak < 0) {
    graph.addTerminalCapacities(i, 0, dak);
    graph.addTerminalCapacities(j, 0, -dak);
    graph.addArcPair(i, j, 0, dka + dak);
  } else if (dka < 0) {
    graph.addTerminalCapacities(i, 0, -dka);
    graph.addTerminalCapacities(j, 0, dka);
    graph.addArcPair(i, j, dka + dak, 0);
  } else {
    graph.addArcPair(i, j, dak, dka);
  }
}

}  // namespace

AlphaExpansion::AlphaExpansion(int width, int height, int labelCount, EnergyTerms* terms)
    : GraphCutSolver(width, height, labelCount, terms) {}

void AlphaExpansion::setShuffleClock(ShuffleClock clock) { shuffleClock = std::move(clock); }

void AlphaExpansion::fixLabelOrderSeed(std::uint32_t seed) {
  shuffleClock = [seed, sweep = std::uint32_t{0}]() mutable -> std::int64_t {
    return static_cast<std::uint32_t>(seed + sweep++);
  };
}

void AlphaExpansion::setShuffleGenerator(ShuffleGenerator generator) { shuffleGenerator = std::move(generator); }

void AlphaExpansion::setMoveObserver(MoveObserver observer) { moveObserver = std::move(observer); }

double AlphaExpansion::runSweeps(int maxSweeps) {
  double energy = totalEnergy();
  // The comparison is made against the previous total rounded to float, so a
  // sweep that gains less than float resolution ends the loop; the sweep
  // count bounds it whatever the energies do (negative ones included).
  float previous = static_cast<float>(energy);
  energy = expansionSweep();
  int count = 1;
  while (previous > energy && count < maxSweeps) {
    previous = static_cast<float>(energy);
    energy = expansionSweep();
    ++count;
  }
  return energy;
}

double AlphaExpansion::expansionSweep() {
  abortIf(dataForm == CostForm::NotSet, "You have to set up the data cost before running optimization");
  abortIf(smoothForm == CostForm::NotSet, "You have to set up the smoothness cost before running optimization");
  if (randomLabelOrder) shuffleLabelOrder();
  const bool skippable = startSkippableSweep();
  // The grid moves read a copy of the data costs: renew it when they changed.
  // (A skippable sweep has just taken the costs' fingerprint.)
  if (gridMovesUsable()) syncGridCosts(skippable ? &fingerprintAfterSweep : nullptr);
  insideSweep = true;
  for (int i = 0; i < labelCount; ++i) {
    const int alpha = labelOrder[i];
    if (skippable && idleInGeneration[alpha] == generation) {
      // Same labels, same costs, and last time this move changed nothing.
      ++counts.skipped;
    } else {
      const bool changed = expandLabel(alpha);
      ++counts.solved;
      if (skippable) {
        if (changed) {
          ++generation;
        } else {
          idleInGeneration[alpha] = generation;
        }
      }
    }
    if (moveObserver) moveObserver(i + 1, labelCount);
  }
  insideSweep = false;
  if (skippable) {
    std::memcpy(labelsAfterSweep.get(), labels.get(), static_cast<std::size_t>(pixelCount) * sizeof(int));
    haveSweepSnapshot = true;
  }
  return totalEnergy();
}

bool AlphaExpansion::startSkippableSweep() {
  // A function may answer differently from one call to the next; only
  // tables can be compared.
  if (dataForm != CostForm::Table || smoothForm == CostForm::Function || pixelCount == 0) return false;
  if ((dataTable == nullptr && adoptedData.empty()) || pairTable == nullptr) return false;
  if (useMultipliers && (horizontalMultipliers == nullptr || verticalMultipliers == nullptr)) return false;
  if (!idleInGeneration) {
    // Skipping is an optimisation: without the memory for it every move is
    // simply solved.
    idleInGeneration.reset(new (std::nothrow) std::uint64_t[static_cast<std::size_t>(labelCount)]());
    labelsAfterSweep.reset(new (std::nothrow) int[static_cast<std::size_t>(pixelCount)]);
    if (!idleInGeneration || !labelsAfterSweep) {
      idleInGeneration.reset();
      labelsAfterSweep.reset();
      return false;
    }
  }
  const std::uint64_t fingerprint = costFingerprint();
  if (!haveSweepSnapshot || fingerprint != fingerprintAfterSweep ||
      std::memcmp(labelsAfterSweep.get(), labels.get(), static_cast<std::size_t>(pixelCount) * sizeof(int)) != 0) {
    ++generation;
    fingerprintAfterSweep = fingerprint;
  }
  return true;
}

namespace {

// Fingerprint of an array of floats, by bit pattern: four independent
// multiply-xor lanes over 64-bit words, so that hashing a cost table runs at
// memory speed.
void mixFloats(std::uint64_t lanes[4], const float* values, std::size_t count) {
  constexpr std::uint64_t kPrime = 0x9E3779B97F4A7C15ull;
  const auto* bytes = reinterpret_cast<const unsigned char*>(values);
  const std::size_t size = count * sizeof(float);
  std::size_t k = 0;
  for (; k + 32 <= size; k += 32) {
    for (int lane = 0; lane < 4; ++lane) {
      std::uint64_t word;
      std::memcpy(&word, bytes + k + 8 * lane, 8);
      lanes[lane] = (lanes[lane] ^ word) * kPrime;
      lanes[lane] ^= lanes[lane] >> 29;
    }
  }
  for (; k < size; k += 4) {
    std::uint32_t word;
    std::memcpy(&word, bytes + k, 4);
    lanes[0] = (lanes[0] ^ word) * kPrime;
    lanes[0] ^= lanes[0] >> 29;
  }
  lanes[1] ^= size;
}

}  // namespace

std::uint64_t AlphaExpansion::costFingerprint() const {
  std::uint64_t lanes[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull, 0x082EFA98EC4E6C89ull};
  const std::size_t pixels = static_cast<std::size_t>(pixelCount);
  const std::size_t n = static_cast<std::size_t>(labelCount);
  if (adoptedData.empty()) {
    mixFloats(lanes, dataTable, pixels * n);
  } else {
    // Adopted costs are the solver's own: only another adoption changes them.
    lanes[2] ^= adoptions * 0x9E3779B97F4A7C15ull;
  }
  mixFloats(lanes, pairTable, n * n);
  if (useMultipliers) {
    mixFloats(lanes, horizontalMultipliers, pixels);
    mixFloats(lanes, verticalMultipliers, pixels);
  }
  std::uint64_t h = lanes[0];
  for (int lane = 1; lane < 4; ++lane) h = (h ^ lanes[lane]) * 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 31);
}

void AlphaExpansion::shuffleLabelOrder() {
  const std::int64_t reading = shuffleClock ? shuffleClock() : processClockMs();
  const auto seed = static_cast<std::uint32_t>(reading);
  const auto n = static_cast<std::uint32_t>(labelCount);
  // i is drawn before j: with a fixed generator the order is part of the result.
  auto permute = [&](auto&& next) {
    for (int k = 0; k < 2 * labelCount; ++k) {
      const auto i = static_cast<int>(next() % n);
      const auto j = static_cast<int>(next() % n);
      std::swap(labelOrder[i], labelOrder[j]);
    }
  };
  if (shuffleGenerator) {
    std::function<std::uint32_t()> next = shuffleGenerator(seed);
    permute(next);
  } else {
    std::mt19937 generator(seed);
    permute(generator);
  }
}

void AlphaExpansion::setFlowRecycling(bool enabled) {
  flowRecycling = enabled;
  if (!enabled) {
    gridMoves.reset();
    gridCosts = RowPlanarCosts();
    gridCostsLoaded = false;
  }
}

void AlphaExpansion::setRecyclingMemoryLimit(std::uint64_t bytes) {
  recyclingLimit = bytes;
  recyclingRefused = false;
  if (!gridMoves) return;
  if (recyclingBaseBytes() > bytes) {
    gridMoves.reset();
    gridCosts = RowPlanarCosts();
    gridCostsLoaded = false;
  } else {
    gridMoves->setKeptFlowBudget(bytes - recyclingBaseBytes());
  }
}

std::uint64_t AlphaExpansion::recyclingBaseBytes() const {
  // The moves read a row-planar copy of the caller's table, or the adopted
  // costs themselves.
  const std::uint64_t copy = !adoptedData.empty()
                                 ? 0
                                 : static_cast<std::uint64_t>(pixelCount) * static_cast<std::uint64_t>(labelCount) *
                                       static_cast<std::uint64_t>(sizeof(float));
  return RecycledGridMoves::baseStateBytes(width, height) + copy;
}

int AlphaExpansion::keptFlowLabels() const { return gridMoves ? gridMoves->keptFlowLabels() : 0; }

void AlphaExpansion::setFlowObserver(FlowObserver* observer) {
  flowObserver = observer;
  moveGraph.setObserver(observer);
  if (gridMoves) gridMoves->setObserver(observer);
}

void AlphaExpansion::setThreadCount(int threads) {
  if (threads <= 0) {
    const unsigned hardware = std::thread::hardware_concurrency();
    threads = hardware == 0 ? 1 : static_cast<int>(hardware);
  }
  threadCount = threads;
  if (gridMoves) gridMoves->setThreadCount(threads);
}

RecycledGridMoves::MoveCounts AlphaExpansion::recycledMoveCounts() const {
  return gridMoves ? gridMoves->moveCounts() : RecycledGridMoves::MoveCounts{};
}

bool AlphaExpansion::gridMovesUsable() {
  if (!flowRecycling || recyclingRefused || pixelCount == 0) return false;
  // Functions may answer differently from call to call and are called in an
  // order their callers may rely on: they keep the fresh way.
  if (dataForm != CostForm::Table || smoothForm == CostForm::Function) return false;
  if ((dataTable == nullptr && adoptedData.empty()) || pairTable == nullptr) return false;
  if (useMultipliers && (horizontalMultipliers == nullptr || verticalMultipliers == nullptr)) return false;
  if (gridMoves) return true;
  if (recyclingBaseBytes() > recyclingLimit) {
    recyclingRefused = true;
    return false;
  }
  std::unique_ptr<RecycledGridMoves> moves(new (std::nothrow) RecycledGridMoves);
  if (!moves || !moves->prepare(width, height, labelCount)) {
    // Recycling only saves time: without its memory the moves are solved fresh.
    recyclingRefused = true;
    return false;
  }
  moves->setKeptFlowBudget(recyclingLimit - recyclingBaseBytes());
  gridMoves = std::move(moves);
  gridMoves->setObserver(flowObserver);
  gridMoves->setThreadCount(threadCount);
  gridCostsLoaded = false;
  try {
    syncGridCosts();
  } catch (const std::bad_alloc&) {
    gridMoves.reset();
    recyclingRefused = true;
    return false;
  }
  return true;
}

void AlphaExpansion::syncGridCosts(const std::uint64_t* knownFingerprint) {
  const std::uint64_t fingerprint = knownFingerprint != nullptr ? *knownFingerprint : costFingerprint();
  if (!gridCostsLoaded || fingerprint != gridCostsFingerprint) {
    if (adoptedData.empty()) {
      gridCosts.copyFrom(dataTable, width, height, labelCount);
      gridMoves->setDataCosts(&gridCosts);
    } else {
      // Read where they are: no copy.
      gridCosts = RowPlanarCosts();
      gridMoves->setDataCosts(&adoptedData);
    }
    gridCostsFingerprint = fingerprint;
    gridCostsLoaded = true;
  }
  // The caller may have set labels since the last move.
  gridMoves->loadLabelCosts(labels.get());
}

bool AlphaExpansion::expandLabel(int alpha) { return gridMovesUsable() ? expandOnGrid(alpha) : expandFresh(alpha); }

bool AlphaExpansion::expandOnGrid(int alpha) {
  // Outside a sweep nothing says the costs are those of the last move.
  if (!insideSweep) syncGridCosts();
  const RecycledGridMoves::Costs costs{pairTable, useMultipliers ? horizontalMultipliers : nullptr,
                                       useMultipliers ? verticalMultipliers : nullptr};
  try {
    return gridMoves->expand(alpha, labels.get(), costs);
  } catch (...) {
    // A graph that failed mid-search is not reused: the next move starts
    // the grid state anew (the labels are untouched until a move ends).
    gridMoves.reset();
    throw;
  }
}

bool AlphaExpansion::expandFresh(int alpha) {
  // Only pixels not yet at alpha can change; they alone get nodes.
  int activeCount = 0;
  for (int p = 0; p < pixelCount; ++p) {
    if (labels[p] != alpha) activePixels[activeCount++] = p;
  }
  if (activeCount == 0) return false;

  // One graph serves every move: clearing keeps its blocks mapped and warm.
  FlowGraph& graph = moveGraph;
  graph.clear();
  // Node i is the i-th active pixel: createNodes hands out 0, 1, 2, ... in
  // order, so the node handle is the list index and needs no array.
  graph.createNodes(activeCount);
  addFreshMoveTerms(graph, alpha, activeCount);
  graph.computeMaxFlow();

  // Nodes were created in increasing pixel order; the source side takes alpha.
  bool changed = false;
  int k = 0;
  for (int p = 0; p < pixelCount; ++p) {
    if (labels[p] == alpha) continue;
    if (graph.sideOf(k++) == CutSide::SourceSide) {
      labels[p] = alpha;
      changed = true;
    }
  }
  return changed;
}

namespace {

// How the fresh way reads a data term, for addMoveTerms: from a pixel-major
// table, from adopted row planes, or not at all (a data function's terms are
// added in a pass of their own).
struct TableData {
  const float* table;
  std::size_t stride;
  // The loop body is long, so the processor does not run far enough ahead
  // to hide the table's misses: the move fetches a few pixels early.
  static constexpr bool kPrefetch = true;
  const float* row(int p, int /*x*/, int /*y*/) const { return table + static_cast<std::size_t>(p) * stride; }
  float cost(const float* row, int label) const { return row[label]; }
};
struct PlanarData {
  const RowPlanarCosts* planes;
  static constexpr bool kPrefetch = false;
  struct Row {
    int x, y;
  };
  Row row(int /*p*/, int x, int y) const { return {x, y}; }
  float cost(Row at, int label) const { return planes->plane(at.y, label)[at.x]; }
};
struct NoData {};

}  // namespace

void AlphaExpansion::addFreshMoveTerms(FlowGraph& graph, int alpha, int activeCount) {
  // Data terms: keeping the label costs D(p, Lp) (paid on the sink side),
  // taking alpha costs D(p, alpha) (paid on the source side). A table term is
  // added inside the pair loop (addMoveTerms), each node's just before its
  // pair terms: every node still receives its terminal capacities in the
  // same order (data first, then its pairs as the earlier pixel, then as the
  // later one), so every residual is the same float, and each node record is
  // touched while it is in cache. (Only the order in which the common parts
  // of different nodes add up to the flow value changes; the move never
  // reads that value.) A data function is called in its own pass first, in
  // pixel order, as callers of the function form may expect.
  const bool tableData = dataForm == CostForm::Table;
  if (!tableData) {
    for (int i = 0; i < activeCount; ++i) {
      const int p = activePixels[i];
      graph.addTerminalCapacities(i, dataFunction(p, labels[p]), dataFunction(p, alpha));
    }
  }
  const std::size_t n = static_cast<std::size_t>(labelCount);
  auto withData = [&](auto&& add) {
    if (!tableData) {
      add(NoData{});
    } else if (!adoptedData.empty()) {
      add(PlanarData{&adoptedData});
    } else {
      add(TableData{dataTable, n});
    }
  };
  // Pair terms. Multipliers scale only table costs; a pair function carries
  // its own weighting. Each form gets its own copy of the loop so that the
  // cost of a pair is a plain table read in the pipeline's case.
  const float* table = pairTable;
  if (smoothForm == CostForm::Function) {
    const PairCostFunction function = pairFunction;
    auto cost = [function](int p, int q, float, int u, int v) { return function(p, q, u, v); };
    withData([&](auto data) { addMoveTerms(graph, alpha, activeCount, data, cost); });
  } else if (useMultipliers) {
    auto cost = [table, n](int, int, float m, int u, int v) {
      return table[static_cast<std::size_t>(u) * n + static_cast<std::size_t>(v)] * m;
    };
    withData([&](auto data) { addMoveTerms(graph, alpha, activeCount, data, cost); });
  } else {
    auto cost = [table, n](int, int, float, int u, int v) {
      return table[static_cast<std::size_t>(u) * n + static_cast<std::size_t>(v)];
    };
    withData([&](auto data) { addMoveTerms(graph, alpha, activeCount, data, cost); });
  }
}

// cost(p, q, m, u, v): the pair cost of (p, q) with p labelled u and q
// labelled v; m is the pair's multiplier (1 when multipliers are off). Unless
// Data is NoData, each node's data term is added first.
template <typename Data, typename PairCost>
void AlphaExpansion::addMoveTerms(FlowGraph& graph, int alpha, int activeCount, Data data, PairCost cost) {
  const bool scaled = useMultipliers && smoothForm != CostForm::Function;
  // Pixels are handled from the last active one back to the first, so that
  // activePixels can become the pixel-to-node map in place: entry p is written
  // only after list entry p (p >= i) has been read, and the right and lower
  // neighbours of p, being later pixels, are already mapped when p looks at them.
  // The row is followed downwards with p instead of dividing by the width.
  int y = height - 1;
  int rowStart = y * width;
  for (int i = activeCount - 1; i >= 0; --i) {
    const int p = activePixels[i];
    while (p < rowStart) {
      rowStart -= width;
      --y;
    }
    const int x = p - rowStart;
    activePixels[p] = i;
    const int lp = labels[p];
    const NodeId node = i;
    if constexpr (!std::is_same_v<Data, NoData>) {
      if constexpr (Data::kPrefetch) {
        if (i >= kPrefetchDistance) {
          const int ahead = activePixels[i - kPrefetchDistance];
          const float* row = data.row(ahead, 0, 0);
          __builtin_prefetch(row + labels[ahead]);
          __builtin_prefetch(row + alpha);
        }
      }
      const auto row = data.row(p, x, y);
      graph.addTerminalCapacities(node, data.cost(row, lp), data.cost(row, alpha));
    }

    // Right and down: a neighbour at alpha folds into p's terminals; an active
    // one (already mapped) gets the full pair term from here.
    if (x < width - 1) {
      const int q = p + 1;
      const float m = scaled ? horizontalMultipliers[p] : 1.0f;
      const int lq = labels[q];
      if (lq == alpha) {
        graph.addTerminalCapacities(node, cost(p, q, m, lp, alpha), cost(p, q, m, alpha, alpha));
      } else {
        addPairTerm(graph, node, activePixels[q], cost(p, q, m, lp, lq), cost(p, q, m, lp, alpha),
                    cost(p, q, m, alpha, lq), cost(p, q, m, alpha, alpha));
      }
    }
    if (y < height - 1) {
      const int q = p + width;
      const float m = scaled ? verticalMultipliers[p] : 1.0f;
      const int lq = labels[q];
      if (lq == alpha) {
        graph.addTerminalCapacities(node, cost(p, q, m, lp, alpha), cost(p, q, m, alpha, alpha));
      } else {
        addPairTerm(graph, node, activePixels[q], cost(p, q, m, lp, lq), cost(p, q, m, lp, alpha),
                    cost(p, q, m, alpha, lq), cost(p, q, m, alpha, alpha));
      }
    }
    // Left and up: only a neighbour at alpha adds anything here; a pair with
    // an active neighbour was added when that (earlier) neighbour was handled.
    if (x > 0) {
      const int q = p - 1;
      if (labels[q] == alpha) {
        const float m = scaled ? horizontalMultipliers[q] : 1.0f;
        graph.addTerminalCapacities(node, cost(p, q, m, lp, alpha), cost(p, q, m, alpha, alpha));
      }
    }
    if (y > 0) {
      const int q = p - width;
      if (labels[q] == alpha) {
        const float m = scaled ? verticalMultipliers[q] : 1.0f;
        graph.addTerminalCapacities(node, cost(p, q, m, lp, alpha), cost(p, q, m, alpha, alpha));
      }
    }
  }
}

}  // namespace orbelt
