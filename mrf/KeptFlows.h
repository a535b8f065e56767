#pragma once
// KeptFlows: what each label keeps of its last expansion move for its next
// one, within a memory budget.
//
// - The move's flow, in half precision (HalfFloat.h; rounding a start costs
//   search, never exactness), two halves a pixel: along the pair with the
//   right neighbour and the pair with the pixel below, positive from the
//   pixel to its neighbour.
// - Optionally, the source roots that flow leaves: the pixels whose terminal
//   residual is positive when the next move starts from the flow on the
//   labels the last move left. Known roots let the next move open only what
//   changed and what its search reaches (RecycledGridMoves.h). At most one
//   pixel in kRootShare is listed; more are not kept (the next move then
//   opens the whole grid).
//
// Labels keep flows, as their moves are solved, while the budget lasts;
// lowering it drops the flows of the highest labels first. A flow that
// cannot be allocated, or its pages not made present, is not kept, and no
// other is tried afterwards.
// Owns every kept flow and root list.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/PageBuffer.h"

namespace orbelt {

class KeptFlows {
 public:
  static constexpr int kRootShare = 32;
  // The most bytes one label keeps: its halves and its longest root list.
  static std::uint64_t bytesPerLabel(std::uint64_t pixels) {
    return pixels * 2 * sizeof(std::uint16_t) + pixels / kRootShare * sizeof(std::int32_t);
  }

  // Forgets everything; `labelCount` labels over `pixelCount` pixels. The
  // budget stays.
  void reset(int pixelCount, int labelCount);
  // Most bytes the kept flows may take together (default: no limit).
  void setBudget(std::uint64_t bytes);
  // Labels keeping a flow now.
  int keptLabels() const { return keptLabels_; }

  // The label's kept halves, null when it keeps none.
  const std::uint16_t* flows(int label) const {
    return static_cast<const std::uint16_t*>(labels_[static_cast<std::size_t>(label)].flows.data());
  }
  // Its halves to write the next flow into, null when it keeps none and the
  // budget does not allow one more. `fresh` tells whether they were taken
  // just now: their pages are then not yet present, and every part must be
  // made present (makePresent) before it is written.
  std::uint16_t* flowsToWrite(int label, bool& fresh);
  // Makes the pages of the label's halves [firstHalf, endHalf) present;
  // false when the system has not the memory (then drop the label's flow
  // with refuseFlows). Threads may call it at once on any parts.
  bool makePresent(int label, std::size_t firstHalf, std::size_t endHalf) const;
  // The label's flow could not be made present: it keeps none, and no label
  // takes one from now on.
  void refuseFlows(int label);

  bool rootsKnown(int label) const { return labels_[static_cast<std::size_t>(label)].rootsKnown; }
  std::span<const std::int32_t> roots(int label) const { return labels_[static_cast<std::size_t>(label)].roots; }
  // Keeps `roots` as the label's (if it keeps a flow and they are few
  // enough); otherwise its roots are unknown.
  void setRoots(int label, std::span<const std::int32_t> roots);
  void forgetRoots(int label);
  void forgetAllRoots();

 private:
  struct Label {
    // Whole pages, made present before they are written (by the bands of
    // the first move of the label, together): taking them one fault at a
    // time cost more than writing them.
    PageBuffer flows;
    std::vector<std::int32_t> roots;
    bool rootsKnown = false;
  };
  void drop(Label& label);

  std::vector<Label> labels_;
  std::uint64_t pixels_ = 0;
  int keptLabels_ = 0;
  std::uint64_t budget_ = UINT64_MAX;
  // Set once a flow could not be allocated: no more are tried.
  bool refused_ = false;
};

}  // namespace orbelt
