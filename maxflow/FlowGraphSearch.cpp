// The max-flow: a source tree and a sink tree grow from the nodes with
// terminal residual left; where they touch, flow is pushed along the path;
// nodes cut off by saturated links are adopted back or set free. When no node
// is active any more the source tree is the source side of a minimum cut.
//
// Everything is iterative (trees can be as deep as the graph is long), and
// residuals are compared with zero exactly: the order of every scan below
// decides which float residuals end at exactly zero.
#include "maxflow/FlowGraph.h"
#include "maxflow/FlowLinks.h"
#include "maxflow/FlowObserver.h"
#include "maxflow/OrphanPool.h"

namespace orbelt {

namespace {
constexpr std::int32_t kNone = -1;
}  // namespace

float FlowGraph::computeMaxFlow() {
  // Solving is final: a second call has nothing left to push.
  if (solved_) return flow_;
  // A reopened graph keeps its layout.
  if (!laidOut_) layoutArcs();
  SearchState s = stateFor(orphanPool_);
  s.flow = flow_;
  initSearch(s, 0, nodeCount_);
  runSearch(s);
  flow_ = s.flow;
  solved_ = true;
  return flow_;
}

FlowGraph::SearchState FlowGraph::stateFor(OrphanPool& orphans) const {
  SearchState s;
  s.activeHead[0] = s.activeHead[1] = kNone;
  s.activeTail[0] = s.activeTail[1] = kNone;
  s.orphanHead = s.orphanTail = nullptr;
  s.clock = 0;
  s.flow = 0.0f;
  s.orphans = &orphans;
  s.observer = observer_;
  return s;
}

float FlowGraph::solveRegion(NodeId first, NodeId end, RegionSearch& region) {
  requireReopened();
  if (first < 0 || end > nodeCount_ || first > end) fail("A region must be a range of the graph's nodes!");
  SearchState& s = region.state_;
  s = stateFor(region.orphans_);
  initSearch(s, first, end);
  runSearch(s);
  return s.flow;
}

float FlowGraph::joinRegions(std::span<RegionSearch* const> regions, std::span<const JoiningPair> joining) {
  requireReopened();
  SearchState s = stateFor(orphanPool_);
  s.flow = flow_;
  // Every stamp a region search left is below the joined search's clock, so
  // no depth is taken as confirmed by this search before it is.
  for (const RegionSearch* region : regions) {
    if (region->state_.clock > s.clock) s.clock = region->state_.clock;
    s.flow += region->state_.flow;
  }
  // The regions' trees are valid trees of the whole graph; only the ends of
  // the joining pairs may now reach a node outside their tree, so they alone
  // are set to grow again.
  FlowNode* nodes = nodes_.records();
  const FlowArc* arcs = arcs_.records();
  auto wake = [&](NodeId node, float outward, float inward) {
    const std::int32_t ref = nodeRef(node);
    const FlowNode& n = nodes[ref];
    if (n.parentLink == links::kParentNull) return;
    if (n.inSinkTree == 0 ? outward != 0 : (!sinkRootsPassive_ && inward != 0)) activate(s, ref);
  };
  for (const JoiningPair& pair : joining) {
    const FlowArc& arc = arcs[pair.arc];
    wake(pair.tail, arc.residual, arc.reverseResidual);
    wake(pair.head, arc.reverseResidual, arc.residual);
  }
  runSearch(s);
  flow_ = s.flow;
  solved_ = true;
  return flow_;
}

// Resets the nodes [first, end) (creation indices) for a new search and
// makes every node with terminal residual left a root: newest block first,
// creation order inside, as the whole graph's search always took them.
void FlowGraph::initSearch(SearchState& s, NodeId first, NodeId end) {
  FlowNode* nodes = nodes_.records();
  if (first >= end) return;
  for (std::int32_t nodeRank = (end - 1) / kNodesPerBlock; nodeRank >= first / kNodesPerBlock; --nodeRank) {
    const NodeId rankFirst = nodeRank * kNodesPerBlock;
    const NodeId from = first > rankFirst ? first : rankFirst;
    const NodeId to = end < rankFirst + nodes_.fill(nodeRank) ? end : rankFirst + nodes_.fill(nodeRank);
    const std::int32_t slots = decltype(nodes_)::firstSlot(nodeRank) - rankFirst;
    for (std::int32_t ref = from + slots; ref < to + slots; ++ref) {
      FlowNode& n = nodes[ref];
      n.nextActive = links::kNotQueued;
      n.stamp = 0;
      if (n.terminalResidual > 0) {
        n.inSinkTree = 0;
        n.parentLink = links::kParentTerminal;
        activate(s, ref);
        n.depth = 1;
      } else if (n.terminalResidual < 0) {
        n.inSinkTree = 1;
        n.parentLink = links::kParentTerminal;
        if (!sinkRootsPassive_) activate(s, ref);
        n.depth = 1;
      } else {
        n.parentLink = links::kParentNull;
        n.inSinkTree = 0;
        n.depth = 0;
      }
    }
  }
}

// Appends to list 1 unless the node is queued already (or is the current
// node, which points to itself while its augmentation runs).
inline void FlowGraph::activate(SearchState& s, std::int32_t ref) {
  FlowNode* nodes = nodes_.records();
  if (nodes[ref].nextActive != links::kNotQueued) return;
  if (s.activeTail[1] != kNone) {
    nodes[s.activeTail[1]].nextActive = ref;
  } else {
    s.activeHead[1] = ref;
  }
  s.activeTail[1] = ref;
  nodes[ref].nextActive = ref;
}

// Nodes come out in exactly the order they were appended: list 0 is refilled
// from list 1 only when it is empty. Nodes freed while queued are dropped.
std::int32_t FlowGraph::nextActiveNode(SearchState& s) {
  FlowNode* nodes = nodes_.records();
  for (;;) {
    if (s.activeHead[0] == kNone) {
      s.activeHead[0] = s.activeHead[1];
      s.activeTail[0] = s.activeTail[1];
      s.activeHead[1] = s.activeTail[1] = kNone;
      if (s.activeHead[0] == kNone) return kNone;
    }
    const std::int32_t n = s.activeHead[0];
    if (nodes[n].nextActive == n) {
      s.activeHead[0] = s.activeTail[0] = kNone;
    } else {
      s.activeHead[0] = nodes[n].nextActive;
    }
    nodes[n].nextActive = links::kNotQueued;
    if (nodes[n].parentLink != links::kParentNull) return n;
  }
}

void FlowGraph::runSearch(SearchState& s) {
  FlowNode* nodes = nodes_.records();
  std::int32_t current = kNone;
  for (;;) {
    if (current != kNone) {
      nodes[current].nextActive = links::kNotQueued;
      if (nodes[current].parentLink == links::kParentNull) current = kNone;
    }
    if (current == kNone) {
      current = nextActiveNode(s);
      if (current == kNone) break;
    }
    if (s.observer != nullptr) s.observer->onGrowth(idOfRef(current));

    Connection connection;
    const bool found =
        nodes[current].inSinkTree == 0 ? growSourceTree(s, current, connection) : growSinkTree(s, current, connection);
    ++s.clock;
    if (found) {
      // Keep it out of the active list during adoption: it grows again next.
      nodes[current].nextActive = current;
      augmentPath(s, connection);
      adoptOrphans(s);
    } else {
      current = kNone;
    }
  }
}

// Grows the source tree from i along residuals leaving i; stops at the first
// sink-tree neighbour. Out-arcs first, the in-range only when they found none.
bool FlowGraph::growSourceTree(SearchState& s, std::int32_t i, Connection& connection) {
  FlowNode* nodes = nodes_.records();
  FlowArc* arcs = arcs_.records();
  const InArcRef* entries = refs_.records();
  const std::int32_t* tailOffsets = inTailOffsets_.data();
  FlowNode& n = nodes[i];
  std::uint32_t begin = 0;
  std::uint32_t end = 0;

  outRange(i, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    FlowArc& arc = arcs[a];
    if (arc.residual == 0) continue;
    const std::int32_t j = i + arc.headOffset;
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull) {
      m.inSinkTree = 0;
      m.parentLink = links::arcLink(a, true);
      m.parent = i;
      m.stamp = n.stamp;
      m.depth = n.depth + 1;
      activate(s, j);
    } else if (m.inSinkTree != 0) {
      connection = {i, j, &arc.residual, &arc.reverseResidual};
      return true;
    } else if (m.stamp <= n.stamp && m.depth > n.depth) {
      m.parentLink = links::arcLink(a, true);
      m.parent = i;
      m.stamp = n.stamp;
      m.depth = n.depth + 1;
    }
  }

  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    FlowArc& arc = arcs[a];
    if (arc.reverseResidual == 0) continue;
    const std::int32_t j = i - tailOffsets[e];
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull) {
      m.inSinkTree = 0;
      m.parentLink = links::arcLink(a, false);
      m.parent = i;
      m.stamp = n.stamp;
      m.depth = n.depth + 1;
      activate(s, j);
    } else if (m.inSinkTree != 0) {
      connection = {i, j, &arc.reverseResidual, &arc.residual};
      return true;
    } else if (m.stamp <= n.stamp && m.depth > n.depth) {
      m.parentLink = links::arcLink(a, false);
      m.parent = i;
      m.stamp = n.stamp;
      m.depth = n.depth + 1;
    }
  }
  return false;
}

// Grows the sink tree from i along residuals entering i. A source-tree
// neighbour on an out-arc ends only the out-range scan: the in-range is
// always scanned, its free neighbours join, and a connection found there
// replaces the first one and ends growth.
bool FlowGraph::growSinkTree(SearchState& s, std::int32_t i, Connection& connection) {
  FlowNode* nodes = nodes_.records();
  FlowArc* arcs = arcs_.records();
  const InArcRef* entries = refs_.records();
  const std::int32_t* tailOffsets = inTailOffsets_.data();
  FlowNode& n = nodes[i];
  bool found = false;
  std::uint32_t begin = 0;
  std::uint32_t end = 0;

  outRange(i, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    FlowArc& arc = arcs[a];
    if (arc.reverseResidual == 0) continue;
    const std::int32_t j = i + arc.headOffset;
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull) {
      m.inSinkTree = 1;
      m.parentLink = links::arcLink(a, true);
      m.parent = i;
      m.stamp = n.stamp;
      m.depth = n.depth + 1;
      activate(s, j);
    } else if (m.inSinkTree == 0) {
      connection = {j, i, &arc.reverseResidual, &arc.residual};
      found = true;
      break;
    } else if (m.stamp <= n.stamp && m.depth > n.depth) {
      m.parentLink = links::arcLink(a, true);
      m.parent = i;
      m.stamp = n.stamp;
      m.depth = n.depth + 1;
    }
  }

  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    FlowArc& arc = arcs[a];
    if (arc.residual == 0) continue;
    const std::int32_t j = i - tailOffsets[e];
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull) {
      m.inSinkTree = 1;
      m.parentLink = links::arcLink(a, false);
      m.parent = i;
      m.stamp = n.stamp;
      m.depth = n.depth + 1;
      activate(s, j);
    } else if (m.inSinkTree == 0) {
      connection = {j, i, &arc.residual, &arc.reverseResidual};
      return true;
    } else if (m.stamp <= n.stamp && m.depth > n.depth) {
      m.parentLink = links::arcLink(a, false);
      m.parent = i;
      m.stamp = n.stamp;
      m.depth = n.depth + 1;
    }
  }
  return found;
}

// Pushes the bottleneck amount along source -> ... -> s -> t -> ... -> sink.
// Links that saturate make orphans, pushed to the front of the orphan list as
// they are met: the source side from s up, then the sink side from t up.
//
void FlowGraph::augmentPath(SearchState& s, const Connection& connection) {
  FlowNode* nodes = nodes_.records();
  FlowArc* arcs = arcs_.records();
  float b = *connection.forward;

  // Bottleneck on the source side (parent-to-child residuals).
  for (std::int32_t ref = connection.sourceSideEnd;;) {
    const FlowNode& n = nodes[ref];
    const std::uint32_t link = n.parentLink;
    if (link == links::kParentTerminal) {
      if (n.terminalResidual < b) b = n.terminalResidual;
      break;
    }
    const float residual = towardsChild(arcs[links::linkArc(link)], link);
    if (residual < b) b = residual;
    ref = n.parent;
  }
  // ... and on the sink side (child-to-parent residuals).
  for (std::int32_t ref = connection.sinkSideEnd;;) {
    const FlowNode& n = nodes[ref];
    const std::uint32_t link = n.parentLink;
    if (link == links::kParentTerminal) {
      if (-n.terminalResidual < b) b = -n.terminalResidual;
      break;
    }
    const float residual = towardsParent(arcs[links::linkArc(link)], link);
    if (residual < b) b = residual;
    ref = n.parent;
  }

  *connection.backward += b;
  *connection.forward -= b;

  for (std::int32_t ref = connection.sourceSideEnd;;) {
    FlowNode& n = nodes[ref];
    const std::uint32_t link = n.parentLink;
    if (link == links::kParentTerminal) {
      n.terminalResidual -= b;
      if (n.terminalResidual == 0) pushOrphanFront(s, ref);
      break;
    }
    FlowArc& arc = arcs[links::linkArc(link)];
    towardsParent(arc, link) += b;
    float& down = towardsChild(arc, link);
    down -= b;
    const std::int32_t parent = n.parent;
    if (down == 0) pushOrphanFront(s, ref);
    ref = parent;
  }
  for (std::int32_t ref = connection.sinkSideEnd;;) {
    FlowNode& n = nodes[ref];
    const std::uint32_t link = n.parentLink;
    if (link == links::kParentTerminal) {
      n.terminalResidual += b;
      if (n.terminalResidual == 0) pushOrphanFront(s, ref);
      break;
    }
    FlowArc& arc = arcs[links::linkArc(link)];
    towardsChild(arc, link) += b;
    float& up = towardsParent(arc, link);
    up -= b;
    const std::int32_t parent = n.parent;
    if (up == 0) pushOrphanFront(s, ref);
    ref = parent;
  }

  s.flow += b;
  if (s.observer != nullptr) {
    s.observer->onAugmentation(idOfRef(connection.sourceSideEnd), idOfRef(connection.sinkSideEnd), b);
  }
}

inline void FlowGraph::pushOrphanFront(SearchState& s, std::int32_t ref) {
  nodes_.records()[ref].parentLink = links::kParentOrphan;
  OrphanItem* item = s.orphans->take();
  item->node = ref;
  item->next = s.orphanHead;
  s.orphanHead = item;
}

inline void FlowGraph::appendOrphan(SearchState& s, std::int32_t ref) {
  nodes_.records()[ref].parentLink = links::kParentOrphan;
  OrphanItem* item = s.orphans->take();
  item->node = ref;
  if (s.orphanTail != nullptr) {
    s.orphanTail->next = item;
  } else {
    s.orphanHead = item;
  }
  s.orphanTail = item;
  item->next = nullptr;
}

// Each orphan of the augmentation is adopted together with every orphan its
// adoption appends, breadth-first, before the next one is taken.
void FlowGraph::adoptOrphans(SearchState& s) {
  const FlowNode* nodes = nodes_.records();
  while (s.orphanHead != nullptr) {
    OrphanItem* rest = s.orphanHead->next;
    s.orphanHead->next = nullptr;
    while (s.orphanHead != nullptr) {
      OrphanItem* item = s.orphanHead;
      s.orphanHead = item->next;
      const std::int32_t ref = item->node;
      s.orphans->giveBack(item);
      if (s.orphanHead == nullptr) s.orphanTail = nullptr;
      if (nodes[ref].inSinkTree == 1) {
        adoptSinkOrphan(s, ref);
      } else {
        adoptSourceOrphan(s, ref);
      }
      if (s.observer != nullptr) s.observer->onAdoption(idOfRef(ref), nodes[ref].parentLink != links::kParentNull);
    }
    s.orphanHead = rest;
  }
}

// Offers neighbour j (reached through `link`, the link i would take) as i's
// new parent when j is in `tree` and still rooted at its terminal. Its depth
// is found by walking up to the first node confirmed in this adoption (stamp
// equal to the clock) or to the root, and the walked path is stamped so the
// next candidate's walk stops early. The shallowest candidate wins; of equal
// depths the first one met stays.
inline void FlowGraph::considerParent(SearchState& s, std::int32_t j, std::uint32_t link, std::int16_t tree,
                                      Candidate& best) {
  FlowNode* nodes = nodes_.records();
  if (nodes[j].parentLink == links::kParentNull || nodes[j].inSinkTree != tree) return;

  std::int32_t d = 0;
  for (std::int32_t ref = j;;) {
    FlowNode& n = nodes[ref];
    if (n.stamp == s.clock) {
      d += n.depth;
      break;
    }
    ++d;
    if (n.parentLink == links::kParentTerminal) {
      n.stamp = s.clock;
      n.depth = 1;
      break;
    }
    // Hanging below an orphan: not rooted. (A tree node never hangs below a
    // free one, since freeing a node orphans its children; the null test only
    // keeps a broken tree from being walked off.)
    if (!links::isArcLink(n.parentLink)) return;
    ref = n.parent;
  }
  if (d >= kUnreachableDepth) return;
  if (d < best.depth) {
    best.link = link;
    best.parent = j;
    best.depth = d;
  }
  for (std::int32_t ref = j; nodes[ref].stamp != s.clock;) {
    FlowNode& n = nodes[ref];
    n.stamp = s.clock;
    n.depth = d;
    --d;
    ref = n.parent;
  }
}

void FlowGraph::adoptSourceOrphan(SearchState& s, std::int32_t i) {
  FlowNode* nodes = nodes_.records();
  const FlowArc* arcs = arcs_.records();
  const InArcRef* entries = refs_.records();
  const std::int32_t* tailOffsets = inTailOffsets_.data();
  Candidate best{links::kParentNull, 0, kUnreachableDepth};
  std::uint32_t begin = 0;
  std::uint32_t end = 0;

  // A parent must be able to send flow to i.
  outRange(i, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    if (arcs[a].reverseResidual == 0) continue;
    considerParent(s, i + arcs[a].headOffset, links::arcLink(a, false), 0, best);
  }
  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    if (arcs[a].residual == 0) continue;
    considerParent(s, i - tailOffsets[e], links::arcLink(a, true), 0, best);
  }

  FlowNode& n = nodes[i];
  n.parentLink = best.link;
  if (best.link != links::kParentNull) {
    n.parent = best.parent;
    n.stamp = s.clock;
    n.depth = best.depth + 1;
    return;
  }

  // Set free: neighbours that could feed i again become active, and i's
  // children become orphans in turn.
  n.stamp = 0;
  outRange(i, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    // A pair with no residual either way carries no tree link and can feed
    // nothing: its other end is not read (it may belong to another region).
    if (arcs[a].residual == 0 && arcs[a].reverseResidual == 0) continue;
    const std::int32_t j = i + arcs[a].headOffset;
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull || m.inSinkTree != 0) continue;
    if (arcs[a].reverseResidual != 0) activate(s, j);
    if (links::isArcLink(m.parentLink) && links::isTaggedLink(m.parentLink) && m.parent == i) {
      appendOrphan(s, j);
    }
  }
  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    if (arcs[a].residual == 0 && arcs[a].reverseResidual == 0) continue;
    const std::int32_t j = i - tailOffsets[e];
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull || m.inSinkTree != 0) continue;
    if (arcs[a].residual != 0) activate(s, j);
    if (links::isArcLink(m.parentLink) && !links::isTaggedLink(m.parentLink) && m.parent == i) {
      appendOrphan(s, j);
    }
  }
}

void FlowGraph::adoptSinkOrphan(SearchState& s, std::int32_t i) {
  FlowNode* nodes = nodes_.records();
  const FlowArc* arcs = arcs_.records();
  const InArcRef* entries = refs_.records();
  const std::int32_t* tailOffsets = inTailOffsets_.data();
  Candidate best{links::kParentNull, 0, kUnreachableDepth};
  std::uint32_t begin = 0;
  std::uint32_t end = 0;

  // A parent must be able to take flow from i.
  outRange(i, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    if (arcs[a].residual == 0) continue;
    considerParent(s, i + arcs[a].headOffset, links::arcLink(a, false), 1, best);
  }
  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    if (arcs[a].reverseResidual == 0) continue;
    considerParent(s, i - tailOffsets[e], links::arcLink(a, true), 1, best);
  }

  FlowNode& n = nodes[i];
  n.parentLink = best.link;
  if (best.link != links::kParentNull) {
    n.parent = best.parent;
    n.stamp = s.clock;
    n.depth = best.depth + 1;
    return;
  }

  n.stamp = 0;
  outRange(i, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    // A pair with no residual either way carries no tree link and can feed
    // nothing: its other end is not read (it may belong to another region).
    if (arcs[a].residual == 0 && arcs[a].reverseResidual == 0) continue;
    const std::int32_t j = i + arcs[a].headOffset;
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull || m.inSinkTree != 1) continue;
    if (arcs[a].residual != 0) activate(s, j);
    if (links::isArcLink(m.parentLink) && links::isTaggedLink(m.parentLink) && m.parent == i) {
      appendOrphan(s, j);
    }
  }
  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    if (arcs[a].residual == 0 && arcs[a].reverseResidual == 0) continue;
    const std::int32_t j = i - tailOffsets[e];
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull || m.inSinkTree != 1) continue;
    if (arcs[a].reverseResidual != 0) activate(s, j);
    if (links::isArcLink(m.parentLink) && !links::isTaggedLink(m.parentLink) && m.parent == i) {
      appendOrphan(s, j);
    }
  }
}

}  // namespace orbelt
