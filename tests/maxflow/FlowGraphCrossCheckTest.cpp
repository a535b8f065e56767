// FlowGraph against an independent max-flow (Boost's push-relabel in double
// precision) on many random graphs, grid-shaped like an expansion move and
// irregular, with zero, tied and fractional capacities and terminal
// capacities of both signs.
//
// With capacities that are multiples of 1/8, float sums are exact: the flows
// must be equal and the source side must be exactly the smallest one of all
// minimum cuts, which push-relabel's residual graph also yields. With
// arbitrary floats the flows agree up to rounding, and the source side must
// still be exactly the set reachable from the source through the graph's own
// nonzero residuals.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <deque>
#include <functional>
#include <random>
#include <vector>

#include "maxflow/FlowGraph.h"
#include "tests/maxflow/BoostFlowOracle.h"
#include "tests/maxflow/RandomGraphs.h"

namespace orbelt {
namespace {

using NodeId = FlowGraph::NodeId;
using namespace maxflowtest;

// The nodes reachable from the source through nonzero residuals, read from
// the solved graph itself.
std::vector<bool> reachableFromSource(const FlowGraph& graph, int nodes) {
  std::vector<std::vector<NodeId>> next(static_cast<std::size_t>(nodes));
  std::vector<bool> reached(static_cast<std::size_t>(nodes), false);
  std::deque<NodeId> queue;
  for (NodeId n = 0; n < nodes; ++n) {
    for (const auto& a : graph.outArcs(n)) {
      if (a.residual != 0) next[static_cast<std::size_t>(a.tail)].push_back(a.head);
      if (a.reverseResidual != 0) next[static_cast<std::size_t>(a.head)].push_back(a.tail);
    }
    if (graph.terminalResidual(n) > 0) {
      reached[static_cast<std::size_t>(n)] = true;
      queue.push_back(n);
    }
  }
  while (!queue.empty()) {
    const NodeId n = queue.front();
    queue.pop_front();
    for (NodeId m : next[static_cast<std::size_t>(n)]) {
      if (!reached[static_cast<std::size_t>(m)]) {
        reached[static_cast<std::size_t>(m)] = true;
        queue.push_back(m);
      }
    }
  }
  return reached;
}

void crossCheck(const RandomGraph& g, Values values) {
  FlowGraph graph;
  testing::BoostFlowOracle oracle(g.nodes);
  double scale = 1.0;
  for (int n = 0; n < g.nodes; ++n) graph.createNode();
  // Terminals and pairs interleaved, as the expansion move does.
  std::size_t t = 0;
  for (std::size_t k = 0; k < g.pairs.size() || t < g.terminals.size(); ++k) {
    if (t < g.terminals.size()) {
      const Terminal& c = g.terminals[t++];
      graph.addTerminalCapacities(c.node, c.source, c.sink);
      oracle.addTerminalCapacities(c.node, c.source, c.sink);
      scale += std::fabs(c.source) + std::fabs(c.sink);
    }
    if (k < g.pairs.size()) {
      const Pair& p = g.pairs[k];
      graph.addArcPair(p.tail, p.head, p.capacity, p.reverse);
      oracle.addArcPair(p.tail, p.head, p.capacity, p.reverse);
      scale += p.capacity + p.reverse;
    }
  }
  const float flow = graph.computeMaxFlow();
  const double expected = oracle.computeMaxFlow();
  const std::vector<bool> reached = reachableFromSource(graph, g.nodes);

  if (values == Values::Eighths) {
    ASSERT_EQ(static_cast<double>(flow), expected);
  } else {
    ASSERT_NEAR(flow, expected, 2e-6 * scale);
  }
  for (NodeId n = 0; n < g.nodes; ++n) {
    const bool sourceSide = graph.sideOf(n) == CutSide::SourceSide;
    ASSERT_EQ(sourceSide, reached[static_cast<std::size_t>(n)]) << "node " << n;
    if (values == Values::Eighths) {
      ASSERT_EQ(sourceSide, oracle.reachableFromSource(n)) << "node " << n;
    }
  }
}

struct Family {
  const char* name;
  int graphs;
  std::function<RandomGraph(std::mt19937&, Values)> make;
};

TEST(FlowGraphCrossCheck, AgreesWithPushRelabelOnRandomGraphs) {
  const Family families[] = {
      {"tiny irregular", 400,
       [](std::mt19937& r, Values v) {
         const int n = 2 + static_cast<int>(r() % 9);
         return irregularGraph(r, v, n, static_cast<int>(r() % static_cast<unsigned>(3 * n)));
       }},
      {"small grids", 200,
       [](std::mt19937& r, Values v) {
         return gridGraph(r, v, 2 + static_cast<int>(r() % 8), 1 + static_cast<int>(r() % 8));
       }},
      {"grids over several blocks", 12,
       [](std::mt19937& r, Values v) {
         return gridGraph(r, v, 30 + static_cast<int>(r() % 40), 20 + static_cast<int>(r() % 30));
       }},
      {"irregular over several blocks", 12, [](std::mt19937& r, Values v) { return irregularGraph(r, v, 1200, 5000); }},
      {"hubs whose ranges need blocks of their own", 6,
       [](std::mt19937& r, Values v) { return irregularGraph(r, v, 400, 8000, 6, 0.5); }},
  };
  std::mt19937 random(20240611);
  for (const auto& family : families) {
    for (Values values : {Values::Eighths, Values::Fractional}) {
      for (int k = 0; k < family.graphs; ++k) {
        const char* kind = values == Values::Eighths ? ", eighths" : ", fractional";
        SCOPED_TRACE(::testing::Message() << family.name << kind << ", graph " << k);
        crossCheck(family.make(random, values), values);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

}  // namespace
}  // namespace orbelt
