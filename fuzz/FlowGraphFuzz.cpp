// FlowGraph built from bytes, solved, and judged against an independent
// max-flow (push-relabel in double precision).
//
// Input: per graph, a node count, then records of either terminal
// capacities or an arc pair. Capacities are multiples of 1/8 below 32, so
// every float sum the graph forms is exact and the flows must be equal, the
// cut it reports must cost exactly that flow, and its source side must be
// the smallest one of all minimum cuts (what the oracle's residual graph
// reaches). Two graphs are built on one FlowGraph with clear() between, as
// the optimizer reuses one graph across moves.
//
// Only uses the contract allows are generated: nodes that exist, arc
// capacities >= 0, and far fewer than 1024 pairs per node.
#include <cmath>
#include <cstdint>
#include <vector>

#include "fuzz/ByteReader.h"
#include "maxflow/FlowGraph.h"
#include "tests/maxflow/BoostFlowOracle.h"

namespace {

using orbelt::CutSide;
using orbelt::FlowGraph;
using orbelt::fuzz::ByteReader;
using orbelt::fuzz::failInvariant;

struct Terminal {
  int node;
  float source;
  float sink;
};
struct Pair {
  int tail;
  int head;
  float capacity;
  float reverse;
};

float eighths(ByteReader& in) { return static_cast<float>(in.u8()) / 8.0f; }
float signedEighths(ByteReader& in) {
  const std::uint8_t b = in.u8();
  return (b & 0x80 ? -1.0f : 1.0f) * static_cast<float>(b & 0x7F) / 4.0f;
}

void buildSolveAndCompare(FlowGraph& graph, ByteReader& in) {
  // Mostly small graphs; now and then one that spans several node blocks.
  const std::uint8_t sizeByte = in.u8();
  const int nodes = sizeByte < 240 ? 1 + sizeByte % 40 : 400 + (sizeByte - 240) * 60;
  const int records = in.pick(0, 200);
  std::vector<Terminal> terminals;
  std::vector<Pair> pairs;
  for (int k = 0; k < records && !in.empty(); ++k) {
    const std::uint8_t kind = in.u8();
    const int a = static_cast<int>(in.u16() % nodes);
    if (kind % 3 == 0) {
      terminals.push_back({a, signedEighths(in), signedEighths(in)});
    } else {
      // Neighbours in creation order most of the time, as a grid move makes them.
      const int b = kind % 3 == 1 ? (a + 1 + in.u8() % 3) % nodes : static_cast<int>(in.u16() % nodes);
      pairs.push_back({a, b, eighths(in), eighths(in)});
    }
  }

  const bool oneByOne = in.u8() & 1;
  if (oneByOne) {
    for (int v = 0; v < nodes; ++v) {
      if (graph.createNode() != v) failInvariant("createNode did not hand out creation indices");
    }
  } else if (graph.createNodes(nodes) != 0) {
    failInvariant("createNodes did not start at index 0");
  }
  orbelt::testing::BoostFlowOracle oracle(nodes);
  for (const Terminal& t : terminals) {
    graph.addTerminalCapacities(t.node, t.source, t.sink);
    oracle.addTerminalCapacities(t.node, t.source, t.sink);
  }
  for (const Pair& p : pairs) {
    graph.addArcPair(p.tail, p.head, p.capacity, p.reverse);
    oracle.addArcPair(p.tail, p.head, p.capacity, p.reverse);
  }
  const double flow = graph.computeMaxFlow();
  const double expected = oracle.computeMaxFlow();
  if (flow != expected) failInvariant("max-flow value differs from the oracle");

  // The cost of the reported cut, from the capacities as given.
  std::vector<double> sourceSum(static_cast<std::size_t>(nodes), 0.0);
  std::vector<double> sinkSum(static_cast<std::size_t>(nodes), 0.0);
  for (const Terminal& t : terminals) {
    sourceSum[static_cast<std::size_t>(t.node)] += t.source;
    sinkSum[static_cast<std::size_t>(t.node)] += t.sink;
  }
  double cut = 0.0;
  for (int v = 0; v < nodes; ++v) {
    const double s = sourceSum[static_cast<std::size_t>(v)];
    const double t = sinkSum[static_cast<std::size_t>(v)];
    const bool sourceSide = graph.sideOf(v) == CutSide::SourceSide;
    if (sourceSide != oracle.reachableFromSource(v)) failInvariant("source side is not the smallest minimum cut");
    cut += sourceSide ? t : s;
  }
  for (const Pair& p : pairs) {
    const bool tailSource = graph.sideOf(p.tail) == CutSide::SourceSide;
    const bool headSource = graph.sideOf(p.head) == CutSide::SourceSide;
    if (tailSource && !headSource) cut += p.capacity;
    if (!tailSource && headSource) cut += p.reverse;
  }
  if (cut != flow) failInvariant("the reported cut does not cost the flow");
  if (graph.computeMaxFlow() != flow) failInvariant("a second computeMaxFlow changed the flow");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  FlowGraph graph;
  buildSolveAndCompare(graph, in);
  graph.clear();
  buildSolveAndCompare(graph, in);
  return 0;
}
