// Send buffer of the asynchronous socket: fixed-size blocks (TBuffer) and the
// ordered chain of them (TBufferChain) that holds the data the system has not
// taken yet. A block is written at its end and consumed from its start; once
// it has been consumed completely it is reused from its start. The chain
// copies each byte once and never refuses data. A block's storage comes
// from, and goes back to, the spare its thread keeps (net/ThreadSpare.h):
// a socket per download would otherwise take a fresh one per request.
#pragma once

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

#include <cstddef>
#include <memory>
#include <vector>

// Block size used when a size of 0 or less is asked for.
constexpr int DefaultBufSize = 1514;

class TBuffer : public TObject {
public:
    explicit TBuffer(int Size);
    ~TBuffer() override;
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    // New capacity (DefaultBufSize for 0 or less); unsent data is kept as
    // long as it fits the new capacity.
    void SetBufSize(int Size);
    // Copies as many bytes as fit behind the data; returns that number.
    int Write(const void* Data, int Len);
    // The unsent data and its length, or nullptr and 0.
    const char* Peek(int& Len) const;
    // Marks up to Len bytes as sent; returns how many were.
    int Remove(int Len);

    const char* Buf() const { return FBuf; }
    int BufSize() const { return FBufSize; }
    int WrCount() const { return FWrCount; }
    int RdCount() const { return FRdCount; }

private:
    char* FBuf;
    int FBufSize;
    int FWrCount = 0;
    int FRdCount = 0;
};

// The socket's list of blocks, oldest first. The last block always stays for
// reuse; emptied blocks before it are freed. The list is a vector read from
// a moving front, which takes no memory until data is first put in (a socket
// made per download would otherwise allocate a list on every construction).
class TBufferChain {
public:
    explicit TBufferChain(int BlockSize = DefaultBufSize);

    // Appends the data, filling the last block and adding blocks as needed.
    void PutData(const void* Data, int Len);
    // The unsent data of the oldest block that still holds some, after
    // freeing emptied blocks in front of it; nullptr and 0 when all is sent.
    const char* PeekFirst(int& Len);
    // Marks Len bytes of the oldest block as sent.
    void RemoveFirst(int Len);
    // Drops every block with its unsent data.
    void Discard();

    int BlockCount() const { return static_cast<int>(FBlocks.size() - FFront); }
    const TBuffer& Block(int Index) const;

private:
    // Frees the oldest block; the vector gives up its freed front half now
    // and then.
    void DropFirst();

    int FBlockSize;
    std::vector<std::unique_ptr<TBuffer>> FBlocks;
    size_t FFront = 0; // index of the oldest block in FBlocks
};
