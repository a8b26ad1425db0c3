#include "platform/rtl/RecordPool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define POOL_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define POOL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define POOL_POISON(p, n) ((void)(p), (void)(n))
#define POOL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

// The head of a block; its records follow it.
struct TRecordPool::TBlock {
  TBlock* PrevRoomy = nullptr;
  TBlock* NextRoomy = nullptr;
  void* Free = nullptr;  // released records, linked through their first bytes
  size_t Taken = 0;      // records handed out of the block's fresh end so far
  size_t Used = 0;       // records in use
  size_t End = 0;        // bytes of the block, head included
  bool Roomy = false;    // on the list of blocks with a record to hand out

  char* Records() { return reinterpret_cast<char*>(this) + RecordsOffset; }
  bool HasRoom() const { return Free || Taken < BlockRecords; }

  static constexpr size_t RecordsOffset = 64;
};

TRecordPool::~TRecordPool() {
  while (!FBlocks.empty()) FreeBlock(FBlocks.back());
}

size_t TRecordPool::RecordBytes(size_t size) { return (std::max(size, sizeof(void*)) + 7) / 8 * 8; }

void* TRecordPool::Allocate(size_t size) {
  if (!Accepts(size)) throw std::invalid_argument("The records of one pool have one size.");
  FRecordSize = RecordBytes(size);
  TBlock* block = FRoomy ? FRoomy : NewBlock();
  char* record;
  if (block->Free) {
    record = static_cast<char*>(block->Free);
    POOL_UNPOISON(record, FRecordSize);
    std::memcpy(&block->Free, record, sizeof block->Free);
  } else {
    record = block->Records() + block->Taken++ * FRecordSize;
    POOL_UNPOISON(record, FRecordSize);
  }
  if (!block->HasRoom()) UnlinkRoomy(block);
  ++block->Used;
  ++FInUse;
  std::memset(record, 0, FRecordSize);
  return record;
}

void TRecordPool::Release(void* record) {
  if (!record) return;
  TBlock* block = BlockOf(record);
  std::memcpy(record, &block->Free, sizeof block->Free);
  POOL_POISON(record, FRecordSize);
  block->Free = record;
  --FInUse;
  if (--block->Used == 0)
    FreeBlock(block);
  else if (!block->Roomy)
    LinkRoomy(block);
}

TRecordPool::TBlock* TRecordPool::NewBlock() {
  static_assert(sizeof(TBlock) <= TBlock::RecordsOffset, "a block's head fits before its records");
  size_t bytes = TBlock::RecordsOffset + BlockRecords * FRecordSize;
  void* memory = std::malloc(bytes);
  if (!memory) throw std::bad_alloc();
  auto* block = new (memory) TBlock;
  block->End = bytes;
  POOL_POISON(block->Records(), BlockRecords * FRecordSize);
  try {
    FBlocks.insert(std::upper_bound(FBlocks.begin(), FBlocks.end(), block, std::less<>()), block);
  } catch (...) {
    std::free(memory);
    throw;
  }
  LinkRoomy(block);
  return block;
}

// The last block that starts at or before the record.
TRecordPool::TBlock* TRecordPool::BlockOf(void* record) const {
  auto after = std::upper_bound(FBlocks.begin(), FBlocks.end(), static_cast<TBlock*>(record), std::less<>());
  return *(after - 1);
}

void TRecordPool::FreeBlock(TBlock* block) {
  if (block->Roomy) UnlinkRoomy(block);
  FBlocks.erase(std::lower_bound(FBlocks.begin(), FBlocks.end(), block, std::less<>()));
  POOL_UNPOISON(block, block->End);
  block->~TBlock();
  std::free(block);
}

void TRecordPool::LinkRoomy(TBlock* block) {
  block->Roomy = true;
  block->PrevRoomy = nullptr;
  block->NextRoomy = FRoomy;
  if (FRoomy) FRoomy->PrevRoomy = block;
  FRoomy = block;
}

void TRecordPool::UnlinkRoomy(TBlock* block) {
  block->Roomy = false;
  (block->PrevRoomy ? block->PrevRoomy->NextRoomy : FRoomy) = block->NextRoomy;
  if (block->NextRoomy) block->NextRoomy->PrevRoomy = block->PrevRoomy;
  block->PrevRoomy = block->NextRoomy = nullptr;
}
