#pragma once
// A chain of fixed-size blocks of plain records, kept back to back in one
// growable allocation.
//
// Blocks are numbered by creation rank: 0 is the oldest, blockCount()-1 the
// newest, so "newest to oldest" is simply descending rank. Slot s of block r
// is records()[r * kSlotsPerBlock + s]; that index is the record's reference.
// References are indices, not addresses: when the allocation grows (and moves)
// every reference stays valid, and no reference depends on pointer width.
//
// Each block carries two header words: its fill (the next free slot) and the
// last node placed in it by the arc layout.
//
// The records live in an anonymous memory mapping that grows by remapping:
// the pages move without being copied, so growing never holds two copies of
// the records, and reserved pages cost nothing until a block touches them.
//
// Owns: the records and the headers. Fails: startBlock() returns false when
// the memory cannot be had; the caller reports it. clear() forgets every
// block but keeps the memory for the next graph.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

namespace orbelt {

template <typename Record, std::int32_t kSlots>
class BlockStore {
  static_assert(std::is_trivially_copyable_v<Record>, "records are moved by remapping their pages");

 public:
  static constexpr std::int32_t kSlotsPerBlock = kSlots;
  // Highest record index the store hands out, kept well inside 31 bits so the
  // graph can shift references left by one for its tag bit.
  static constexpr std::int64_t kMaxRecords = std::int64_t{1} << 30;

  BlockStore() = default;
  ~BlockStore() { release(); }

  // Returns all memory; the store is then empty, as after construction.
  void release() {
    if (records_ != nullptr) munmap(records_, mappedBytes_);
    std::free(headers_);
    records_ = nullptr;
    headers_ = nullptr;
    mappedBytes_ = 0;
    blockCount_ = 0;
    capacityBlocks_ = 0;
  }
  BlockStore(const BlockStore&) = delete;
  BlockStore& operator=(const BlockStore&) = delete;

  std::int32_t blockCount() const { return blockCount_; }
  Record* records() { return records_; }
  const Record* records() const { return records_; }
  // Index of slot 0 of block `rank`.
  static constexpr std::int32_t firstSlot(std::int32_t rank) { return rank * kSlots; }

  std::int32_t& fill(std::int32_t rank) { return headers_[rank].fill; }
  std::int32_t fill(std::int32_t rank) const { return headers_[rank].fill; }
  std::int32_t& lastNode(std::int32_t rank) { return headers_[rank].lastNode; }

  // Links a new empty block at the front of the chain (it becomes the newest,
  // rank blockCount()-1). Its slots hold whatever the memory held.
  // Returns false, changing nothing visible, when no memory is left.
  bool startBlock() {
    if (blockCount_ == capacityBlocks_ && !reserveBlocks(blockCount_ + 1)) return false;
    headers_[blockCount_] = Header{0, 0};
    ++blockCount_;
    return true;
  }

  // Forgets every block; the memory stays reserved for the next blocks.
  void clear() { blockCount_ = 0; }

  // Bytes of the blocks in use.
  std::size_t usedBytes() const {
    return static_cast<std::size_t>(blockCount_) * (kSlots * sizeof(Record) + sizeof(Header));
  }

  // Bytes currently reserved for records and headers.
  std::size_t reservedBytes() const {
    return static_cast<std::size_t>(capacityBlocks_) * (kSlots * sizeof(Record) + sizeof(Header));
  }

 private:
  struct Header {
    std::int32_t fill;
    std::int32_t lastNode;
  };

  // Grows the reservation to at least `needed` blocks, doubling when it can
  // so that a graph of n blocks costs O(log n) moves, and settling for
  // exactly `needed` when doubling is refused.
  bool reserveBlocks(std::int32_t needed) {
    const std::int64_t maxBlocks = kMaxRecords / kSlots;
    if (needed > maxBlocks) return false;
    std::int64_t wanted = capacityBlocks_ == 0 ? 1 : std::int64_t{capacityBlocks_} * 2;
    if (wanted > maxBlocks) wanted = maxBlocks;
    if (wanted < needed) wanted = needed;
    if (grow(static_cast<std::int32_t>(wanted))) return true;
    return wanted > needed && grow(needed);
  }

  bool grow(std::int32_t blocks) {
    constexpr std::size_t kPage = 4096;
    const std::size_t bytes = (static_cast<std::size_t>(blocks) * kSlots * sizeof(Record) + kPage - 1) / kPage * kPage;
    void* records = records_ == nullptr
                        ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                        : mremap(records_, mappedBytes_, bytes, MREMAP_MAYMOVE);
    if (records == MAP_FAILED) return false;
    records_ = static_cast<Record*>(records);
    mappedBytes_ = bytes;
    void* headers = std::realloc(headers_, static_cast<std::size_t>(blocks) * sizeof(Header));
    if (headers == nullptr) return false;  // records_ is merely larger than needed
    headers_ = static_cast<Header*>(headers);
    capacityBlocks_ = blocks;
    return true;
  }

  Record* records_ = nullptr;
  std::size_t mappedBytes_ = 0;
  Header* headers_ = nullptr;
  std::int32_t blockCount_ = 0;
  std::int32_t capacityBlocks_ = 0;
};

}  // namespace orbelt
