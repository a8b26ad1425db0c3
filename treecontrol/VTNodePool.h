// TVTNodePool: the node records of one tree, carved from blocks of many, so
// that a record costs its own size rounded to 8 bytes and nothing more: an
// expanded folder of millions of rows is millions of records. A record comes
// zero-filled; a freed one serves the next request. Every block is given
// back once no record is in use. All records have the size of the first one
// handed out since the pool was last empty: a tree changes its record size
// only while it has no nodes. One thread at a time.
#pragma once

#include <cstddef>
#include <vector>

class TVTNodePool {
 public:
  TVTNodePool() = default;
  ~TVTNodePool();
  TVTNodePool(const TVTNodePool&) = delete;
  TVTNodePool& operator=(const TVTNodePool&) = delete;

  void* Allocate(size_t size);
  void Release(void* record);
  size_t InUse() const { return inUse_; }

 private:
  static constexpr size_t BlockRecords = 4096;
  void FreeBlocks();

  std::vector<char*> blocks_;
  void* free_ = nullptr;                // freed records, linked through their first bytes
  size_t recordSize_ = 0;
  size_t takenFromLast_ = BlockRecords;  // records handed out of the newest block
  size_t inUse_ = 0;
};
