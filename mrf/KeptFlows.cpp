#include "mrf/KeptFlows.h"

#include <new>

namespace orbelt {

void KeptFlows::reset(int pixelCount, int labelCount) {
  labels_.clear();
  labels_.resize(static_cast<std::size_t>(labelCount > 0 ? labelCount : 0));
  pixels_ = static_cast<std::uint64_t>(pixelCount > 0 ? pixelCount : 0);
  keptLabels_ = 0;
  refused_ = false;
}

void KeptFlows::drop(Label& label) {
  if (label.flows) --keptLabels_;
  label.flows.reset();
  label.roots = {};
  label.rootsKnown = false;
}

void KeptFlows::setBudget(std::uint64_t bytes) {
  budget_ = bytes;
  refused_ = false;
  const std::uint64_t each = bytesPerLabel(pixels_);
  // Labels past the budget drop their flows, the highest labels first.
  for (std::size_t label = labels_.size(); label-- > 0 && static_cast<std::uint64_t>(keptLabels_) * each > bytes;) {
    drop(labels_[label]);
  }
}

std::uint16_t* KeptFlows::flowsToWrite(int label, bool& fresh) {
  fresh = false;
  Label& kept = labels_[static_cast<std::size_t>(label)];
  if (kept.flows || refused_) return static_cast<std::uint16_t*>(kept.flows.data());
  const std::uint64_t each = bytesPerLabel(pixels_);
  if (each > 0 && static_cast<std::uint64_t>(keptLabels_ + 1) > budget_ / each) return nullptr;
  kept.flows = PageBuffer::reserve(2 * pixels_ * sizeof(std::uint16_t));
  if (!kept.flows) {
    // Kept flows only save time: the labels past this point borrow.
    refused_ = true;
    return nullptr;
  }
  ++keptLabels_;
  fresh = true;
  return static_cast<std::uint16_t*>(kept.flows.data());
}

bool KeptFlows::makePresent(int label, std::size_t firstHalf, std::size_t endHalf) const {
  const PageBuffer& flows = labels_[static_cast<std::size_t>(label)].flows;
  return flows.makePresent(firstHalf * sizeof(std::uint16_t), (endHalf - firstHalf) * sizeof(std::uint16_t));
}

void KeptFlows::refuseFlows(int label) {
  drop(labels_[static_cast<std::size_t>(label)]);
  refused_ = true;
}

void KeptFlows::setRoots(int label, std::span<const std::int32_t> roots) {
  Label& kept = labels_[static_cast<std::size_t>(label)];
  if (!kept.flows || roots.size() > pixels_ / kRootShare) {
    forgetRoots(label);
    return;
  }
  try {
    // Sized to the list, so a label holds no more than its roots.
    kept.roots = std::vector<std::int32_t>(roots.begin(), roots.end());
    kept.rootsKnown = true;
  } catch (const std::bad_alloc&) {
    forgetRoots(label);
  }
}

void KeptFlows::forgetRoots(int label) {
  Label& kept = labels_[static_cast<std::size_t>(label)];
  kept.roots = {};
  kept.rootsKnown = false;
}

void KeptFlows::forgetAllRoots() {
  for (std::size_t label = 0; label < labels_.size(); ++label) forgetRoots(static_cast<int>(label));
}

}  // namespace orbelt
