#include "maxflow/OrphanPool.h"

#include <cstdlib>

#include "maxflow/GraphFailure.h"

namespace orbelt {

OrphanPool::OrphanPool(MessageSink* errorSink) : errorSink_(errorSink) {}

OrphanPool::~OrphanPool() {
  while (newest_ != nullptr) {
    Block* previous = newest_->previous;
    std::free(newest_);
    newest_ = previous;
  }
}

void OrphanPool::startBlock() {
  auto* block = static_cast<Block*>(std::malloc(sizeof(Block)));
  if (block == nullptr) {
    if (errorSink_ != nullptr) errorSink_->message(kGraphOutOfMemory);
    raiseGraphFailure(kGraphOutOfMemory);
  }
  block->previous = newest_;
  newest_ = block;
  // Thread the items in address order; the last one ends the free list.
  for (std::int32_t k = 0; k + 1 < itemsPerBlock_; ++k) block->items[k].next = &block->items[k + 1];
  block->items[itemsPerBlock_ - 1].next = nullptr;
  freeHead_ = &block->items[0];
}

std::int32_t OrphanPool::blockCount() const {
  std::int32_t count = 0;
  for (const Block* b = newest_; b != nullptr; b = b->previous) ++count;
  return count;
}

}  // namespace orbelt
