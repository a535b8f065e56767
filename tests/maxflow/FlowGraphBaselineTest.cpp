// FlowGraph against the graph as it stood before the speed work (frozen in
// bench/mrf/baseline): on random graphs of every shape, built by the same
// calls, the flow must be the same float, every node on the same side, and
// every range in the same order with the same residuals, since the orders
// are what keep the optimizer's labels identical. The live graph is one
// object reused with clear() throughout, as the optimizer uses it.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "bench/mrf/baseline/FlowGraph.h"
#include "maxflow/FlowGraph.h"
#include "tests/maxflow/RandomGraphs.h"

namespace orbelt {
namespace {

using namespace maxflowtest;

template <typename Graph>
void build(Graph& graph, const RandomGraph& g, bool createAtOnce) {
  if constexpr (std::is_same_v<Graph, FlowGraph>) {
    if (createAtOnce) {
      graph.createNodes(g.nodes);
    } else {
      for (int n = 0; n < g.nodes; ++n) graph.createNode();
    }
  } else {
    for (int n = 0; n < g.nodes; ++n) graph.createNode();
  }
  std::size_t t = 0;
  for (std::size_t k = 0; k < g.pairs.size() || t < g.terminals.size(); ++k) {
    if (t < g.terminals.size()) {
      const Terminal& c = g.terminals[t++];
      graph.addTerminalCapacities(c.node, c.source, c.sink);
    }
    if (k < g.pairs.size()) {
      const Pair& p = g.pairs[k];
      graph.addArcPair(p.tail, p.head, p.capacity, p.reverse);
    }
  }
}

template <typename View>
std::vector<std::vector<float>> describe(const std::vector<View>& arcs) {
  std::vector<std::vector<float>> rows;
  for (const auto& a : arcs) {
    rows.push_back({static_cast<float>(a.tail), static_cast<float>(a.head), a.residual, a.reverseResidual});
  }
  return rows;
}

TEST(FlowGraphBaseline, RandomGraphsSolveExactlyAsBeforeOnOneReusedGraph) {
  struct Family {
    const char* name;
    int graphs;
    std::function<RandomGraph(std::mt19937&, Values)> make;
  };
  const Family families[] = {
      {"tiny irregular", 150,
       [](std::mt19937& r, Values v) {
         const int n = 2 + static_cast<int>(r() % 9);
         return irregularGraph(r, v, n, static_cast<int>(r() % static_cast<unsigned>(3 * n)));
       }},
      {"grids over several blocks", 10,
       [](std::mt19937& r, Values v) {
         return gridGraph(r, v, 30 + static_cast<int>(r() % 40), 20 + static_cast<int>(r() % 30));
       }},
      {"irregular over several blocks", 8,
       [](std::mt19937& r, Values v) { return irregularGraph(r, v, 1200, 5000); }},
      {"hubs whose ranges need blocks of their own", 6,
       [](std::mt19937& r, Values v) { return irregularGraph(r, v, 400, 8000, 6, 0.5); }},
      {"nodes without pairs", 4, [](std::mt19937& r, Values v) { return irregularGraph(r, v, 700, 0); }},
  };
  std::mt19937 random(77);
  FlowGraph reused;
  int built = 0;
  for (const Family& family : families) {
    for (Values values : {Values::Eighths, Values::Fractional}) {
      for (int k = 0; k < family.graphs; ++k) {
        SCOPED_TRACE(::testing::Message() << family.name << ", graph " << k);
        const RandomGraph g = family.make(random, values);
        baseline::FlowGraph before;
        build(before, g, false);
        reused.clear();
        build(reused, g, ++built % 2 == 0);
        const float expected = before.computeMaxFlow();
        const float flow = reused.computeMaxFlow();
        ASSERT_EQ(flow, expected);
        ASSERT_EQ(reused.nodeOrder(), before.nodeOrder());
        for (NodeId n = 0; n < reused.nodeCount(); ++n) {
          ASSERT_EQ(reused.sideOf(n), before.sideOf(n)) << "node " << n;
          ASSERT_EQ(describe(reused.outArcs(n)), describe(before.outArcs(n))) << "out-range of node " << n;
          ASSERT_EQ(describe(reused.inArcs(n)), describe(before.inArcs(n))) << "in-range of node " << n;
          ASSERT_EQ(reused.terminalResidual(n), before.terminalResidual(n)) << "node " << n;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orbelt
