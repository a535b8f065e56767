// The grid's max-flow: the source tree grows from its roots; where it meets
// the sink tree, flow is pushed along the path; nodes cut off by saturated
// links are adopted back or set free. Everything is iterative, residuals are
// compared with zero exactly, and every scan runs in a fixed order: the order
// decides which float residuals end at exactly zero.
#include "maxflow/GridFlow.h"

#include <cstdint>
#include <new>

#include "maxflow/FlowObserver.h"

namespace orbelt {

namespace {
constexpr std::int32_t kNone = -1;
constexpr std::int32_t kUnreachableDepth = 1000000000;
constexpr int opposite(int d) { return d ^ 2; }
static_assert(sizeof(GridFlow::Node) == 32, "two records to a cache line");
}  // namespace

bool GridFlow::resize(int width, int height) {
  records_.reset();
  nodes_ = nullptr;
  width_ = 0;
  height_ = 0;
  if (width <= 0 || height <= 0) return width >= 0 && height >= 0;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (count > SIZE_MAX / sizeof(Node)) return false;
  records_ = PageBuffer::allocate(count * sizeof(Node));
  if (!records_) return false;
  nodes_ = static_cast<Node*>(records_.data());
  width_ = width;
  height_ = height;
  offsets_[kRight] = 1;
  offsets_[kDown] = width;
  offsets_[kLeft] = -1;
  offsets_[kUp] = -width;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Node& n = nodes_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
      n = Node{};
      n.flags = static_cast<std::uint8_t>((x + 1 < width ? 1 << kRight : 0) | (y + 1 < height ? 1 << kDown : 0) |
                                          (x > 0 ? 1 << kLeft : 0) | (y > 0 ? 1 << kUp : 0));
    }
  }
  solve_ = 0;
  return true;
}

void GridFlow::beginSolve(NodeSource* source) {
  source_ = source;
  // A record opened in an earlier solve counts as closed now. (A record
  // never opened holds 0, which no solve uses.) The counter is a byte:
  // when it wraps, every record is marked closed once, so a record opened
  // 255 solves ago cannot pass for open.
  ++solve_;
  if (solve_ == 0) {
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    for (std::size_t i = 0; i < count; ++i) nodes_[i].openedIn = 0;
    solve_ = 1;
  }
}

inline bool GridFlow::reachable(const Region& s, std::int32_t i, int d) const {
  if ((nodes_[i].flags & (1u << d)) == 0) return false;
  const std::int32_t j = neighbour(i, d);
  return j >= s.first && j < s.end;
}

void GridFlow::openLazily(Region& s, std::int32_t j) {
  source_->openNode(j);
  // The caller lists every source root; one the search meets unlisted still
  // grows, so the flow stays maximal whatever the list held.
  if (nodes_[j].terminal > 0) activate(s, j);
}

// Appends to the active queue unless the node is queued already (or is the
// current node, marked queued while its augmentation runs).
inline void GridFlow::activate(Region& s, std::int32_t i) {
  Node& n = nodes_[i];
  if ((n.flags & kQueuedFlag) != 0) return;
  markReached(s, i);
  n.flags |= kQueuedFlag;
  s.active.push_back(i);
}

// Nodes come out in the order they were appended; nodes freed while queued
// are dropped.
std::int32_t GridFlow::nextActiveNode(Region& s) {
  for (;;) {
    if (s.activeHead == s.active.size()) {
      s.active.clear();
      s.activeHead = 0;
      return kNone;
    }
    // The queue keeps its taken front until it is half the queue, so
    // dropping it costs a move of each entry at most once.
    if (s.activeHead >= 4096 && 2 * s.activeHead >= s.active.size()) {
      s.active.erase(s.active.begin(), s.active.begin() + static_cast<std::ptrdiff_t>(s.activeHead));
      s.activeHead = 0;
    }
    const std::int32_t i = s.active[s.activeHead++];
    Node& n = nodes_[i];
    n.flags &= static_cast<std::uint8_t>(~kQueuedFlag);
    if (n.parent != kNoParent) return i;
  }
}

float GridFlow::solveRegion(int firstRow, int endRow, std::span<const std::int32_t> roots, Region& region) {
  Region& s = region;
  s.active.clear();
  s.activeHead = 0;
  s.first = firstRow * width_;
  s.end = endRow * width_;
  s.clock = 0;
  s.flow = 0.0f;
  s.pushedOrphans.clear();
  s.orphanQueue.clear();
  s.reached.clear();
  for (const std::int32_t root : roots) activate(s, root);
  runSearch(s);
  return s.flow;
}

float GridFlow::joinRegions(std::span<Region* const> regions, std::span<const std::int32_t> joiningUpperNodes) {
  Region& s = *regions.front();
  float flow = 0.0f;
  std::int32_t clock = 0;
  // Every stamp a region search left is below the joined search's clock, so
  // no depth is taken as confirmed before this search confirms it.
  for (const Region* region : regions) {
    if (region->clock > clock) clock = region->clock;
    flow += region->flow;
  }
  s.active.clear();
  s.activeHead = 0;
  s.first = 0;
  s.end = width_ * height_;
  s.clock = clock;
  s.flow = 0.0f;
  // The regions' trees are trees of the whole grid; only the ends of the
  // joining pairs may now reach a node outside their tree. Sink roots stay
  // passive, so only source-tree ends grow again.
  auto wake = [&](std::int32_t i, int outward) {
    const Node& n = nodes_[i];
    if (n.openedIn != solve_ || n.parent == kNoParent || treeOf(n) != 0) return;
    if (n.residual[outward] != 0) activate(s, i);
  };
  for (const std::int32_t p : joiningUpperNodes) {
    wake(p, kDown);
    wake(p + width_, kUp);
  }
  runSearch(s);
  return flow + s.flow;
}

void GridFlow::runSearch(Region& s) {
  std::int32_t current = kNone;
  for (;;) {
    if (current != kNone) {
      nodes_[current].flags &= static_cast<std::uint8_t>(~kQueuedFlag);
      if (nodes_[current].parent == kNoParent) current = kNone;
    }
    if (current == kNone) {
      current = nextActiveNode(s);
      if (current == kNone) break;
    }
    if (observer_ != nullptr) observer_->onGrowth(current);
    Connection connection{};
    const bool found =
        treeOf(nodes_[current]) == 0 ? growSourceTree(s, current, connection) : growSinkTree(s, current, connection);
    ++s.clock;
    if (found) {
      // Kept out of the queue during adoption: it grows again next.
      nodes_[current].flags |= kQueuedFlag;
      augment(s, connection);
      adoptOrphans(s);
    } else {
      current = kNone;
    }
  }
}

// Grows the source tree from i along residuals leaving i; stops at the first
// sink-tree neighbour.
bool GridFlow::growSourceTree(Region& s, std::int32_t i, Connection& connection) {
  for (int d = 0; d < 4; ++d) {
    // Zero towards a missing neighbour, and towards another region.
    if (nodes_[i].residual[d] == 0) continue;
    const std::int32_t j = neighbour(i, d);
    ensureOpen(s, j);
    const Node& n = nodes_[i];
    Node& m = nodes_[j];
    if (m.parent == kNoParent) {
      setTree(m, 0);
      hangBelow(m, n, d);
      activate(s, j);
    } else if (treeOf(m) != 0) {
      connection = {i, j, d};
      return true;
    } else if (m.stamp <= n.stamp && m.depth > n.depth) {
      hangBelow(m, n, d);
    }
  }
  return false;
}

// One neighbour of sink-tree node i: joins the sink tree if free and able to
// send flow to i; returns true at a source-tree neighbour (a connection).
bool GridFlow::growSinkTowards(Region& s, std::int32_t i, int d, Connection& connection) {
  if (!reachable(s, i, d)) return false;
  const std::int32_t j = neighbour(i, d);
  ensureOpen(s, j);
  const Node& n = nodes_[i];
  Node& m = nodes_[j];
  if (m.residual[opposite(d)] == 0) return false;
  if (m.parent == kNoParent) {
    setTree(m, 1);
    hangBelow(m, n, d);
    activate(s, j);
  } else if (treeOf(m) == 0) {
    connection = {j, i, opposite(d)};
    return true;
  } else if (m.stamp <= n.stamp && m.depth > n.depth) {
    hangBelow(m, n, d);
  }
  return false;
}

// Grows the sink tree from i along residuals entering i: right and down
// until a connection, then left and up, always; a connection there replaces
// the first one.
bool GridFlow::growSinkTree(Region& s, std::int32_t i, Connection& connection) {
  bool found = growSinkTowards(s, i, kRight, connection) || growSinkTowards(s, i, kDown, connection);
  if (growSinkTowards(s, i, kLeft, connection) || growSinkTowards(s, i, kUp, connection)) found = true;
  return found;
}

float GridFlow::bottleneck(const Connection& c) const {
  float b = nodes_[c.s].residual[c.d];
  for (std::int32_t i = c.s;;) {
    const Node& n = nodes_[i];
    if (n.parent == kTerminalParent) {
      if (n.terminal < b) b = n.terminal;
      break;
    }
    const int d = n.parent - kParentTowards;
    const std::int32_t parent = neighbour(i, d);
    const float residual = nodes_[parent].residual[opposite(d)];
    if (residual < b) b = residual;
    i = parent;
  }
  for (std::int32_t i = c.t;;) {
    const Node& n = nodes_[i];
    if (n.parent == kTerminalParent) {
      if (-n.terminal < b) b = -n.terminal;
      break;
    }
    const int d = n.parent - kParentTowards;
    if (n.residual[d] < b) b = n.residual[d];
    i = neighbour(i, d);
  }
  return b;
}

// Pushes the bottleneck along source -> ... -> s -> t -> ... -> sink. Links
// that saturate make orphans, in path order: the source side from s up, then
// the sink side from t up.
void GridFlow::augment(Region& s, const Connection& c) {
  const float b = bottleneck(c);
  nodes_[c.t].residual[opposite(c.d)] += b;
  nodes_[c.s].residual[c.d] -= b;
  nodes_[c.s].flowChanged |= static_cast<std::uint8_t>(1u << c.d);
  nodes_[c.t].flowChanged |= static_cast<std::uint8_t>(1u << opposite(c.d));
  for (std::int32_t i = c.s;;) {
    Node& n = nodes_[i];
    if (n.parent == kTerminalParent) {
      n.terminal -= b;
      if (n.terminal == 0) pushOrphan(s, i);
      break;
    }
    const int d = n.parent - kParentTowards;
    const std::int32_t parent = neighbour(i, d);
    Node& p = nodes_[parent];
    n.residual[d] += b;
    float& down = p.residual[opposite(d)];
    down -= b;
    n.flowChanged |= static_cast<std::uint8_t>(1u << d);
    p.flowChanged |= static_cast<std::uint8_t>(1u << opposite(d));
    if (down == 0) pushOrphan(s, i);
    i = parent;
  }
  for (std::int32_t i = c.t;;) {
    // The source side's nodes were queued when they joined their tree; the
    // sink side's may never have been.
    markReached(s, i);
    Node& n = nodes_[i];
    if (n.parent == kTerminalParent) {
      n.terminal += b;
      if (n.terminal == 0) pushOrphan(s, i);
      break;
    }
    const int d = n.parent - kParentTowards;
    const std::int32_t parent = neighbour(i, d);
    Node& p = nodes_[parent];
    p.residual[opposite(d)] += b;
    float& up = n.residual[d];
    up -= b;
    n.flowChanged |= static_cast<std::uint8_t>(1u << d);
    p.flowChanged |= static_cast<std::uint8_t>(1u << opposite(d));
    if (up == 0) pushOrphan(s, i);
    i = parent;
  }
  s.flow += b;
  if (observer_ != nullptr) observer_->onAugmentation(c.s, c.t, b);
}

inline void GridFlow::pushOrphan(Region& s, std::int32_t i) {
  nodes_[i].parent = kOrphanParent;
  s.pushedOrphans.push_back(i);
}

// The augmentation's orphans are adopted from the last one met back to the
// first, each together with every orphan its adoption appends,
// breadth-first, before the next one is taken.
void GridFlow::adoptOrphans(Region& s) {
  for (std::size_t k = s.pushedOrphans.size(); k-- > 0;) {
    s.orphanQueue.clear();
    s.orphanQueue.push_back(s.pushedOrphans[k]);
    for (std::size_t head = 0; head < s.orphanQueue.size(); ++head) {
      const std::int32_t i = s.orphanQueue[head];
      if (treeOf(nodes_[i]) == 1) {
        adoptSinkOrphan(s, i);
      } else {
        adoptSourceOrphan(s, i);
      }
      if (observer_ != nullptr) observer_->onAdoption(i, nodes_[i].parent != kNoParent);
    }
  }
  s.pushedOrphans.clear();
}

// Offers neighbour j (in direction d from the orphan) as its new parent when
// j is in `tree` and still rooted at its terminal. Its depth is found by
// walking up to the first node confirmed in this adoption (stamp equal to
// the clock) or to the root, and the walked path is stamped so the next
// candidate's walk stops early. The shallowest candidate wins; of equal
// depths the first one met stays.
void GridFlow::considerParent(Region& s, std::int32_t j, int d, std::uint8_t tree, Candidate& best) {
  if (nodes_[j].parent == kNoParent || treeOf(nodes_[j]) != tree) return;
  std::int32_t depth = 0;
  for (std::int32_t i = j;;) {
    Node& n = nodes_[i];
    if (n.stamp == s.clock) {
      depth += n.depth;
      break;
    }
    ++depth;
    if (n.parent == kTerminalParent) {
      n.stamp = s.clock;
      n.depth = 1;
      break;
    }
    // Hanging below an orphan: not rooted.
    if (n.parent < kParentTowards) return;
    i = neighbour(i, n.parent - kParentTowards);
  }
  if (depth >= kUnreachableDepth) return;
  if (depth < best.depth) best = {d, depth};
  for (std::int32_t i = j; nodes_[i].stamp != s.clock;) {
    Node& n = nodes_[i];
    n.stamp = s.clock;
    n.depth = depth;
    --depth;
    i = neighbour(i, n.parent - kParentTowards);
  }
}

void GridFlow::adoptSourceOrphan(Region& s, std::int32_t i) {
  Candidate best{-1, kUnreachableDepth};
  // A parent must be able to send flow to i. A node not open is in no source tree.
  for (int d = 0; d < 4; ++d) {
    if (!reachable(s, i, d)) continue;
    const std::int32_t j = neighbour(i, d);
    if (nodes_[j].openedIn != solve_ || nodes_[j].residual[opposite(d)] == 0) continue;
    considerParent(s, j, d, 0, best);
  }
  settleOrphan(s, i, best, 0);
}

void GridFlow::adoptSinkOrphan(Region& s, std::int32_t i) {
  Candidate best{-1, kUnreachableDepth};
  // A parent must be able to take flow from i; a sink root not open yet may.
  for (int d = 0; d < 4; ++d) {
    if (!reachable(s, i, d) || nodes_[i].residual[d] == 0) continue;
    const std::int32_t j = neighbour(i, d);
    ensureOpen(s, j);
    considerParent(s, j, d, 1, best);
  }
  settleOrphan(s, i, best, 1);
}

// Gives orphan i of `tree` the best parent found, or sets it free.
void GridFlow::settleOrphan(Region& s, std::int32_t i, const Candidate& best, std::uint8_t tree) {
  if (best.direction < 0) {
    freeOrphan(s, i, tree);
    return;
  }
  Node& n = nodes_[i];
  n.parent = static_cast<std::uint8_t>(kParentTowards + best.direction);
  n.stamp = s.clock;
  n.depth = best.depth + 1;
}

// Sets orphan i of `tree` free: the tree's neighbours that could feed it
// again become active, and its children become orphans in turn.
void GridFlow::freeOrphan(Region& s, std::int32_t i, std::uint8_t tree) {
  nodes_[i].parent = kNoParent;
  nodes_[i].stamp = 0;
  for (int d = 0; d < 4; ++d) {
    if (!reachable(s, i, d)) continue;
    const std::int32_t j = neighbour(i, d);
    // A node not open is in no tree. (A sink orphan's search for a parent
    // opened every neighbour it can feed.)
    if (nodes_[j].openedIn != solve_) continue;
    const float outward = nodes_[i].residual[d];
    Node& m = nodes_[j];
    const float inward = m.residual[opposite(d)];
    if (outward == 0 && inward == 0) continue;
    if (m.parent == kNoParent || treeOf(m) != tree) continue;
    if ((tree == 0 ? inward : outward) != 0) activate(s, j);
    if (m.parent == kParentTowards + opposite(d)) {
      m.parent = kOrphanParent;
      s.orphanQueue.push_back(j);
    }
  }
}

}  // namespace orbelt
