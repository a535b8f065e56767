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
  initSearch();
  runSearch();
  solved_ = true;
  return flow_;
}

void FlowGraph::initSearch() {
  activeHead_[0] = activeHead_[1] = kNone;
  activeTail_[0] = activeTail_[1] = kNone;
  orphanHead_ = orphanTail_ = nullptr;
  FlowNode* nodes = nodes_.records();
  for (std::int32_t nodeRank = nodes_.blockCount() - 1; nodeRank >= 0; --nodeRank) {
    const std::int32_t first = decltype(nodes_)::firstSlot(nodeRank);
    const std::int32_t fill = nodes_.fill(nodeRank);
    for (std::int32_t ref = first; ref < first + fill; ++ref) {
      FlowNode& n = nodes[ref];
      n.nextActive = links::kNotQueued;
      n.stamp = 0;
      if (n.terminalResidual > 0) {
        n.inSinkTree = 0;
        n.parentLink = links::kParentTerminal;
        activate(ref);
        n.depth = 1;
      } else if (n.terminalResidual < 0) {
        n.inSinkTree = 1;
        n.parentLink = links::kParentTerminal;
        if (!sinkRootsPassive_) activate(ref);
        n.depth = 1;
      } else {
        n.parentLink = links::kParentNull;
        n.inSinkTree = 0;
        n.depth = 0;
      }
    }
  }
  clock_ = 0;
}

// Appends to list 1 unless the node is queued already (or is the current
// node, which points to itself while its augmentation runs).
inline void FlowGraph::activate(std::int32_t ref) {
  FlowNode* nodes = nodes_.records();
  if (nodes[ref].nextActive != links::kNotQueued) return;
  if (activeTail_[1] != kNone) {
    nodes[activeTail_[1]].nextActive = ref;
  } else {
    activeHead_[1] = ref;
  }
  activeTail_[1] = ref;
  nodes[ref].nextActive = ref;
}

// Nodes come out in exactly the order they were appended: list 0 is refilled
// from list 1 only when it is empty. Nodes freed while queued are dropped.
std::int32_t FlowGraph::nextActiveNode() {
  FlowNode* nodes = nodes_.records();
  for (;;) {
    if (activeHead_[0] == kNone) {
      activeHead_[0] = activeHead_[1];
      activeTail_[0] = activeTail_[1];
      activeHead_[1] = activeTail_[1] = kNone;
      if (activeHead_[0] == kNone) return kNone;
    }
    const std::int32_t n = activeHead_[0];
    if (nodes[n].nextActive == n) {
      activeHead_[0] = activeTail_[0] = kNone;
    } else {
      activeHead_[0] = nodes[n].nextActive;
    }
    nodes[n].nextActive = links::kNotQueued;
    if (nodes[n].parentLink != links::kParentNull) return n;
  }
}

void FlowGraph::runSearch() {
  FlowNode* nodes = nodes_.records();
  std::int32_t current = kNone;
  for (;;) {
    if (current != kNone) {
      nodes[current].nextActive = links::kNotQueued;
      if (nodes[current].parentLink == links::kParentNull) current = kNone;
    }
    if (current == kNone) {
      current = nextActiveNode();
      if (current == kNone) break;
    }
    if (observer_ != nullptr) observer_->onGrowth(idOfRef(current));

    Connection connection;
    const bool found =
        nodes[current].inSinkTree == 0 ? growSourceTree(current, connection) : growSinkTree(current, connection);
    ++clock_;
    if (found) {
      // Keep it out of the active list during adoption: it grows again next.
      nodes[current].nextActive = current;
      augmentPath(connection);
      adoptOrphans();
    } else {
      current = kNone;
    }
  }
}

// Grows the source tree from i along residuals leaving i; stops at the first
// sink-tree neighbour. Out-arcs first, the in-range only when they found none.
bool FlowGraph::growSourceTree(std::int32_t i, Connection& connection) {
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
      activate(j);
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
      activate(j);
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
bool FlowGraph::growSinkTree(std::int32_t i, Connection& connection) {
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
      activate(j);
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
      activate(j);
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
void FlowGraph::augmentPath(const Connection& connection) {
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
      if (n.terminalResidual == 0) pushOrphanFront(ref);
      break;
    }
    FlowArc& arc = arcs[links::linkArc(link)];
    towardsParent(arc, link) += b;
    float& down = towardsChild(arc, link);
    down -= b;
    const std::int32_t parent = n.parent;
    if (down == 0) pushOrphanFront(ref);
    ref = parent;
  }
  for (std::int32_t ref = connection.sinkSideEnd;;) {
    FlowNode& n = nodes[ref];
    const std::uint32_t link = n.parentLink;
    if (link == links::kParentTerminal) {
      n.terminalResidual += b;
      if (n.terminalResidual == 0) pushOrphanFront(ref);
      break;
    }
    FlowArc& arc = arcs[links::linkArc(link)];
    towardsChild(arc, link) += b;
    float& up = towardsParent(arc, link);
    up -= b;
    const std::int32_t parent = n.parent;
    if (up == 0) pushOrphanFront(ref);
    ref = parent;
  }

  flow_ += b;
  if (observer_ != nullptr) {
    observer_->onAugmentation(idOfRef(connection.sourceSideEnd), idOfRef(connection.sinkSideEnd), b);
  }
}

inline void FlowGraph::pushOrphanFront(std::int32_t ref) {
  nodes_.records()[ref].parentLink = links::kParentOrphan;
  OrphanItem* item = orphanPool_.take();
  item->node = ref;
  item->next = orphanHead_;
  orphanHead_ = item;
}

inline void FlowGraph::appendOrphan(std::int32_t ref) {
  nodes_.records()[ref].parentLink = links::kParentOrphan;
  OrphanItem* item = orphanPool_.take();
  item->node = ref;
  if (orphanTail_ != nullptr) {
    orphanTail_->next = item;
  } else {
    orphanHead_ = item;
  }
  orphanTail_ = item;
  item->next = nullptr;
}

// Each orphan of the augmentation is adopted together with every orphan its
// adoption appends, breadth-first, before the next one is taken.
void FlowGraph::adoptOrphans() {
  const FlowNode* nodes = nodes_.records();
  while (orphanHead_ != nullptr) {
    OrphanItem* rest = orphanHead_->next;
    orphanHead_->next = nullptr;
    while (orphanHead_ != nullptr) {
      OrphanItem* item = orphanHead_;
      orphanHead_ = item->next;
      const std::int32_t ref = item->node;
      orphanPool_.giveBack(item);
      if (orphanHead_ == nullptr) orphanTail_ = nullptr;
      if (nodes[ref].inSinkTree == 1) {
        adoptSinkOrphan(ref);
      } else {
        adoptSourceOrphan(ref);
      }
      if (observer_ != nullptr) observer_->onAdoption(idOfRef(ref), nodes[ref].parentLink != links::kParentNull);
    }
    orphanHead_ = rest;
  }
}

// Offers neighbour j (reached through `link`, the link i would take) as i's
// new parent when j is in `tree` and still rooted at its terminal. Its depth
// is found by walking up to the first node confirmed in this adoption (stamp
// equal to the clock) or to the root, and the walked path is stamped so the
// next candidate's walk stops early. The shallowest candidate wins; of equal
// depths the first one met stays.
inline void FlowGraph::considerParent(std::int32_t j, std::uint32_t link, std::int16_t tree, Candidate& best) {
  FlowNode* nodes = nodes_.records();
  if (nodes[j].parentLink == links::kParentNull || nodes[j].inSinkTree != tree) return;

  std::int32_t d = 0;
  for (std::int32_t ref = j;;) {
    FlowNode& n = nodes[ref];
    if (n.stamp == clock_) {
      d += n.depth;
      break;
    }
    ++d;
    if (n.parentLink == links::kParentTerminal) {
      n.stamp = clock_;
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
  for (std::int32_t ref = j; nodes[ref].stamp != clock_;) {
    FlowNode& n = nodes[ref];
    n.stamp = clock_;
    n.depth = d;
    --d;
    ref = n.parent;
  }
}

void FlowGraph::adoptSourceOrphan(std::int32_t i) {
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
    considerParent(i + arcs[a].headOffset, links::arcLink(a, false), 0, best);
  }
  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    if (arcs[a].residual == 0) continue;
    considerParent(i - tailOffsets[e], links::arcLink(a, true), 0, best);
  }

  FlowNode& n = nodes[i];
  n.parentLink = best.link;
  if (best.link != links::kParentNull) {
    n.parent = best.parent;
    n.stamp = clock_;
    n.depth = best.depth + 1;
    return;
  }

  // Set free: neighbours that could feed i again become active, and i's
  // children become orphans in turn.
  n.stamp = 0;
  outRange(i, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    const std::int32_t j = i + arcs[a].headOffset;
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull || m.inSinkTree != 0) continue;
    if (arcs[a].reverseResidual != 0) activate(j);
    if (links::isArcLink(m.parentLink) && links::isTaggedLink(m.parentLink) && m.parent == i) {
      appendOrphan(j);
    }
  }
  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    const std::int32_t j = i - tailOffsets[e];
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull || m.inSinkTree != 0) continue;
    if (arcs[a].residual != 0) activate(j);
    if (links::isArcLink(m.parentLink) && !links::isTaggedLink(m.parentLink) && m.parent == i) {
      appendOrphan(j);
    }
  }
}

void FlowGraph::adoptSinkOrphan(std::int32_t i) {
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
    considerParent(i + arcs[a].headOffset, links::arcLink(a, false), 1, best);
  }
  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    if (arcs[a].reverseResidual == 0) continue;
    considerParent(i - tailOffsets[e], links::arcLink(a, true), 1, best);
  }

  FlowNode& n = nodes[i];
  n.parentLink = best.link;
  if (best.link != links::kParentNull) {
    n.parent = best.parent;
    n.stamp = clock_;
    n.depth = best.depth + 1;
    return;
  }

  n.stamp = 0;
  outRange(i, begin, end);
  for (std::uint32_t a = begin; a < end; ++a) {
    const std::int32_t j = i + arcs[a].headOffset;
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull || m.inSinkTree != 1) continue;
    if (arcs[a].residual != 0) activate(j);
    if (links::isArcLink(m.parentLink) && links::isTaggedLink(m.parentLink) && m.parent == i) {
      appendOrphan(j);
    }
  }
  inRange(i, begin, end);
  for (std::uint32_t e = begin; e < end; ++e) {
    const std::uint32_t a = entries[e];
    const std::int32_t j = i - tailOffsets[e];
    FlowNode& m = nodes[j];
    if (m.parentLink == links::kParentNull || m.inSinkTree != 1) continue;
    if (arcs[a].reverseResidual != 0) activate(j);
    if (links::isArcLink(m.parentLink) && !links::isTaggedLink(m.parentLink) && m.parent == i) {
      appendOrphan(j);
    }
  }
}

}  // namespace orbelt
