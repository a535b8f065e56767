#pragma once
// The items of the max-flow's orphan list, handed out from blocks of 128 with
// a free list, so that adoption allocates nothing per orphan.
//
// Lives inside one computeMaxFlow call. Owns its blocks and releases them all
// at destruction. Fails: when a block cannot be allocated the error sink (if
// any) receives "Not enough memory!" and the graph's failure is raised
// (maxflow/GraphFailure.h).
#include <cstdint>

#include "platform/MessageSink.h"

namespace orbelt {

struct OrphanItem {
  // The orphan's node reference.
  std::int32_t node;
  // Next item of the orphan list, or of the free list while the item is free.
  OrphanItem* next;
};

class OrphanPool {
 public:
  static constexpr std::int32_t kItemsPerBlock = 128;

  explicit OrphanPool(MessageSink* errorSink);
  ~OrphanPool();
  OrphanPool(const OrphanPool&) = delete;
  OrphanPool& operator=(const OrphanPool&) = delete;

  // The first free item; starts a block first when none is free. Never null.
  OrphanItem* take() {
    if (freeHead_ == nullptr) startBlock();
    OrphanItem* item = freeHead_;
    freeHead_ = item->next;
    return item;
  }
  // Puts `item` at the front of the free list, to be taken next.
  void giveBack(OrphanItem* item) {
    item->next = freeHead_;
    freeHead_ = item;
  }

  // Inspection: blocks allocated so far.
  std::int32_t blockCount() const;

 private:
  struct Block {
    Block* previous;
    OrphanItem items[kItemsPerBlock];
  };

  void startBlock();

  std::int32_t itemsPerBlock_ = kItemsPerBlock;
  Block* newest_ = nullptr;
  OrphanItem* freeHead_ = nullptr;
  MessageSink* errorSink_;
};

}  // namespace orbelt
