#pragma once
// An independent max-flow to check FlowGraph against: Boost Graph Library's
// push-relabel, in double precision, on the same nodes, terminal capacities
// and arc pairs, given through the same calls as FlowGraph.
//
// Terminal capacities are folded as FlowGraph folds them (the common part of a
// node's source and sink capacity is flow already pushed), but summed in
// double. Push-relabel wants every edge's reverse edge to have capacity 0, so
// each arc pair becomes two edge pairs.
//
// For tests and benchmarks only.
// Boost's own code trips GCC's flow analysis; keep the warning out of ours.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/push_relabel_max_flow.hpp>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <vector>

namespace orbelt::testing {

class BoostFlowOracle {
 public:
  explicit BoostFlowOracle(int nodeCount)
      : sourceSums_(static_cast<std::size_t>(nodeCount), 0.0), sinkSums_(static_cast<std::size_t>(nodeCount), 0.0) {}

  int nodeCount() const { return static_cast<int>(sourceSums_.size()); }

  void addTerminalCapacities(int node, double sourceCapacity, double sinkCapacity) {
    sourceSums_[static_cast<std::size_t>(node)] += sourceCapacity;
    sinkSums_[static_cast<std::size_t>(node)] += sinkCapacity;
  }

  void addArcPair(int tail, int head, double capacity, double reverseCapacity) {
    pairs_.push_back({tail, head, capacity, reverseCapacity});
  }

  // Builds the Boost graph and returns the folded flow plus the pushed flow.
  double computeMaxFlow() {
    const int n = nodeCount();
    const int source = n;
    const int sink = n + 1;
    graph_ = Graph(static_cast<std::size_t>(n + 2));
    double folded = 0.0;
    for (int v = 0; v < n; ++v) {
      const double s = sourceSums_[static_cast<std::size_t>(v)];
      const double t = sinkSums_[static_cast<std::size_t>(v)];
      folded += std::min(s, t);
      if (s > t) addEdge(source, v, s - t);
      if (t > s) addEdge(v, sink, t - s);
    }
    for (const Pair& p : pairs_) {
      if (p.tail == p.head) continue;  // a loop carries no flow
      addEdge(p.tail, p.head, p.capacity);
      addEdge(p.head, p.tail, p.reverseCapacity);
    }
    const double pushed =
        boost::push_relabel_max_flow(graph_, static_cast<std::size_t>(source), static_cast<std::size_t>(sink));
    markReachable(source);
    return folded + pushed;
  }

  // After computeMaxFlow: reachable from the source through positive
  // residuals, the smallest source side of all minimum cuts.
  bool reachableFromSource(int node) const { return reachable_[static_cast<std::size_t>(node)]; }

 private:
  using Traits = boost::adjacency_list_traits<boost::vecS, boost::vecS, boost::directedS>;
  using Graph = boost::adjacency_list<
      boost::vecS, boost::vecS, boost::directedS, boost::no_property,
      boost::property<boost::edge_capacity_t, double,
                      boost::property<boost::edge_residual_capacity_t, double,
                                      boost::property<boost::edge_reverse_t, Traits::edge_descriptor>>>>;

  struct Pair {
    int tail;
    int head;
    double capacity;
    double reverseCapacity;
  };

  void addEdge(int from, int to, double capacity) {
    auto capacityMap = boost::get(boost::edge_capacity, graph_);
    auto reverseMap = boost::get(boost::edge_reverse, graph_);
    const auto forward = boost::add_edge(static_cast<std::size_t>(from), static_cast<std::size_t>(to), graph_).first;
    const auto backward = boost::add_edge(static_cast<std::size_t>(to), static_cast<std::size_t>(from), graph_).first;
    capacityMap[forward] = capacity;
    capacityMap[backward] = 0.0;
    reverseMap[forward] = backward;
    reverseMap[backward] = forward;
  }

  void markReachable(int source) {
    reachable_.assign(boost::num_vertices(graph_), false);
    auto residualMap = boost::get(boost::edge_residual_capacity, graph_);
    std::deque<std::size_t> queue{static_cast<std::size_t>(source)};
    reachable_[static_cast<std::size_t>(source)] = true;
    while (!queue.empty()) {
      const std::size_t u = queue.front();
      queue.pop_front();
      for (auto [e, end] = boost::out_edges(u, graph_); e != end; ++e) {
        const std::size_t v = boost::target(*e, graph_);
        if (residualMap[*e] > 0 && !reachable_[v]) {
          reachable_[v] = true;
          queue.push_back(v);
        }
      }
    }
  }

  std::vector<double> sourceSums_;
  std::vector<double> sinkSums_;
  std::vector<Pair> pairs_;
  Graph graph_;
  std::vector<bool> reachable_;
};

}  // namespace orbelt::testing

#pragma GCC diagnostic pop
