// A laid-out graph solved again with rewritten residuals must cut exactly
// where a graph built anew with those capacities cuts, and a search that
// leaves the sink roots passive must find the same source side as one that
// grows both trees. Capacities are eighths, so every sum is exact and the
// source side (the set reachable from the source) is unique.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "maxflow/FlowGraph.h"
#include "tests/maxflow/RandomGraphs.h"

namespace orbelt {
namespace {

using maxflowtest::RandomGraph;
using maxflowtest::Values;

void build(FlowGraph& graph, const RandomGraph& g) {
  graph.createNodes(g.nodes);
  for (const auto& t : g.terminals) graph.addTerminalCapacities(t.node, t.source, t.sink);
  for (const auto& p : g.pairs) graph.addArcPair(p.tail, p.head, p.capacity, p.reverse);
}

std::vector<CutSide> sidesOf(const FlowGraph& graph, int nodes) {
  std::vector<CutSide> sides;
  for (FlowGraph::NodeId n = 0; n < nodes; ++n) sides.push_back(graph.sideOf(n));
  return sides;
}

// Each terminal call's common part is flow; what is left is the signed residual.
std::vector<float> signedResiduals(const RandomGraph& g) {
  std::vector<float> residual(static_cast<std::size_t>(g.nodes), 0.0f);
  for (const auto& t : g.terminals) residual[static_cast<std::size_t>(t.node)] += t.source - t.sink;
  return residual;
}

TEST(FlowGraphReuse, AReopenedGraphCutsLikeAGraphBuiltAnew) {
  std::mt19937 random(515);
  for (int k = 0; k < 60; ++k) {
    const int width = 1 + static_cast<int>(random() % 30);
    const int height = 1 + static_cast<int>(random() % 30);
    const bool passive = k % 2 == 1;
    SCOPED_TRACE(::testing::Message() << "graph " << k << ": " << width << " x " << height
                                      << (passive ? ", sink roots passive" : ""));
    // Two draws of one shape: the same pixels present, so the same pairs.
    std::mt19937 shape(static_cast<std::uint32_t>(random()));
    std::mt19937 shapeAgain = shape;
    const RandomGraph first = maxflowtest::gridGraph(shape, Values::Eighths, width, height);
    RandomGraph second = maxflowtest::gridGraph(shapeAgain, Values::Eighths, width, height);
    // Redraw the second graph's capacities, keeping its pairs.
    maxflowtest::CapacityDraw draw(random, Values::Eighths);
    for (auto& t : second.terminals) t = {t.node, draw.terminal(), draw.terminal()};
    for (auto& p : second.pairs) p = {p.tail, p.head, draw.arc(), draw.arc()};

    FlowGraph reused;
    build(reused, first);
    reused.computeMaxFlow();
    reused.reopen();
    const std::vector<float> residual = signedResiduals(second);
    for (FlowGraph::NodeId n = 0; n < second.nodes; ++n) reused.setTerminalResidual(n, residual[static_cast<std::size_t>(n)]);
    for (const auto& p : second.pairs) {
      const std::uint32_t arc = reused.arcIndex(p.tail, p.head);
      ASSERT_NE(arc, FlowGraph::kNoArc);
      reused.setArcResiduals(arc, p.capacity, p.reverse);
    }
    reused.setSinkRootsPassive(passive);
    reused.computeMaxFlow();

    FlowGraph fresh;
    build(fresh, second);
    fresh.computeMaxFlow();
    ASSERT_EQ(sidesOf(reused, second.nodes), sidesOf(fresh, second.nodes));
  }
}

TEST(FlowGraphReuse, PassiveSinkRootsFindTheSameSourceSide) {
  std::mt19937 random(616);
  for (int k = 0; k < 80; ++k) {
    const bool grid = k % 2 == 0;
    const RandomGraph g = grid ? maxflowtest::gridGraph(random, Values::Eighths, 1 + static_cast<int>(random() % 40),
                                                        1 + static_cast<int>(random() % 40))
                               : maxflowtest::irregularGraph(random, Values::Eighths, 50 + static_cast<int>(random() % 400),
                                                             100 + static_cast<int>(random() % 1500));
    SCOPED_TRACE(::testing::Message() << "graph " << k << (grid ? " (grid)" : " (irregular)"));
    FlowGraph both;
    build(both, g);
    const float flow = both.computeMaxFlow();
    FlowGraph sourceOnly;
    sourceOnly.setSinkRootsPassive(true);
    build(sourceOnly, g);
    ASSERT_EQ(sourceOnly.computeMaxFlow(), flow);
    ASSERT_EQ(sidesOf(sourceOnly, g.nodes), sidesOf(both, g.nodes));
  }
}

TEST(FlowGraphReuseDeathTest, ResidualsAreWrittenOnlyIntoAReopenedGraph) {
  auto writeBeforeLayout = [] {
    FlowGraph graph;
    graph.createNodes(2);
    graph.setTerminalResidual(0, 1.0f);
  };
  EXPECT_EXIT(writeBeforeLayout(), ::testing::ExitedWithCode(1), "");
  auto writeAfterSolve = [] {
    FlowGraph graph;
    graph.createNodes(2);
    graph.addArcPair(0, 1, 1.0f, 1.0f);
    graph.computeMaxFlow();
    graph.setArcResiduals(graph.arcIndex(0, 1), 1.0f, 0.0f);
  };
  EXPECT_EXIT(writeAfterSolve(), ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace orbelt
