// Storage, building, layout and failure reporting of FlowGraph.
#include "maxflow/FlowGraph.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/Failure.h"

namespace orbelt {
namespace {

using NodeId = FlowGraph::NodeId;

std::vector<NodeId> createNodes(FlowGraph& graph, int count) {
  std::vector<NodeId> nodes;
  for (int k = 0; k < count; ++k) nodes.push_back(graph.createNode());
  return nodes;
}

std::vector<NodeId> heads(const std::vector<FlowGraph::ArcView>& arcs) {
  std::vector<NodeId> result;
  for (const auto& a : arcs) result.push_back(a.head);
  return result;
}

std::vector<NodeId> iota(NodeId from, NodeId to) {
  std::vector<NodeId> result;
  for (NodeId k = from; k < to; ++k) result.push_back(k);
  return result;
}

// ---------------------------------------------------------------- blocks

TEST(FlowGraphBlocks, NodeBlocksHandOut511NodesEach) {
  FlowGraph graph;
  const auto nodes = createNodes(graph, 511);
  EXPECT_EQ(nodes, iota(0, 511));
  EXPECT_EQ(graph.nodeBlockCount(), 1);
  EXPECT_EQ(graph.createNode(), 511);
  EXPECT_EQ(graph.nodeBlockCount(), 2);
}

TEST(FlowGraphBlocks, CreatingNodesAtOnceFillsBlocksAsOneByOne) {
  struct Case {
    std::vector<int> batches;  // counts given to createNodes, in order
    NodeId nodes;
    std::int32_t blocks;
  };
  const Case cases[] = {
      {{0}, 0, 0},          {{1}, 1, 1},           {{511}, 511, 1},   {{512}, 512, 2},
      {{300, 300}, 600, 2}, {{510, 1, 1}, 512, 2}, {{1500}, 1500, 3},
  };
  for (const Case& c : cases) {
    FlowGraph graph;
    NodeId expectedFirst = 0;
    for (int count : c.batches) {
      EXPECT_EQ(graph.createNodes(count), expectedFirst);
      expectedFirst += count;
    }
    EXPECT_EQ(graph.nodeCount(), c.nodes);
    EXPECT_EQ(graph.nodeBlockCount(), c.blocks);
    FlowGraph oneByOne;
    createNodes(oneByOne, c.nodes);
    EXPECT_EQ(graph.nodeOrder(), oneByOne.nodeOrder());
  }
}

TEST(FlowGraphBlocks, ArcAndReferenceBlocksHold1024PairsEach) {
  FlowGraph graph;
  createNodes(graph, 40);
  for (int k = 0; k < 1024; ++k) graph.addArcPair(k % 40, (k * 7 + 1) % 40, 1.0f, 0.0f);
  EXPECT_EQ(graph.arcBlockCount(), 1);
  EXPECT_EQ(graph.inRefBlockCount(), 1);
  graph.addArcPair(0, 1, 1.0f, 0.0f);
  EXPECT_EQ(graph.arcBlockCount(), 2);
  EXPECT_EQ(graph.inRefBlockCount(), 2);
}

TEST(FlowGraphBlocks, NodeOrderPutsTheNewestBlockFirst) {
  FlowGraph graph;
  createNodes(graph, 600);
  graph.addArcPair(0, 599, 1.0f, 0.0f);
  graph.computeMaxFlow();
  auto expected = iota(511, 600);
  const auto older = iota(0, 511);
  expected.insert(expected.end(), older.begin(), older.end());
  EXPECT_EQ(graph.nodeOrder(), expected);
}

// ------------------------------------------------------- terminal folding

struct FoldingCase {
  const char* name;
  std::vector<std::pair<float, float>> calls;  // (source, sink) per call
  std::vector<float> flowAfterEachCall;
  float residual;
};

TEST(FlowGraphTerminals, CommonPartsBecomeFlowAndTheRestStaysSigned) {
  const FoldingCase cases[] = {
      {"accumulates", {{5, 3}, {1, 4}}, {3, 6}, -1},
      {"equal capacities cancel", {{2, 2}}, {2}, 0},
      {"sink only", {{0, 2.5f}}, {0}, -2.5f},
      {"negative source is a constant plus sink capacity", {{-2, 0}}, {-2}, -2},
      {"negative sink is a constant plus source capacity", {{1, -3}}, {-3}, 4},
      {"source residual meets a later sink", {{4, 0}, {0, 1}}, {0, 1}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FlowGraph graph;
    const NodeId n = graph.createNode();
    for (std::size_t k = 0; k < c.calls.size(); ++k) {
      graph.addTerminalCapacities(n, c.calls[k].first, c.calls[k].second);
      EXPECT_FLOAT_EQ(graph.flowSoFar(), c.flowAfterEachCall[k]) << "after call " << k;
    }
    EXPECT_FLOAT_EQ(graph.terminalResidual(n), c.residual);
  }
}

// ------------------------------------------------------------------ layout

TEST(FlowGraphLayout, OneTailsRangeComesOutOfTheChainOfMoves) {
  FlowGraph graph;
  const NodeId n = graph.createNode();
  const NodeId h1 = graph.createNode();
  const NodeId h2 = graph.createNode();
  const NodeId h3 = graph.createNode();
  graph.addArcPair(n, h1, 1.0f, 0.0f);
  graph.addArcPair(n, h2, 2.0f, 0.0f);
  graph.addArcPair(n, h3, 3.0f, 0.0f);
  graph.computeMaxFlow();

  EXPECT_EQ(heads(graph.outArcs(n)), (std::vector<NodeId>{h2, h3, h1}));
  for (NodeId h : {h1, h2, h3}) {
    EXPECT_TRUE(graph.outArcs(h).empty());
    ASSERT_EQ(graph.inArcs(h).size(), 1u);
    EXPECT_EQ(graph.inArcs(h)[0].tail, n);
  }
  // h3 was placed last in the block: it carries the tagged, empty range.
  EXPECT_TRUE(graph.outRangeIsTagged(h3));
  EXPECT_FALSE(graph.outRangeIsTagged(n));
  EXPECT_TRUE(graph.inRangeIsTagged(h3));
}

TEST(FlowGraphLayout, LaterPairsOfATailCanComeFirst) {
  // S, o1, c1, c2, d1, T: o1's pairs to c1 and c2 are laid out c2 first.
  FlowGraph graph;
  createNodes(graph, 6);
  graph.addArcPair(0, 1, 1, 0);
  graph.addArcPair(1, 2, 5, 0);
  graph.addArcPair(1, 3, 5, 0);
  graph.addArcPair(2, 4, 5, 0);
  graph.addArcPair(4, 5, 1, 0);
  graph.computeMaxFlow();
  EXPECT_EQ(heads(graph.outArcs(1)), (std::vector<NodeId>{3, 2}));
}

// Every pair ends in its tail's out-range and its head's in-range with the
// capacities it was given, however the ranges had to be packed into blocks.
struct LayoutCase {
  const char* name;
  int nodes;
  // Pairs per tail: a degree pattern repeated over the nodes.
  std::vector<int> outDegrees;
  std::uint32_t seed;
};

TEST(FlowGraphLayout, EveryPairLandsInBothOfItsRanges) {
  const LayoutCase cases[] = {
      {"small degrees over several node blocks", 1500, {0, 1, 4, 2, 3}, 1},
      {"ranges that leave blocks half empty", 20, {600, 0, 700, 10, 1000}, 2},
      {"one tail with a full block", 3, {1024, 0, 1}, 3},
      {"many tails with full blocks", 6, {1024}, 4},
      {"just too large to share a block", 10, {513, 512, 513}, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(c.seed);
    FlowGraph graph;
    createNodes(graph, c.nodes);
    using Pair = std::tuple<NodeId, NodeId, float, float>;
    std::vector<Pair> added;
    std::vector<int> inDegree(static_cast<std::size_t>(c.nodes), 0);
    for (int tail = 0; tail < c.nodes; ++tail) {
      const int degree = c.outDegrees[static_cast<std::size_t>(tail) % c.outDegrees.size()];
      for (int k = 0; k < degree; ++k) {
        NodeId head;
        do {
          head = static_cast<NodeId>(random() % static_cast<std::uint32_t>(c.nodes));
        } while (inDegree[static_cast<std::size_t>(head)] == 1024);
        ++inDegree[static_cast<std::size_t>(head)];
        // No terminal capacity anywhere: nothing flows, residuals stay put.
        added.emplace_back(tail, head, static_cast<float>(random() % 100), static_cast<float>(random() % 7));
      }
    }
    // Add in a shuffled order so appended order and range order differ.
    std::shuffle(added.begin(), added.end(), random);
    for (const auto& [t, h, cap, rev] : added) graph.addArcPair(t, h, cap, rev);
    EXPECT_FLOAT_EQ(graph.computeMaxFlow(), 0.0f);

    std::vector<Pair> fromOut;
    std::vector<Pair> fromIn;
    for (NodeId n = 0; n < c.nodes; ++n) {
      for (const auto& a : graph.outArcs(n)) {
        EXPECT_EQ(a.tail, n);
        fromOut.emplace_back(a.tail, a.head, a.residual, a.reverseResidual);
      }
      for (const auto& a : graph.inArcs(n)) {
        EXPECT_EQ(a.head, n);
        fromIn.emplace_back(a.tail, a.head, a.residual, a.reverseResidual);
      }
    }
    std::sort(added.begin(), added.end());
    std::sort(fromOut.begin(), fromOut.end());
    std::sort(fromIn.begin(), fromIn.end());
    EXPECT_EQ(fromOut, added);
    EXPECT_EQ(fromIn, added);
  }
}

TEST(FlowGraphLayout, AGraphWithoutPairsGetsTwoInertNodes) {
  FlowGraph graph;
  createNodes(graph, 3);
  graph.addTerminalCapacities(0, 2, 2);
  graph.addTerminalCapacities(1, 0, 4);
  EXPECT_FLOAT_EQ(graph.computeMaxFlow(), 2.0f);
  EXPECT_EQ(graph.nodeCount(), 5);
  EXPECT_EQ(graph.arcPairCount(), 1);
  ASSERT_EQ(graph.outArcs(3).size(), 1u);
  EXPECT_EQ(graph.outArcs(3)[0].head, 4);
  EXPECT_FLOAT_EQ(graph.outArcs(3)[0].residual, 1.0f);
  EXPECT_FLOAT_EQ(graph.outArcs(3)[0].reverseResidual, 0.0f);
  for (NodeId n = 0; n < 5; ++n) EXPECT_EQ(graph.sideOf(n), CutSide::SinkSide) << n;
  EXPECT_FLOAT_EQ(graph.terminalResidual(1), -4.0f);
}

// ------------------------------------------------------------ life cycle

TEST(FlowGraphLifecycle, ASecondSolveReturnsTheSameFlow) {
  FlowGraph graph;
  createNodes(graph, 2);
  graph.addTerminalCapacities(0, 3, 0);
  graph.addTerminalCapacities(1, 0, 2);
  graph.addArcPair(0, 1, 5, 0);
  EXPECT_FLOAT_EQ(graph.computeMaxFlow(), 2.0f);
  EXPECT_FLOAT_EQ(graph.computeMaxFlow(), 2.0f);
}

TEST(FlowGraphLifecycle, SidesReadSinkBeforeSolving) {
  FlowGraph graph;
  const NodeId n = graph.createNode();
  graph.addTerminalCapacities(n, 5, 0);
  EXPECT_EQ(graph.sideOf(n), CutSide::SinkSide);
  graph.computeMaxFlow();
  EXPECT_EQ(graph.sideOf(n), CutSide::SourceSide);
}

TEST(FlowGraphLifecycle, ClearKeepsTheMemoryAndSolvesLikeANewGraph) {
  auto build = [](FlowGraph& graph) {
    std::mt19937 random(7);
    createNodes(graph, 3000);
    for (NodeId n = 0; n < 3000; ++n) {
      graph.addTerminalCapacities(n, static_cast<float>(random() % 10), static_cast<float>(random() % 10));
      if (n + 1 < 3000) graph.addArcPair(n, n + 1, static_cast<float>(random() % 5), static_cast<float>(random() % 5));
    }
  };
  FlowGraph fresh;
  build(fresh);
  const float expected = fresh.computeMaxFlow();

  FlowGraph reused;
  build(reused);
  reused.computeMaxFlow();
  const std::size_t bytes = reused.reservedBytes();
  reused.clear();
  EXPECT_EQ(reused.nodeCount(), 0);
  build(reused);
  EXPECT_EQ(reused.computeMaxFlow(), expected);
  EXPECT_EQ(reused.reservedBytes(), bytes);
  for (NodeId n = 0; n < 3000; ++n) ASSERT_EQ(reused.sideOf(n), fresh.sideOf(n)) << n;
}

// -------------------------------------------------------------- failures

// What the error sink was told, in order.
std::vector<std::string> gReported;
struct ReportSink : MessageSink {
  void message(std::string_view text) override { gReported.emplace_back(text); }
} recordReport;

// Runs `step` on a graph and returns the Error it raised (none: an Error of
// kind InvalidInput with an empty message, which no graph failure has).
template <class Step>
Error failureOf(Step&& step) {
  Status done = catchFailure(step, Error{});
  return done ? Error{ErrorKind::InvalidInput, ""} : std::move(done).error();
}

// The Error the solver returns for a graph failure: the message on a line of
// its own, an engine's failure (or OutOfMemory for a block not had).
void expectGraphError(const Error& error, const std::string& message, ErrorKind kind) {
  EXPECT_EQ(error.message, message + "\n");
  EXPECT_EQ(error.kind, kind);
}

// After a failure the graph is cleared and used again: the caller carries on.
void expectUsableAfterClear(FlowGraph& graph) {
  graph.clear();
  createNodes(graph, 2);
  graph.addTerminalCapacities(0, 3.0f, 0.0f);
  graph.addTerminalCapacities(1, 0.0f, 2.0f);
  graph.addArcPair(0, 1, 5.0f, 0.0f);
  EXPECT_EQ(graph.computeMaxFlow(), 2.0f);
}

TEST(FlowGraphFailure, ATailOf1024PairsIsLaidOutButNot1025) {
  FlowGraph fits;
  createNodes(fits, 3);
  for (int k = 0; k < 1024; ++k) fits.addArcPair(0, 1 + k % 2, 1.0f, 0.0f);
  fits.computeMaxFlow();
  EXPECT_EQ(fits.outArcs(0).size(), 1024u);

  const char* tooManyArcs = "# of arcs per node exceeds block size!";
  for (const bool asHead : {false, true}) {
    for (MessageSink* callback : {static_cast<MessageSink*>(&recordReport), static_cast<MessageSink*>(nullptr)}) {
      SCOPED_TRACE(::testing::Message() << (asHead ? "head" : "tail") << (callback ? ", told" : ", silent"));
      gReported.clear();
      FlowGraph graph(callback);
      createNodes(graph, 3);
      for (int k = 0; k < 1025; ++k) {
        if (asHead) {
          graph.addArcPair(1 + k % 2, 0, 1.0f, 0.0f);
        } else {
          graph.addArcPair(0, 1 + k % 2, 1.0f, 0.0f);
        }
      }
      EXPECT_TRUE(gReported.empty());  // nothing is judged before the layout
      expectGraphError(failureOf([&] { graph.computeMaxFlow(); }), tooManyArcs, ErrorKind::EngineFailure);
      EXPECT_EQ(gReported, callback ? std::vector<std::string>{tooManyArcs} : std::vector<std::string>{});
      expectUsableAfterClear(graph);
    }
  }
}

TEST(FlowGraphFailure, RunningOutOfMemoryIsReportedAndReturnedToTheCaller) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit below leaves";
#else
  gReported.clear();
  gReported.reserve(4);
  // Leave the process 64 MiB more address space than it maps now, and give
  // the limit back once the graph is refused.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
  std::size_t mapped = 0;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
      if (std::sscanf(line, "VmSize: %zu kB", &mapped) == 1) break;
    }
    std::fclose(status);
  }
  rlimit limit = saved;
  limit.rlim_cur = (mapped << 10) + (std::size_t{64} << 20);
  Error refused;
  {
    FlowGraph graph(&recordReport);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);
    refused = failureOf([&] {
      for (;;) graph.createNode();
    });
    setrlimit(RLIMIT_AS, &saved);
    expectUsableAfterClear(graph);
  }
  expectGraphError(refused, "Not enough memory!", ErrorKind::OutOfMemory);
  EXPECT_EQ(gReported, std::vector<std::string>{"Not enough memory!"});
#endif
}

TEST(FlowGraphFailure, MisuseIsRefusedInsteadOfCorruptingMemory) {
  struct Case {
    const char* what;
    void (*misuse)(FlowGraph&);
    const char* message;
  };
  const Case cases[] = {
      {"unknown node",
       [](FlowGraph& graph) {
         createNodes(graph, 2);
         graph.addArcPair(0, 2, 1.0f, 0.0f);
       },
       "Node 2 does not exist: the graph has 2 nodes!"},
      {"negative node",
       [](FlowGraph& graph) {
         graph.createNode();
         graph.addTerminalCapacities(-1, 1.0f, 0.0f);
       },
       "Node -1 does not exist: the graph has 1 nodes!"},
      {"addition after solving",
       [](FlowGraph& graph) {
         createNodes(graph, 2);
         graph.computeMaxFlow();
         graph.addArcPair(0, 1, 1.0f, 0.0f);
       },
       "Nothing can be added to a graph after computeMaxFlow!"},
      {"residual written before the layout",
       [](FlowGraph& graph) {
         createNodes(graph, 2);
         graph.setTerminalResidual(0, 1.0f);
       },
       "Residuals can be rewritten only in a laid-out graph: run computeMaxFlow, then reopen()!"},
      {"residual written into a solved graph not reopened",
       [](FlowGraph& graph) {
         createNodes(graph, 2);
         graph.addArcPair(0, 1, 1.0f, 1.0f);
         graph.computeMaxFlow();
         graph.setArcResiduals(graph.arcIndex(0, 1), 1.0f, 0.0f);
       },
       "Residuals can be rewritten only after reopen()!"},
      {"reopening a graph never laid out",
       [](FlowGraph& graph) {
         createNodes(graph, 2);
         graph.reopen();
       },
       "Only a laid-out graph can be reopened: run computeMaxFlow first!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gReported.clear();
    FlowGraph graph(&recordReport);
    expectGraphError(failureOf([&] { c.misuse(graph); }), c.message, ErrorKind::EngineFailure);
    EXPECT_EQ(gReported, std::vector<std::string>{c.message});
    expectUsableAfterClear(graph);
  }
}

}  // namespace
}  // namespace orbelt
