// The max-flow on small graphs whose every step is known, and the orders the
// search must keep: which node grows first, where paths join, which orphans
// are adopted in which order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "maxflow/FlowGraph.h"
#include "maxflow/FlowObserver.h"
#include "tests/maxflow/RandomGraphs.h"

namespace orbelt {
namespace {

using NodeId = FlowGraph::NodeId;
constexpr CutSide kSource = CutSide::SourceSide;
constexpr CutSide kSink = CutSide::SinkSide;

// Writes every search event as one line, e.g. "grow 3", "augment 2>4 1",
// "free 5", "adopt 6".
class EventLog : public FlowObserver {
 public:
  void onGrowth(std::int32_t node) override { events.push_back("grow " + std::to_string(node)); }
  void onAugmentation(std::int32_t s, std::int32_t t, float amount) override {
    events.push_back("augment " + std::to_string(s) + ">" + std::to_string(t) + " " + trimmed(amount));
  }
  void onAdoption(std::int32_t node, bool adopted) override {
    events.push_back((adopted ? "adopt " : "free ") + std::to_string(node));
  }
  std::vector<std::string> only(const std::string& kind) const {
    std::vector<std::string> result;
    for (const auto& e : events) {
      if (e.rfind(kind, 0) == 0) result.push_back(e);
    }
    return result;
  }
  std::vector<std::string> events;

 private:
  static std::string trimmed(float v) {
    std::string s = std::to_string(v);
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
  }
};

using maxflowtest::Pair;
using maxflowtest::Terminal;

struct SmallGraph {
  const char* name;
  int nodes;
  std::vector<Terminal> terminals;
  std::vector<Pair> pairs;
  // Expected after computeMaxFlow:
  float flow;
  std::vector<float> terminalResiduals;  // per node
  std::vector<CutSide> sides;            // per node
  std::vector<Pair> residuals;           // each pair with its final residuals
};

FlowGraph& build(FlowGraph& graph, int nodes, const std::vector<Terminal>& terminals, const std::vector<Pair>& pairs) {
  for (int k = 0; k < nodes; ++k) graph.createNode();
  for (const auto& t : terminals) graph.addTerminalCapacities(t.node, t.source, t.sink);
  for (const auto& p : pairs) graph.addArcPair(p.tail, p.head, p.capacity, p.reverse);
  return graph;
}

TEST(FlowGraphSearch, SmallGraphsEndWithKnownFlowsResidualsAndSides) {
  const SmallGraph cases[] = {
      {"narrow arc: A keeps source residual, B sink residual",
       2,
       {{0, 3, 0}, {1, 0, 2}},
       {{0, 1, 1, 0}},
       1,
       {2, -1},
       {kSource, kSink},
       {{0, 1, 0, 1}}},
      {"wide arc: B's terminal saturates, B is freed and rejoins from A",
       2,
       {{0, 3, 0}, {1, 0, 2}},
       {{0, 1, 5, 0}},
       2,
       {1, 0},
       {kSource, kSource},
       {{0, 1, 3, 2}}},
      // Growth from T meets S1 on its out-arc first, but the in-range is
      // still scanned and the connection through S2 replaces it.
      {"sink growth takes its in-range connection",
       3,
       {{0, 0, 1}, {1, 1, 0}, {2, 1, 0}},
       {{0, 1, 0, 1}, {2, 0, 1, 0}},
       1,
       {0, 1, 0},
       {kSource, kSource, kSource},
       {{0, 1, 0, 1}, {2, 0, 0, 1}}},
      // Growth from S stops at its first connection, T1.
      {"source growth stops at its first connection",
       3,
       {{0, 1, 0}, {1, 0, 1}, {2, 0, 1}},
       {{0, 1, 1, 0}, {2, 0, 0, 1}},
       1,
       {0, 0, -1},
       {kSink, kSink, kSink},
       {{0, 1, 0, 1}, {2, 0, 0, 1}}},
      {"balanced terminals leave a node free, on the sink side",
       2,
       {{0, 2, 2}, {1, 0, 1}},
       {{0, 1, 1, 1}},
       2,
       {0, -1},
       {kSink, kSink},
       {{0, 1, 1, 1}}},
      {"balanced terminals, but reachable from a source node",
       3,
       {{0, 2, 2}, {1, 0, 1}, {2, 4, 0}},
       {{2, 0, 1, 0}},
       2,
       {0, -1, 4},
       {kSource, kSink, kSource},
       {{2, 0, 1, 0}}},
      {"no terminal residual anywhere: the folded flow only",
       3,
       {{0, 1, 1}, {1, 2.5f, 2.5f}},
       {{0, 1, 3, 3}, {1, 2, 1, 0}},
       3.5f,
       {0, 0, 0},
       {kSink, kSink, kSink},
       {{0, 1, 3, 3}, {1, 2, 1, 0}}},
      {"zero capacity arcs carry nothing",
       2,
       {{0, 5, 0}, {1, 0, 5}},
       {{0, 1, 0, 0}},
       0,
       {5, -5},
       {kSource, kSink},
       {{0, 1, 0, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FlowGraph graph;
    build(graph, c.nodes, c.terminals, c.pairs);
    EXPECT_FLOAT_EQ(graph.computeMaxFlow(), c.flow);
    for (NodeId n = 0; n < c.nodes; ++n) {
      EXPECT_FLOAT_EQ(graph.terminalResidual(n), c.terminalResiduals[static_cast<std::size_t>(n)]) << "node " << n;
      EXPECT_EQ(graph.sideOf(n), c.sides[static_cast<std::size_t>(n)]) << "node " << n;
    }
    for (const auto& expected : c.residuals) {
      const auto arcs = graph.outArcs(expected.tail);
      ASSERT_EQ(arcs.size(), 1u);
      EXPECT_EQ(arcs[0].head, expected.head);
      EXPECT_FLOAT_EQ(arcs[0].residual, expected.capacity) << "pair " << expected.tail << ">" << expected.head;
      EXPECT_FLOAT_EQ(arcs[0].reverseResidual, expected.reverse) << "pair " << expected.tail << ">" << expected.head;
    }
  }
}

TEST(FlowGraphSearch, OrphansAreAdoptedSinkRootFirstThenBreadthFirst) {
  // S, o1, c1, c2, d1, T.
  enum : NodeId { S, o1, c1, c2, d1, T };
  FlowGraph graph;
  EventLog log;
  graph.setObserver(&log);
  build(graph, 6, {{S, 1, 0}, {T, 0, 1}},
        {{S, o1, 1, 0}, {o1, c1, 5, 0}, {o1, c2, 5, 0}, {c1, d1, 5, 0}, {d1, T, 1, 0}});
  EXPECT_FLOAT_EQ(graph.computeMaxFlow(), 1.0f);

  // The sink tree reaches c1 from d1: one path, joined at (c1, d1).
  EXPECT_EQ(log.only("grow"), (std::vector<std::string>{"grow 0", "grow 5", "grow 1", "grow 4"}));
  EXPECT_EQ(log.only("augment"), (std::vector<std::string>{"augment 2>4 1"}));
  // It saturates S>o1, S's terminal, d1>T and T's terminal; they are adopted
  // in reverse: T, d1, S, o1; freeing o1 appends its children c2 then c1.
  EXPECT_EQ(log.only("free"), (std::vector<std::string>{"free 5", "free 4", "free 0", "free 1", "free 3", "free 2"}));
  EXPECT_TRUE(log.only("adopt").empty());
  for (NodeId n = S; n <= T; ++n) EXPECT_EQ(graph.sideOf(n), kSink) << n;
}

TEST(FlowGraphSearch, TheNewestNodeBlockGrowsFirst) {
  FlowGraph graph;
  EventLog log;
  graph.setObserver(&log);
  for (NodeId n = 0; n < 600; ++n) graph.addTerminalCapacities(graph.createNode(), 1, 0);
  graph.computeMaxFlow();
  std::vector<std::string> expected;
  for (NodeId n = 511; n < 600; ++n) expected.push_back("grow " + std::to_string(n));
  for (NodeId n = 0; n < 511; ++n) expected.push_back("grow " + std::to_string(n));
  EXPECT_EQ(log.events, expected);
}

// Trees as deep as the graph is long: no step may recurse.
TEST(FlowGraphSearch, AMillionNodeChainIsSolvedIteratively) {
  constexpr NodeId kLength = 1000000;
  FlowGraph graph;
  for (NodeId n = 0; n < kLength; ++n) graph.createNode();
  graph.addTerminalCapacities(0, 1, 0);
  graph.addTerminalCapacities(kLength - 1, 0, 1);
  for (NodeId n = 0; n + 1 < kLength; ++n) graph.addArcPair(n, n + 1, 2, 0);
  EXPECT_FLOAT_EQ(graph.computeMaxFlow(), 1.0f);
  // Both terminals saturated: everything ends free, on the sink side.
  EXPECT_EQ(graph.sideOf(0), kSink);
  EXPECT_EQ(graph.sideOf(kLength / 2), kSink);
  EXPECT_FLOAT_EQ(graph.outArcs(kLength / 2)[0].residual, 1.0f);
}

}  // namespace
}  // namespace orbelt
