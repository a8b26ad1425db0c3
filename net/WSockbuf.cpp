#include "net/WSockbuf.h"

#include "net/ThreadSpare.h"

#include <algorithm>
#include <cstring>

namespace {

int EffectiveSize(int Size)
{
    return Size <= 0 ? DefaultBufSize : Size;
}

char* TakeStorage(int Size)
{
    return static_cast<char*>(TThreadSpare<TBuffer>::Take(static_cast<std::size_t>(Size)));
}

void GiveStorage(char* Storage, int Size)
{
    TThreadSpare<TBuffer>::Give(Storage, static_cast<std::size_t>(Size));
}

} // namespace

TBuffer::TBuffer(int Size) : FBuf(TakeStorage(EffectiveSize(Size))), FBufSize(EffectiveSize(Size))
{
}

TBuffer::~TBuffer()
{
    GiveStorage(FBuf, FBufSize);
}

void TBuffer::SetBufSize(int Size)
{
    Size = EffectiveSize(Size);
    if (Size == FBufSize)
        return;
    if (FWrCount > FRdCount) {
        // Unsent data is never cut off: the block keeps room for all of it.
        Size = std::max(Size, FWrCount);
        char* storage = TakeStorage(Size);
        std::memcpy(storage, FBuf, FWrCount);
        GiveStorage(FBuf, FBufSize);
        FBuf = storage;
    } else {
        char* storage = TakeStorage(Size);
        GiveStorage(FBuf, FBufSize);
        FBuf = storage;
        FWrCount = 0;
        FRdCount = 0;
    }
    FBufSize = Size;
}

int TBuffer::Write(const void* Data, int Len)
{
    const int count = std::clamp(Len, 0, FBufSize - FWrCount);
    if (count > 0) {
        std::memcpy(FBuf + FWrCount, Data, count);
        FWrCount += count;
    }
    return count;
}

const char* TBuffer::Peek(int& Len) const
{
    Len = FWrCount - FRdCount;
    return Len > 0 ? FBuf + FRdCount : nullptr;
}

int TBuffer::Remove(int Len)
{
    const int count = std::clamp(Len, 0, FWrCount - FRdCount);
    FRdCount += count;
    if (FRdCount == FWrCount) {
        FRdCount = 0;
        FWrCount = 0;
    }
    return count;
}

TBufferChain::TBufferChain(int BlockSize) : FBlockSize(EffectiveSize(BlockSize))
{
}

void TBufferChain::PutData(const void* Data, int Len)
{
    auto bytes = static_cast<const char*>(Data);
    if (BlockCount() == 0)
        FBlocks.push_back(std::make_unique<TBuffer>(FBlockSize));
    while (Len > 0) {
        const int written = FBlocks.back()->Write(bytes, Len);
        bytes += written;
        Len -= written;
        if (Len > 0)
            FBlocks.push_back(std::make_unique<TBuffer>(FBlockSize));
    }
}

const char* TBufferChain::PeekFirst(int& Len)
{
    Len = 0;
    while (BlockCount() > 0) {
        if (const char* data = FBlocks[FFront]->Peek(Len))
            return data;
        if (BlockCount() == 1)
            return nullptr;
        DropFirst();
    }
    return nullptr;
}

void TBufferChain::RemoveFirst(int Len)
{
    if (BlockCount() > 0)
        FBlocks[FFront]->Remove(Len);
}

void TBufferChain::Discard()
{
    FBlocks.clear();
    FFront = 0;
}

void TBufferChain::DropFirst()
{
    FBlocks[FFront++].reset();
    if (FFront >= 64 && FFront * 2 >= FBlocks.size()) {
        FBlocks.erase(FBlocks.begin(), FBlocks.begin() + static_cast<std::ptrdiff_t>(FFront));
        FFront = 0;
    }
}

const TBuffer& TBufferChain::Block(int Index) const
{
    if (Index < 0 || Index >= BlockCount())
        throw ERangeError(Format("Block index out of range (%d)", Index));
    return *FBlocks[FFront + static_cast<size_t>(Index)];
}
