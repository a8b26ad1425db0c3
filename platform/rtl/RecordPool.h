// TRecordPool: records of one size carved from blocks of many, so that a
// record costs its size rounded up to 8 bytes and nothing more: a tree of
// millions of nodes is millions of records. A record comes zero-filled; a
// freed one serves a later request. A block is given back to the allocator
// as soon as none of its records is in use, found from a record's address
// through the table of blocks sorted by address. All records have the size
// of the first one handed out since the pool was last empty (Accepts tells
// whether a size fits; Allocate throws std::invalid_argument when not).
// Records not handed out are poisoned under AddressSanitizer, so a record
// used after its release is caught. One thread at a time: a pool shared by
// threads is guarded by its owner's lock.
#pragma once

#include <cstddef>
#include <vector>

class TRecordPool {
public:
  TRecordPool() = default;
  ~TRecordPool();
  TRecordPool(const TRecordPool&) = delete;
  TRecordPool& operator=(const TRecordPool&) = delete;

  void* Allocate(size_t size);
  // Gives a record of this pool back; nullptr is ignored.
  void Release(void* record);
  bool Accepts(size_t size) const { return FInUse == 0 || RecordBytes(size) == FRecordSize; }
  size_t InUse() const { return FInUse; }
  size_t BlockCount() const { return FBlocks.size(); }

  static constexpr size_t BlockRecords = 4096;

private:
  struct TBlock;
  static size_t RecordBytes(size_t size);
  TBlock* NewBlock();
  TBlock* BlockOf(void* record) const;
  void FreeBlock(TBlock* block);
  void LinkRoomy(TBlock* block);
  void UnlinkRoomy(TBlock* block);

  std::vector<TBlock*> FBlocks;  // sorted by address
  TBlock* FRoomy = nullptr;      // the blocks with a record to hand out, linked
  size_t FRecordSize = 0;
  size_t FInUse = 0;
};
