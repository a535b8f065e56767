// One FlowGraph reused with clear() across many graphs, as the optimizer uses
// it for its moves, against a fresh graph per graph built by the same calls:
// the flow must be the same float, every node on the same side, and every
// range in the same order with the same residuals, whether the nodes came
// one by one or in one createNodes call; and the reused graph's flow must be
// the maximum flow that Boost's push-relabel finds (exactly, with capacities
// in eighths, where float sums are exact), with its source side the smallest
// minimum cut's.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "maxflow/FlowGraph.h"
#include "tests/maxflow/BoostFlowOracle.h"
#include "tests/maxflow/RandomGraphs.h"

namespace orbelt {
namespace {

using namespace maxflowtest;

// Terminals and pairs interleaved, as the expansion move calls them.
template <typename Graph>
void addCalls(Graph& graph, const RandomGraph& g) {
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

std::vector<std::vector<float>> describe(const std::vector<FlowGraph::ArcView>& arcs) {
  std::vector<std::vector<float>> rows;
  for (const auto& a : arcs) {
    rows.push_back({static_cast<float>(a.tail), static_cast<float>(a.head), a.residual, a.reverseResidual});
  }
  return rows;
}

TEST(FlowGraphReuse, OneClearedGraphSolvesEveryGraphAsAFreshOneAndFindsTheMaximumFlow) {
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
      {"irregular over several blocks", 8, [](std::mt19937& r, Values v) { return irregularGraph(r, v, 1200, 5000); }},
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
        SCOPED_TRACE(::testing::Message()
                     << family.name << (values == Values::Eighths ? ", eighths" : ", fractional") << ", graph " << k);
        const RandomGraph g = family.make(random, values);
        FlowGraph fresh;
        for (int n = 0; n < g.nodes; ++n) fresh.createNode();
        addCalls(fresh, g);
        reused.clear();
        if (++built % 2 == 0) {
          reused.createNodes(g.nodes);
        } else {
          for (int n = 0; n < g.nodes; ++n) reused.createNode();
        }
        addCalls(reused, g);
        testing::BoostFlowOracle oracle(g.nodes);
        addCalls(oracle, g);
        double scale = 1.0;
        for (const Terminal& c : g.terminals) scale += std::fabs(c.source) + std::fabs(c.sink);
        for (const Pair& p : g.pairs) scale += p.capacity + p.reverse;

        const float expected = fresh.computeMaxFlow();
        const float flow = reused.computeMaxFlow();
        const double maximum = oracle.computeMaxFlow();
        ASSERT_EQ(flow, expected);
        if (values == Values::Eighths) {
          ASSERT_EQ(static_cast<double>(flow), maximum);
        } else {
          ASSERT_NEAR(flow, maximum, 2e-6 * scale);
        }
        ASSERT_EQ(reused.nodeCount(), fresh.nodeCount());
        ASSERT_EQ(reused.nodeOrder(), fresh.nodeOrder());
        for (NodeId n = 0; n < reused.nodeCount(); ++n) {
          ASSERT_EQ(reused.sideOf(n), fresh.sideOf(n)) << "node " << n;
          // (A graph without pairs gets two more nodes of its own; Boost knows only the caller's.)
          if (values == Values::Eighths && n < g.nodes) {
            ASSERT_EQ(reused.sideOf(n) == CutSide::SourceSide, oracle.reachableFromSource(n)) << "node " << n;
          }
          ASSERT_EQ(describe(reused.outArcs(n)), describe(fresh.outArcs(n))) << "out-range of node " << n;
          ASSERT_EQ(describe(reused.inArcs(n)), describe(fresh.inArcs(n))) << "in-range of node " << n;
          ASSERT_EQ(reused.terminalResidual(n), fresh.terminalResidual(n)) << "node " << n;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orbelt
