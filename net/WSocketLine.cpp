#include "net/WSocketLine.h"

#include <algorithm>
#include <cstring>

using namespace winsock;

namespace {

// The most bytes taken from the platform in one go.
constexpr int ReceiveChunk = 64 * 1024;
// A line left unread stops the reading at this size; the platform keeps the rest.
constexpr int BufferCap = TCustomLineWSocket::LineLimit + 2 * ReceiveChunk;
constexpr size_t TabSize = 8;

} // namespace

// ---------------------------------------------------------------------------
// Properties and state

void TCustomLineWSocket::SetLineMode(bool Value)
{
    if (Value == FLineMode)
        return;
    FLineMode = Value;
    FLineLength = 0;
    FScanned = FRcvStart;
    if (Buffered() > 0)
        PostMessage(FWindowHandle, WM_TRIGGER_DATA_AVAILABLE, 0, 0);
}

void TCustomLineWSocket::SetLineEnd(const AnsiString& Value)
{
    FLineEnd = Value;
    FScanned = UnfinishedStart();
}

void TCustomLineWSocket::ResetLineBuffer()
{
    FRcvBuf.clear();
    FRcvBuf.shrink_to_fit();
    FRcvStart = 0;
    FLineLength = 0;
    FScanned = 0;
}

void TCustomLineWSocket::AssignDefaultValue()
{
    TCustomSocksWSocket::AssignDefaultValue();
    ResetLineBuffer();
}

void TCustomLineWSocket::Connect()
{
    // Bytes of a connection lost without a close event must not reach the next one.
    if (FState == wsClosed)
        ResetLineBuffer();
    TCustomSocksWSocket::Connect();
}

void TCustomLineWSocket::TriggerLineTooLong()
{
    if (OnLineTooLong)
        OnLineTooLong(this);
}

void TCustomLineWSocket::WndProc(TMessage& Msg)
{
    if (Msg.Msg != WM_TRIGGER_DATA_AVAILABLE) {
        TCustomSocksWSocket::WndProc(Msg);
        return;
    }
    if (LineHandling())
        DeliverLines();
    else if (FSocksStep == socksStepNone)
        DeliverRaw();
}

// ---------------------------------------------------------------------------
// Handing out buffered bytes

void TCustomLineWSocket::TakeFromBuffer(int Count)
{
    FRcvStart += static_cast<size_t>(Count);
    FHandedOut += static_cast<uint64_t>(Count);
    FLineLength -= std::min(Count, FLineLength);
    FScanned = std::max(FScanned, UnfinishedStart());
}

int TCustomLineWSocket::CopyOut(void* Buffer, int Size, int Available, int Flags)
{
    const int count = std::clamp(Size, 0, Available);
    std::memcpy(Buffer, FRcvBuf.data() + FRcvStart, static_cast<size_t>(count));
    if ((Flags & MSG_PEEK) == 0)
        TakeFromBuffer(count);
    return count;
}

int TCustomLineWSocket::DoRecv(void* Buffer, int Size, int Flags)
{
    if (LineHandling()) {
        if (FLineLength > 0)
            return CopyOut(Buffer, Size, FLineLength, Flags);
        if (Buffered() > 0) {
            // Only whole lines are handed out; the bytes behind wait for their terminator.
            WSASetLastError(WSAEWOULDBLOCK);
            return SOCKET_ERROR;
        }
    } else if (Buffered() > 0) {
        return CopyOut(Buffer, Size, Buffered(), Flags);
    }
    return TCustomSocksWSocket::DoRecv(Buffer, Size, Flags);
}

int TCustomLineWSocket::GetRcvdCount()
{
    if (LineHandling())
        return FLineLength;
    if (Buffered() > 0)
        return Buffered();
    return TCustomSocksWSocket::GetRcvdCount();
}

// ---------------------------------------------------------------------------
// Receiving and editing

void TCustomLineWSocket::DropHandedOut()
{
    FRcvBuf.erase(0, FRcvStart);
    FScanned -= std::min(FScanned, FRcvStart);
    FRcvStart = 0;
}

bool TCustomLineWSocket::ReceiveIntoBuffer()
{
    const int count = std::min({TCustomSocksWSocket::GetRcvdCount(), ReceiveChunk, BufferCap - Buffered()});
    if (count < 1)
        return true;
    DropHandedOut();
    const size_t oldSize = FRcvBuf.size();
    FRcvBuf.resize(oldSize + static_cast<size_t>(count));
    const int got = TCustomSocksWSocket::DoRecv(FRcvBuf.data() + oldSize, count, 0);
    FRcvBuf.resize(oldSize + static_cast<size_t>(std::max(got, 0)));
    if (got <= 0)
        return true;
    int written = got;
    const TSocket socket = FHSocket;
    if (FLineEdit)
        EditLine(written);
    else if (FLineEcho)
        SendStr(FRcvBuf.substr(oldSize));
    if (FHSocket != socket)
        return false;
    // A terminator may begin in the bytes just before the written ones.
    const size_t firstWritten = FRcvBuf.size() - static_cast<size_t>(written);
    const size_t lookBack = FLineEnd.empty() ? 0 : FLineEnd.size() - 1;
    FScanned = std::min(FScanned, firstWritten - std::min(firstWritten, lookBack));
    FScanned = std::max(FScanned, UnfinishedStart());
    return true;
}

size_t TCustomLineWSocket::TypedLineStart(size_t End) const
{
    const size_t start = UnfinishedStart();
    if (FLineEnd.empty() || End < start + FLineEnd.size())
        return start;
    const size_t at = FRcvBuf.rfind(FLineEnd, End - FLineEnd.size());
    return at == std::string::npos || at < start ? start : at + FLineEnd.size();
}

void TCustomLineWSocket::EditLine(int& Len)
{
    const size_t newStart = FRcvBuf.size() - static_cast<size_t>(Len);
    const std::string incoming = FRcvBuf.substr(newStart);
    FRcvBuf.resize(newStart);
    size_t lineStart = TypedLineStart(newStart);
    size_t firstWritten = newStart;
    AnsiString echo;
    for (const char c : incoming) {
        if (c == '\b') {
            if (FRcvBuf.size() > lineStart) {
                FRcvBuf.pop_back();
                firstWritten = std::min(firstWritten, FRcvBuf.size());
                echo += "\b \b";
            }
        } else if (c == '\t') {
            const size_t blanks = TabSize - (FRcvBuf.size() - lineStart) % TabSize;
            FRcvBuf.append(blanks, ' ');
            echo.append(blanks, ' ');
        } else {
            FRcvBuf += c;
            echo += c;
            if (!FLineEnd.empty() && FRcvBuf.size() >= lineStart + FLineEnd.size() &&
                FRcvBuf.compare(FRcvBuf.size() - FLineEnd.size(), FLineEnd.size(), FLineEnd) == 0)
                lineStart = FRcvBuf.size();
        }
    }
    Len = static_cast<int>(FRcvBuf.size() - firstWritten);
    if (FLineEcho && !echo.empty())
        SendStr(echo);
}

// ---------------------------------------------------------------------------
// Delivering lines

bool TCustomLineWSocket::TriggerDataAvailable(uint16_t Error)
{
    if (!LineHandling())
        return TCustomSocksWSocket::TriggerDataAvailable(Error);
    if (ReceiveIntoBuffer())
        DeliverLines();
    return true;
}

void TCustomLineWSocket::DeliverLines()
{
    const TSocket socket = FHSocket;
    while (LineHandling() && FHSocket == socket) {
        if (FLineLength == 0 && !FindLine())
            return;
        if (!HandOverLine())
            return;
    }
}

bool TCustomLineWSocket::FindLine()
{
    const size_t start = FRcvStart;
    const size_t limitEnd = start + LineLimit;
    const size_t at = FRcvBuf.find(FLineEnd, std::max(FScanned, start));
    if (at != std::string::npos && at <= limitEnd) {
        FLineLength = static_cast<int>(at + FLineEnd.size() - start);
        FScanned = start + static_cast<size_t>(FLineLength);
        return true;
    }
    if (at == std::string::npos) {
        const size_t lookBack = FLineEnd.size() - 1;
        FScanned = std::max(start, FRcvBuf.size() - std::min(FRcvBuf.size(), lookBack));
        // The terminator may still come within the limit.
        if (FScanned <= limitEnd)
            return false;
    }
    return TooLongLineFound();
}

// The first LineLimit bytes become a line of their own.
bool TCustomLineWSocket::TooLongLineFound()
{
    const TSocket socket = FHSocket;
    TriggerLineTooLong();
    if (FHSocket != socket || !LineHandling() || FLineLength != 0)
        return false;
    FLineLength = LineLimit;
    FScanned = UnfinishedStart();
    return true;
}

// Fires OnDataAvailable until the handler has taken the ready line; false
// when it stopped taking, the mode changed or the connection went away.
bool TCustomLineWSocket::HandOverLine()
{
    if (!OnDataAvailable) {
        TakeFromBuffer(FLineLength);
        return true;
    }
    const TSocket socket = FHSocket;
    while (FLineLength > 0) {
        const uint64_t before = FHandedOut;
        TCustomWSocket::TriggerDataAvailable(0);
        if (FHSocket != socket || !LineHandling() || FHandedOut == before)
            return false;
    }
    return true;
}

// Outside line mode: offers the buffered bytes until the handler stops taking.
void TCustomLineWSocket::DeliverRaw()
{
    const TSocket socket = FHSocket;
    while (Buffered() > 0 && FHSocket == socket && !LineHandling()) {
        const uint64_t before = FHandedOut;
        if (!TCustomWSocket::TriggerDataAvailable(0))
            TakeFromBuffer(Buffered());
        if (FHandedOut == before)
            return;
    }
}

void TCustomLineWSocket::DeliverRest()
{
    if (Buffered() == 0 || FSocksStep != socksStepNone)
        return;
    if (!LineHandling()) {
        DeliverRaw();
        return;
    }
    DeliverLines();
    if (LineHandling() && FLineLength == 0 && Buffered() > 0) {
        // The bytes without a terminator form the last line.
        FLineLength = Buffered();
        HandOverLine();
    }
}

void TCustomLineWSocket::TriggerSessionClosed(uint16_t Error)
{
    DeliverRest();
    ResetLineBuffer();
    TCustomSocksWSocket::TriggerSessionClosed(Error);
}
