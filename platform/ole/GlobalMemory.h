// Global memory blocks: the byte blocks that clipboard and drag-and-drop
// data travel in (HGLOBAL media). A handle names one zero-filled block of a
// fixed size; locking gives its bytes.
//
// Contract
// - GlobalAlloc always zero-fills; the flags (GMEM_MOVEABLE, GMEM_ZEROINIT,
//   GMEM_SHARE) are kept for the callers' sake and change nothing else.
// - Every function checks its handle: an unknown or freed handle gives
//   nullptr / 0 / false, and GlobalFree answers it back (as a failure) instead
//   of freeing twice.
// - GlobalLock counts; GlobalUnlock answers whether the block is still locked.
// - Safe to use from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/rtl/SysUtils.h"

struct HGLOBAL__;
using HGLOBAL = HGLOBAL__*;

constexpr unsigned GMEM_FIXED = 0x0000, GMEM_MOVEABLE = 0x0002, GMEM_ZEROINIT = 0x0040,
                   GHND = 0x0042, GMEM_SHARE = 0x2000, GMEM_DDESHARE = 0x2000;

HGLOBAL GlobalAlloc(unsigned flags, size_t bytes);
void* GlobalLock(HGLOBAL block);
bool GlobalUnlock(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);
// Changes the block's size keeping its handle and content (new bytes are
// zero); nullptr for a bad or locked block.
HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, unsigned flags);
// Frees the block; nullptr on success, the handle itself when it was not a block.
HGLOBAL GlobalFree(HGLOBAL block);

// A zero-filled movable block of size bytes; nullptr for a size below 1.
HGLOBAL AllocZeroedGlobal(int64_t size);
// Frees the block, if any, and clears the handle.
void FreeGlobalAndClear(HGLOBAL& block);

// A new block holding bytes.
HGLOBAL GlobalFromBytes(const AnsiString& bytes);
// The whole content of a block (empty for a bad handle).
AnsiString GlobalBytes(HGLOBAL block);
