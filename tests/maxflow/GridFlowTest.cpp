// GridFlow against an independent max-flow (Boost's push-relabel in double
// precision) on random grids, solved whole, in two bands joined afterwards,
// with its nodes opened as the search reaches them, and again on a grid
// whose records an earlier solve left behind.
//
// With capacities that are multiples of 1/8 every float sum is exact: the
// flows must be equal and the source side exactly the smallest one of all
// minimum cuts, the set push-relabel's residual graph reaches from the
// source. With arbitrary floats the flows agree up to rounding, and the
// source side must be exactly the set reachable from the source through the
// grid's own final residuals. Opening nodes lazily must change nothing: the
// same flow, sides and residuals to the bit as opening them all first.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <random>
#include <span>
#include <vector>

#include "maxflow/GridFlow.h"
#include "tests/maxflow/BoostFlowOracle.h"
#include "tests/maxflow/RandomGraphs.h"

namespace orbelt {
namespace {

using maxflowtest::CapacityDraw;
using maxflowtest::Values;

// A grid's start state: per node its terminal residual and its residuals
// towards each neighbour (0 where there is none).
struct GridInstance {
  int width = 0;
  int height = 0;
  std::vector<float> terminal;
  std::vector<float> residual;  // 4 per node: right, down, left, up

  float& towards(int p, int d) { return residual[4 * static_cast<std::size_t>(p) + static_cast<std::size_t>(d)]; }
  float towards(int p, int d) const { return residual[4 * static_cast<std::size_t>(p) + static_cast<std::size_t>(d)]; }
};

GridInstance randomGrid(std::mt19937& random, Values values, int width, int height) {
  GridInstance g;
  g.width = width;
  g.height = height;
  const std::size_t n = static_cast<std::size_t>(width * height);
  g.terminal.assign(n, 0.0f);
  g.residual.assign(4 * n, 0.0f);
  CapacityDraw draw(random, values);
  for (int p = 0; p < width * height; ++p) {
    // Sink residual is the common case in a move, source residual rarer.
    const unsigned kind = random() % 10;
    g.terminal[static_cast<std::size_t>(p)] = kind < 3 ? draw.arc() : kind < 8 ? -draw.arc() : 0.0f;
    const int x = p % width;
    const int y = p / width;
    if (x + 1 < width) {
      g.towards(p, GridFlow::kRight) = draw.arc();
      g.towards(p + 1, GridFlow::kLeft) = draw.arc();
    }
    if (y + 1 < height) {
      g.towards(p, GridFlow::kDown) = draw.arc();
      g.towards(p + width, GridFlow::kUp) = draw.arc();
    }
  }
  return g;
}

double oracleFlow(const GridInstance& g, testing::BoostFlowOracle& oracle) {
  for (int p = 0; p < g.width * g.height; ++p) {
    const float t = g.terminal[static_cast<std::size_t>(p)];
    oracle.addTerminalCapacities(p, t > 0 ? t : 0.0, t < 0 ? -t : 0.0);
    if (p % g.width + 1 < g.width) {
      oracle.addArcPair(p, p + 1, g.towards(p, GridFlow::kRight), g.towards(p + 1, GridFlow::kLeft));
    }
    if (p / g.width + 1 < g.height) {
      oracle.addArcPair(p, p + g.width, g.towards(p, GridFlow::kDown), g.towards(p + g.width, GridFlow::kUp));
    }
  }
  return oracle.computeMaxFlow();
}

enum class Split { Whole, TwoBands };

// Opens nodes from an instance, holding the pairs between two bands at zero
// until they are joined, and counts what it opened.
class InstanceSource : public GridFlow::NodeSource {
 public:
  InstanceSource(const GridInstance& g, GridFlow& flow, int joinRow) : g_(g), flow_(flow), joinRow_(joinRow) {}
  void openNode(std::int32_t p) override {
    float r[4];
    for (int d = 0; d < 4; ++d) r[d] = g_.towards(p, d);
    const int y = p / g_.width;
    if (!joined && joinRow_ > 0 && y == joinRow_ - 1) r[GridFlow::kDown] = 0.0f;
    if (!joined && joinRow_ > 0 && y == joinRow_) r[GridFlow::kUp] = 0.0f;
    flow_.open(p, g_.terminal[static_cast<std::size_t>(p)], r[0], r[1], r[2], r[3]);
    ++opened;
  }
  bool joined = false;
  int opened = 0;

 private:
  const GridInstance& g_;
  GridFlow& flow_;
  int joinRow_;
};

// Solves g on `flow` (resized already): every node opened first, or only
// the source roots with the rest opened as reached; whole or in two bands.
// Returns the flow.
float solve(GridFlow& flow, const GridInstance& g, Split split, bool lazy, int* opened = nullptr) {
  const int joinRow = split == Split::TwoBands && g.height >= 2 ? g.height / 2 : 0;
  InstanceSource source(g, flow, joinRow);
  flow.beginSolve(lazy ? &source : nullptr);
  std::vector<std::int32_t> upper;
  std::vector<std::int32_t> lower;
  for (int p = 0; p < g.width * g.height; ++p) {
    const bool root = g.terminal[static_cast<std::size_t>(p)] > 0;
    if (!lazy || root) source.openNode(p);
    if (root) (joinRow > 0 && p / g.width >= joinRow ? lower : upper).push_back(p);
  }
  if (joinRow == 0) {
    GridFlow::Region whole;
    const float f = flow.solveRegion(0, g.height, upper, whole);
    if (opened != nullptr) *opened = source.opened;
    return f;
  }
  GridFlow::Region first;
  GridFlow::Region second;
  flow.solveRegion(0, joinRow, upper, first);
  flow.solveRegion(joinRow, g.height, lower, second);
  std::vector<std::int32_t> joining;
  for (int x = 0; x < g.width; ++x) {
    const int p = (joinRow - 1) * g.width + x;
    joining.push_back(p);
    if (flow.isOpen(p)) flow.record(p).residual[GridFlow::kDown] = g.towards(p, GridFlow::kDown);
    if (flow.isOpen(p + g.width))
      flow.record(p + g.width).residual[GridFlow::kUp] = g.towards(p + g.width, GridFlow::kUp);
  }
  source.joined = true;
  GridFlow::Region* regions[] = {&first, &second};
  const float f = flow.joinRegions(regions, joining);
  if (opened != nullptr) *opened = source.opened;
  return f;
}

// The nodes reachable from the source through nonzero residuals, from the
// grid's final records (a node never opened holds its start residuals).
std::vector<bool> reachableFromSource(const GridFlow& flow, const GridInstance& g) {
  const int n = g.width * g.height;
  auto residual = [&](int p, int d) { return flow.isOpen(p) ? flow.record(p).residual[d] : g.towards(p, d); };
  auto terminal = [&](int p) {
    return flow.isOpen(p) ? flow.record(p).terminal : g.terminal[static_cast<std::size_t>(p)];
  };
  const int offsets[4] = {1, g.width, -1, -g.width};
  std::vector<bool> reached(static_cast<std::size_t>(n), false);
  std::deque<int> queue;
  for (int p = 0; p < n; ++p) {
    if (terminal(p) > 0) {
      reached[static_cast<std::size_t>(p)] = true;
      queue.push_back(p);
    }
  }
  while (!queue.empty()) {
    const int p = queue.front();
    queue.pop_front();
    for (int d = 0; d < 4; ++d) {
      if (residual(p, d) == 0) continue;
      const int q = p + offsets[d];
      if (!reached[static_cast<std::size_t>(q)]) {
        reached[static_cast<std::size_t>(q)] = true;
        queue.push_back(q);
      }
    }
  }
  return reached;
}

void expectAgreesWithOracle(const GridFlow& flow, const GridInstance& g, float found, Values values) {
  testing::BoostFlowOracle oracle(g.width * g.height);
  const double expected = oracleFlow(g, oracle);
  if (values == Values::Eighths) {
    ASSERT_EQ(static_cast<double>(found), expected);
  } else {
    ASSERT_NEAR(found, expected, 2e-6 * (1.0 + 8.0 * 5.0 * g.width * g.height));
  }
  const std::vector<bool> reached = reachableFromSource(flow, g);
  for (int p = 0; p < g.width * g.height; ++p) {
    ASSERT_EQ(flow.sourceSide(p), reached[static_cast<std::size_t>(p)]) << "node " << p;
    if (values == Values::Eighths) {
      ASSERT_EQ(flow.sourceSide(p), oracle.reachableFromSource(p)) << "node " << p;
    }
  }
}

TEST(GridFlow, AgreesWithPushRelabelSolvedWholeInBandsAndOpenedLazily) {
  struct Case {
    const char* name;
    Split split;
    bool lazy;
  };
  const Case cases[] = {
      {"whole, every node opened first", Split::Whole, false},
      {"two bands joined, every node opened first", Split::TwoBands, false},
      {"whole, nodes opened as reached", Split::Whole, true},
      {"two bands joined, nodes opened as reached", Split::TwoBands, true},
  };
  std::mt19937 random(7171);
  for (const Case& c : cases) {
    for (Values values : {Values::Eighths, Values::Fractional}) {
      for (int k = 0; k < 60; ++k) {
        const int width = 1 + static_cast<int>(random() % (k < 40 ? 9 : 40));
        const int height = 1 + static_cast<int>(random() % (k < 40 ? 9 : 30));
        SCOPED_TRACE(::testing::Message() << c.name << (values == Values::Eighths ? ", eighths" : ", fractional")
                                          << ", grid " << k << ": " << width << " x " << height);
        const GridInstance g = randomGrid(random, values, width, height);
        GridFlow flow;
        ASSERT_TRUE(flow.resize(width, height));
        const float found = solve(flow, g, c.split, c.lazy);
        expectAgreesWithOracle(flow, g, found, values);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

// The state the search leaves in a record must not leak into the next solve:
// each of several grids solved on one GridFlow, lazily, must cut as a fresh
// one does.
TEST(GridFlow, ASolveReadsNothingAnEarlierSolveLeftInItsRecords) {
  std::mt19937 random(3131);
  for (const Split split : {Split::Whole, Split::TwoBands}) {
    GridFlow reused;
    ASSERT_TRUE(reused.resize(24, 18));
    for (int k = 0; k < 30; ++k) {
      SCOPED_TRACE(::testing::Message() << (split == Split::Whole ? "whole" : "two bands") << ", solve " << k);
      const GridInstance g = randomGrid(random, Values::Eighths, 24, 18);
      const float found = solve(reused, g, split, true);
      expectAgreesWithOracle(reused, g, found, Values::Eighths);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

// A record keeps the solve that opened it in a small counter that wraps: a
// node opened on the source side once and never opened again must stay
// closed, on the sink side, through every later solve, however many.
TEST(GridFlow, ANodeOpenedManySolvesAgoStaysClosed) {
  GridFlow flow;
  ASSERT_TRUE(flow.resize(2, 1));
  GridFlow::Region region;
  flow.beginSolve(nullptr);
  flow.open(0, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  flow.open(1, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  const std::int32_t root = 0;
  flow.solveRegion(0, 1, std::span<const std::int32_t>(&root, 1), region);
  ASSERT_TRUE(flow.sourceSide(0));
  for (int k = 1; k <= 1000; ++k) {
    flow.beginSolve(nullptr);
    flow.open(1, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    flow.solveRegion(0, 1, {}, region);
    ASSERT_FALSE(flow.isOpen(0)) << "solve " << k;
    ASSERT_FALSE(flow.sourceSide(0)) << "solve " << k;
  }
}

// Opening nodes as the search reaches them must give the bits of opening
// them all first: the same flow, sides and final residuals.
TEST(GridFlow, OpeningNodesAsTheSearchReachesThemChangesNoBit) {
  std::mt19937 random(5353);
  for (const Split split : {Split::Whole, Split::TwoBands}) {
    for (int k = 0; k < 300; ++k) {
      SCOPED_TRACE(::testing::Message() << (split == Split::Whole ? "whole" : "two bands") << ", grid " << k);
      const int width = 2 + static_cast<int>(random() % 30);
      const int height = 2 + static_cast<int>(random() % 30);
      const GridInstance g = randomGrid(random, Values::Fractional, width, height);
      GridFlow eager;
      GridFlow lazy;
      ASSERT_TRUE(eager.resize(width, height));
      ASSERT_TRUE(lazy.resize(width, height));
      const float eagerFlow = solve(eager, g, split, false);
      const float lazyFlow = solve(lazy, g, split, true);
      ASSERT_EQ(std::memcmp(&eagerFlow, &lazyFlow, sizeof(float)), 0) << eagerFlow << " vs " << lazyFlow;
      for (int p = 0; p < width * height; ++p) {
        ASSERT_EQ(eager.sourceSide(p), lazy.sourceSide(p)) << "node " << p;
        if (!lazy.isOpen(p)) continue;
        const GridFlow::Node& a = eager.record(p);
        const GridFlow::Node& b = lazy.record(p);
        ASSERT_EQ(std::memcmp(&a.terminal, &b.terminal, sizeof(float)), 0) << "node " << p;
        ASSERT_EQ(std::memcmp(a.residual, b.residual, sizeof a.residual), 0) << "node " << p;
      }
    }
  }
}

// A search that stays local opens what it reaches, not the grid: one source
// root amid sink roots that absorb its excess within a step or two.
TEST(GridFlow, ALocalSearchOpensOnlyTheNodesAroundIt) {
  GridInstance g;
  g.width = 200;
  g.height = 150;
  const std::size_t n = static_cast<std::size_t>(g.width * g.height);
  g.terminal.assign(n, -4.0f);
  g.residual.assign(4 * n, 0.0f);
  for (int p = 0; p < g.width * g.height; ++p) {
    for (int d = 0; d < 4; ++d) {
      const int x = p % g.width;
      const int y = p / g.width;
      const bool exists = d == GridFlow::kRight  ? x + 1 < g.width
                          : d == GridFlow::kDown ? y + 1 < g.height
                          : d == GridFlow::kLeft ? x > 0
                                                 : y > 0;
      if (exists) g.towards(p, d) = 1.0f;
    }
  }
  const int root = 75 * g.width + 100;
  // It sends 1 to each neighbour and keeps 1: it ends on the source side, alone.
  g.terminal[static_cast<std::size_t>(root)] = 5.0f;
  for (const Split split : {Split::Whole, Split::TwoBands}) {
    GridFlow flow;
    ASSERT_TRUE(flow.resize(g.width, g.height));
    int opened = 0;
    const float found = solve(flow, g, split, true, &opened);
    EXPECT_EQ(found, 4.0f);
    EXPECT_LE(opened, 5) << "the root and its four neighbours suffice";
    EXPECT_TRUE(flow.sourceSide(root));
    EXPECT_FALSE(flow.sourceSide(root + 1));
  }
}

}  // namespace
}  // namespace orbelt
