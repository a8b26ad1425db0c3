#include "platform/ole/GlobalMemory.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

struct Block {
  std::vector<char> bytes;
  unsigned flags = 0;
  int locks = 0;
};

struct Registry {
  std::mutex lock;
  std::map<HGLOBAL, std::unique_ptr<Block>> blocks;
};

Registry& Blocks() {
  static Registry registry;
  return registry;
}

// The block of a handle, with the registry locked by the caller.
Block* Find(Registry& r, HGLOBAL handle) {
  auto it = r.blocks.find(handle);
  return it == r.blocks.end() ? nullptr : it->second.get();
}

}  // namespace

HGLOBAL GlobalAlloc(unsigned flags, size_t bytes) {
  auto block = std::make_unique<Block>();
  block->bytes.assign(bytes, 0);
  block->flags = flags;
  auto handle = reinterpret_cast<HGLOBAL>(block.get());
  Registry& r = Blocks();
  std::lock_guard guard(r.lock);
  r.blocks[handle] = std::move(block);
  return handle;
}

void* GlobalLock(HGLOBAL handle) {
  Registry& r = Blocks();
  std::lock_guard guard(r.lock);
  Block* b = Find(r, handle);
  if (!b) return nullptr;
  ++b->locks;
  // A zero-sized block still gives a valid, distinct address.
  if (b->bytes.empty()) b->bytes.reserve(1);
  return b->bytes.data();
}

bool GlobalUnlock(HGLOBAL handle) {
  Registry& r = Blocks();
  std::lock_guard guard(r.lock);
  Block* b = Find(r, handle);
  if (!b || b->locks == 0) return false;
  return --b->locks > 0;
}

size_t GlobalSize(HGLOBAL handle) {
  Registry& r = Blocks();
  std::lock_guard guard(r.lock);
  Block* b = Find(r, handle);
  return b ? b->bytes.size() : 0;
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, size_t bytes, unsigned) {
  Registry& r = Blocks();
  std::lock_guard guard(r.lock);
  Block* b = Find(r, handle);
  if (!b || b->locks > 0) return nullptr;
  b->bytes.resize(bytes, 0);
  return handle;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  Registry& r = Blocks();
  std::lock_guard guard(r.lock);
  return r.blocks.erase(handle) ? nullptr : handle;
}

HGLOBAL AllocZeroedGlobal(int64_t size) { return size < 1 ? nullptr : GlobalAlloc(GHND, size_t(size)); }

void FreeGlobalAndClear(HGLOBAL& block) {
  if (block) GlobalFree(block);
  block = nullptr;
}

HGLOBAL GlobalFromBytes(const AnsiString& bytes) {
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, bytes.size());
  if (!bytes.empty()) {
    std::memcpy(GlobalLock(handle), bytes.data(), bytes.size());
    GlobalUnlock(handle);
  }
  return handle;
}

AnsiString GlobalBytes(HGLOBAL handle) {
  Registry& r = Blocks();
  std::lock_guard guard(r.lock);
  Block* b = Find(r, handle);
  return b ? AnsiString(b->bytes.begin(), b->bytes.end()) : AnsiString();
}
