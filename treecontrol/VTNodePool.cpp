#include "treecontrol/VTNodePool.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "treecontrol/VTTypes.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// Records not handed out are poisoned, so that a node used after it was
// freed is still caught.
#define VT_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define VT_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define VT_POISON(p, n) ((void)(p), (void)(n))
#define VT_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

TVTNodePool::~TVTNodePool() { FreeBlocks(); }

void* TVTNodePool::Allocate(size_t size) {
  size = (size + 7) / 8 * 8;
  if (inUse_ == 0) recordSize_ = size;
  VTAssert(size == recordSize_, "Node records of one tree must have one size.");
  char* record;
  if (free_) {
    record = static_cast<char*>(free_);
    VT_UNPOISON(record, recordSize_);
    std::memcpy(&free_, record, sizeof free_);
  } else {
    if (takenFromLast_ == BlockRecords) {
      auto block = static_cast<char*>(std::malloc(BlockRecords * recordSize_));
      if (!block) throw std::bad_alloc();
      blocks_.push_back(block);
      VT_POISON(block, BlockRecords * recordSize_);
      takenFromLast_ = 0;
    }
    record = blocks_.back() + takenFromLast_++ * recordSize_;
    VT_UNPOISON(record, recordSize_);
  }
  std::memset(record, 0, recordSize_);
  ++inUse_;
  return record;
}

void TVTNodePool::Release(void* record) {
  if (!record) return;
  std::memcpy(record, &free_, sizeof free_);
  VT_POISON(record, recordSize_);
  free_ = record;
  if (--inUse_ == 0) FreeBlocks();
}

void TVTNodePool::FreeBlocks() {
  for (char* block : blocks_) {
    VT_UNPOISON(block, BlockRecords * recordSize_);
    std::free(block);
  }
  blocks_.clear();
  free_ = nullptr;
  takenFromLast_ = BlockRecords;
}
