#pragma once
// Random flow graphs for tests, as the calls that build them: grid-shaped
// like an expansion move, and irregular with hubs whose ranges need blocks of
// their own, with zero, tied and fractional capacities and terminal
// capacities of both signs.
#include <algorithm>
#include <random>
#include <vector>

#include "maxflow/FlowGraph.h"

namespace orbelt::maxflowtest {

using NodeId = FlowGraph::NodeId;

enum class Values { Eighths, Fractional };

struct Terminal {
  NodeId node;
  float source;
  float sink;
};
struct Pair {
  NodeId tail;
  NodeId head;
  float capacity;
  float reverse;
};
struct RandomGraph {
  int nodes = 0;
  std::vector<Terminal> terminals;
  std::vector<Pair> pairs;
};

class CapacityDraw {
 public:
  CapacityDraw(std::mt19937& random, Values values) : random_(random), values_(values) {}

  // A fifth zero, a quarter tied at 1, 2 or 4, the rest spread over [0, 8).
  float arc() {
    const unsigned r = random_() % 100;
    if (r < 20) return 0.0f;
    if (r < 45) return static_cast<float>(1u << (random_() % 3));
    if (values_ == Values::Eighths) return static_cast<float>(random_() % 64) / 8.0f;
    return std::uniform_real_distribution<float>(0.0f, 8.0f)(random_);
  }
  // Terminal capacities may be negative.
  float terminal() { return random_() % 5 == 0 ? -arc() : arc(); }

 private:
  std::mt19937& random_;
  Values values_;
};

inline void addTerminals(RandomGraph& g, NodeId node, std::mt19937& random, CapacityDraw& draw) {
  const int calls = 1 + static_cast<int>(random() % 3);
  for (int k = 0; k < calls; ++k) g.terminals.push_back({node, draw.terminal(), draw.terminal()});
}

// A width x height grid with some pixels missing, pairs to the right and down
// from the earlier pixel, as an expansion move builds them.
inline RandomGraph gridGraph(std::mt19937& random, Values values, int width, int height) {
  CapacityDraw draw(random, values);
  RandomGraph g;
  std::vector<NodeId> nodeOf(static_cast<std::size_t>(width * height), -1);
  for (int p = 0; p < width * height; ++p) {
    if (random() % 10 != 0) nodeOf[static_cast<std::size_t>(p)] = g.nodes++;
  }
  for (int p = 0; p < width * height; ++p) {
    const NodeId n = nodeOf[static_cast<std::size_t>(p)];
    if (n < 0) continue;
    addTerminals(g, n, random, draw);
    const int x = p % width;
    const int y = p / width;
    if (x + 1 < width && nodeOf[static_cast<std::size_t>(p + 1)] >= 0) {
      g.pairs.push_back({n, nodeOf[static_cast<std::size_t>(p + 1)], draw.arc(), draw.arc()});
    }
    if (y + 1 < height && nodeOf[static_cast<std::size_t>(p + width)] >= 0) {
      g.pairs.push_back({n, nodeOf[static_cast<std::size_t>(p + width)], draw.arc(), draw.arc()});
    }
  }
  return g;
}

// Random pairs between random nodes, parallel pairs allowed, terminal
// capacity on about half the nodes. Each end is one of `hubs` nodes with
// probability `hubShare`: heavy hubs have ranges too large to share a block.
inline RandomGraph irregularGraph(std::mt19937& random, Values values, int nodes, int pairs, int hubs = 0,
                                  double hubShare = 0.25) {
  CapacityDraw draw(random, values);
  RandomGraph g;
  g.nodes = nodes;
  for (NodeId n = 0; n < nodes; ++n) {
    if (random() % 2 == 0) addTerminals(g, n, random, draw);
  }
  if (hubs == 0) hubs = 1 + nodes / 50;
  std::bernoulli_distribution toHub(hubShare);
  auto pick = [&] {
    return toHub(random) ? static_cast<NodeId>(random() % static_cast<unsigned>(hubs))
                         : static_cast<NodeId>(random() % static_cast<unsigned>(nodes));
  };
  for (int k = 0; k < pairs; ++k) {
    const NodeId tail = pick();
    NodeId head = pick();
    if (head == tail) head = (tail + 1) % nodes;
    g.pairs.push_back({tail, head, draw.arc(), draw.arc()});
  }
  // Interleave terminal calls with pairs in the build order below.
  std::shuffle(g.terminals.begin(), g.terminals.end(), random);
  return g;
}

}  // namespace orbelt::maxflowtest
