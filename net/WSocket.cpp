#include "net/WSocket.h"

#include "net/UrlUtils.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>

using namespace winsock;

namespace {

constexpr long SelectForClient = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE; // 0x3B
constexpr long SelectForListener = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;           // 0x2B
constexpr long SelectForTakenOver = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;         // 0x33
constexpr int MaxDnsResults = 256;
constexpr int DiscardBlockSize = 1024;
constexpr int MaxPortNumber = 65535;
constexpr int MaxProtoNumber = 255;

// The socket service is started with the first live socket and cleaned up
// with the last; sockets are made and freed by several threads. A socket
// that neither starts nor ends the count (nearly every one, while others
// live) counts itself in or out without the lock; the first and the last
// take it, so that the service's start and cleanup never overlap.
std::mutex LiveSocketsLock;
std::atomic<int> LiveSockets{0};

// Moves the count by Step while it stays above Floor; false when it would not.
bool StepAbove(int Floor, int Step)
{
    int count = LiveSockets.load();
    while (count > Floor)
        if (LiveSockets.compare_exchange_weak(count, count + Step))
            return true;
    return false;
}

void CountSocketIn()
{
    if (StepAbove(0, 1))
        return;
    std::lock_guard guard(LiveSocketsLock);
    if (LiveSockets.load() == 0) {
        WSAData data{};
        if (const int code = WSAStartup(0x0101, &data); code != 0)
            throw ESocketException(Format("%s: WSAStartup error #%d", "winsock", code));
    }
    ++LiveSockets;
}

void CountSocketOut()
{
    if (StepAbove(1, -1))
        return;
    std::lock_guard guard(LiveSocketsLock);
    if (--LiveSockets == 0)
        WSACleanup();
}

const std::map<int, const char*>& ErrorTexts()
{
    static const std::map<int, const char*> texts = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Address not available"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Connection aborted"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network sub-system is unusable"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11002, "Non-authoritative host not found"},
        {11003, "Non-recoverable error"},
        {11004, "No Data"},
    };
    return texts;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the decimal number at the start of Text (after blanks); false when
// it exceeds Limit, however many digits follow.
bool ReadLeadingNumber(const AnsiString& Text, int Limit, int& Value)
{
    Value = 0;
    for (char c : TrimmedView(Text)) {
        if (!IsDigit(c))
            break;
        Value = Value * 10 + (c - '0');
        if (Value > Limit)
            return false;
    }
    return true;
}

bool StartsWithDigit(const AnsiString& Text)
{
    const std::string_view trimmed = TrimmedView(Text);
    return !trimmed.empty() && IsDigit(trimmed[0]);
}

AnsiString DottedText(winsock::u_long Address)
{
    in_addr addr{Address};
    return inet_ntoa(addr);
}

bool IsConnectionLost(int Code)
{
    return Code == WSAECONNRESET || Code == WSAENOTSOCK || Code == WSAENOTCONN || Code == WSAEINVAL ||
           Code == WSAECONNABORTED;
}

} // namespace

AnsiString SocketErrorText(int Code)
{
    const auto& texts = ErrorTexts();
    const auto found = texts.find(Code);
    return found == texts.end() ? "Not a WinSock error" : found->second;
}

bool WSocketIsDottedIP(const AnsiString& S)
{
    const std::string_view text = TrimmedView(S);
    if (text.empty() || !IsDigit(text[0]))
        return false;
    int dots = 0;
    int part = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (++dots > 3 || i + 1 == text.size() || !IsDigit(text[i + 1]))
                return false;
            part = 0;
        } else if (IsDigit(c)) {
            part = part * 10 + (c - '0');
            if (part > 255)
                return false;
        } else {
            return false;
        }
    }
    return dots == 3;
}

uint32_t WSocketResolveHost(const AnsiString& Host)
{
    if (Host.empty() || Host.size() >= 257)
        throw ESocketException("WSocketResolveHost: '" + Host + "' Invalid Hostname.");
    if (WSocketIsDottedIP(Host)) {
        const AnsiString dotted = Trim(Host);
        const winsock::u_long address = inet_addr(dotted.c_str());
        if (address == INADDR_NONE && dotted != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + Host + "' Invalid IP address.");
        return address;
    }
    const hostent* host = gethostbyname(Host.c_str());
    if (!host || !host->h_addr_list || !host->h_addr_list[0])
        throw ESocketException(
            Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d", Host, WSAGetLastError()));
    winsock::u_long address = 0;
    std::copy_n(host->h_addr_list[0], sizeof address, reinterpret_cast<char*>(&address));
    return address;
}

int WSocketResolvePort(const AnsiString& Port, const AnsiString& Proto)
{
    if (Port.empty() || Port.size() >= 32)
        throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (StartsWithDigit(Port)) {
        int number = 0;
        if (!ReadLeadingNumber(Port, MaxPortNumber, number))
            throw ESocketException("WSocketResolvePort: Invalid Port.");
        return number;
    }
    const AnsiString proto = Trim(Proto);
    const servent* service = getservbyname(Port.c_str(), proto.empty() ? nullptr : proto.c_str());
    if (!service)
        throw ESocketException(
            Format("WSocketResolvePort: Cannot convert port '%s', Error #%d", Port, WSAGetLastError()));
    return ntohs(static_cast<u_short>(service->s_port));
}

int WSocketResolveProto(const AnsiString& Proto)
{
    if (Proto.empty() || Proto.size() >= 32)
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    if (StartsWithDigit(Proto)) {
        int number = 0;
        if (!ReadLeadingNumber(Proto, MaxProtoNumber, number))
            throw ESocketException("WSocketResolveProto: Invalid Protocol.");
        return number;
    }
    const protoent* protocol = getprotobyname(Trim(Proto).c_str());
    if (!protocol)
        throw ESocketException(
            Format("WSocketResolveProto: Cannot convert protocol '%s', Error #%d", Proto, WSAGetLastError()));
    return protocol->p_proto;
}

// ---------------------------------------------------------------------------
// Life cycle

TCustomWSocket::TCustomWSocket(TComponent* AOwner)
    : TComponent(AOwner)
{
    CountSocketIn();
    FWindowHandle = AllocateHWnd([this](TMessage& Msg) { GuardedWndProc(Msg); });
    AssignDefaultValue();
}

TCustomWSocket::~TCustomWSocket()
{
    // The owner's handlers may already be gone; nothing is reported any more.
    ClearEvents();
    FDestroying = true;
    try {
        CancelDnsLookup();
        if (FState != wsClosed || FHSocket != INVALID_SOCKET)
            Close();
    } catch (...) {
        // A failing close must not escape a destructor; the handle is gone.
    }
    CountSocketOut();
    FBufList.Discard();
    DeallocateHWnd(FWindowHandle);
}

void TCustomWSocket::ClearEvents()
{
    OnDataAvailable = nullptr;
    OnDataSent = nullptr;
    OnSendData = nullptr;
    OnSessionClosed = nullptr;
    OnSessionAvailable = nullptr;
    OnSessionConnected = nullptr;
    OnChangeState = nullptr;
    OnDnsLookupDone = nullptr;
    OnError = nullptr;
    OnBgException = nullptr;
}

void TCustomWSocket::AssignDefaultValue()
{
    FSin = sockaddr_in{};
    FSin.sin_family = AF_INET;
    FAddrAssigned = false;
    FAddrResolved = false;
    FPortAssigned = false;
    FPortResolved = false;
    FLocalPortResolved = false;
    FProtoStr = "tcp";
    FProtoAssigned = true;
    FProtoResolved = false;
    FProto = IPPROTO_TCP;
    FType = SOCK_STREAM;
    FLocalPortStr = "0";
    FLocalAddr = "0.0.0.0";
    FLingerOnOff = wsLingerOn;
    FLingerTimeout = 0;
    FHSocket = INVALID_SOCKET;
    FSelectEvent = 0;
    FState = wsClosed;
    FAllSent = true;
    FDataSentReported = false;
    FReadCount = 0;
    FPaused = false;
    FCloseInvoked = false;
    FFlushTimeout = 60;
}

// ---------------------------------------------------------------------------
// Properties

bool TCustomWSocket::CanChange(const char* Property)
{
    if (FState == wsClosed)
        return true;
    RaiseException(AnsiString("Cannot change ") + Property + " if not closed");
    return false;
}

bool TCustomWSocket::ChangeUnresolved(const char* Property, AnsiString& Field, const AnsiString& Value,
                                      bool& Resolved)
{
    if (!CanChange(Property))
        return false;
    Field = Value;
    Resolved = false;
    return true;
}

void TCustomWSocket::SetAddr(const AnsiString& Value)
{
    if (ChangeUnresolved("Addr", FAddrStr, Trim(Value), FAddrResolved))
        FAddrAssigned = true;
}

void TCustomWSocket::SetRemotePort(const AnsiString& Value)
{
    if (ChangeUnresolved("Port", FPortStr, Value, FPortResolved))
        FPortAssigned = true;
}

void TCustomWSocket::SetProto(const AnsiString& Value)
{
    if (ChangeUnresolved("Proto", FProtoStr, Value, FProtoResolved))
        FProtoAssigned = true;
}

void TCustomWSocket::SetLocalPort(const AnsiString& Value)
{
    ChangeUnresolved("LocalPort", FLocalPortStr, Value, FLocalPortResolved);
}

void TCustomWSocket::SetLocalAddr(const AnsiString& Value)
{
    if (!CanChange("LocalAddr"))
        return;
    const AnsiString address = Value.empty() ? AnsiString("0.0.0.0") : Value;
    if (!WSocketIsDottedIP(address)) {
        RaiseException("SetLocalAddr(): Invalid IP address");
        return;
    }
    FLocalAddr = Trim(address);
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value)
{
    if (Value != wsSendNormal && Value != wsSendUrgent) {
        RaiseException("Invalid SendFlags");
        return;
    }
    FSendFlags = Value;
}

// ---------------------------------------------------------------------------
// Errors and events

void TCustomWSocket::RaiseException(const AnsiString& Msg)
{
    if (!OnError)
        throw ESocketException(Msg);
    TriggerError();
}

void TCustomWSocket::SocketError(const AnsiString& SockFunc)
{
    const int code = WSAGetLastError();
    if (code == 0)
        return;
    if (code == WSAECONNRESET || code == WSAENOTCONN) {
        if (FHSocket != INVALID_SOCKET)
            closesocket(FHSocket);
        FHSocket = INVALID_SOCKET;
        ChangeState(wsClosed);
    }
    FLastError = code;
    RaiseException("Error " + IntToStr(code) + " in function " + SockFunc + "\r\n" + SocketErrorText(code));
}

void TCustomWSocket::HandleBackGroundException(Exception& E)
{
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, E, canClose);
        } catch (...) {
            // The background handler's own failure is swallowed.
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
            // Nothing more can be done for this connection.
        }
    }
}

void TCustomWSocket::ChangeState(TSocketState NewState)
{
    const TSocketState oldState = FState;
    FState = NewState;
    if (oldState != NewState)
        TriggerChangeState(oldState, NewState);
}

bool TCustomWSocket::TriggerDataAvailable(uint16_t Error)
{
    if (!OnDataAvailable)
        return false;
    OnDataAvailable(this, Error);
    return true;
}

void TCustomWSocket::TriggerSessionAvailable(uint16_t Error)
{
    if (OnSessionAvailable)
        OnSessionAvailable(this, Error);
}

void TCustomWSocket::TriggerSessionConnected(uint16_t Error)
{
    if (OnSessionConnected)
        OnSessionConnected(this, Error);
}

void TCustomWSocket::TriggerSessionClosed(uint16_t Error)
{
    if (OnSessionClosed)
        OnSessionClosed(this, Error);
}

void TCustomWSocket::TriggerDataSent(uint16_t Error)
{
    if (OnDataSent)
        OnDataSent(this, Error);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState)
{
    if (OnChangeState)
        OnChangeState(this, OldState, NewState);
}

void TCustomWSocket::TriggerDnsLookupDone(uint16_t Error)
{
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, Error);
}

void TCustomWSocket::TriggerError()
{
    if (OnError)
        OnError(this);
}

// ---------------------------------------------------------------------------
// Hidden window

void TCustomWSocket::GuardedWndProc(TMessage& Msg)
{
    try {
        WndProc(Msg);
    } catch (Exception& E) {
        HandleBackGroundException(E);
    } catch (std::exception& E) {
        Exception wrapped(E.what());
        HandleBackGroundException(wrapped);
    } catch (...) {
        Exception unknown("Unknown exception in a socket event handler");
        HandleBackGroundException(unknown);
    }
}

void TCustomWSocket::WndProc(TMessage& Msg)
{
    switch (Msg.Msg) {
    case WM_ASYNCSELECT:
        DoASyncSelect(Msg);
        break;
    case WM_ASYNCGETHOSTBYNAME:
    case WM_ASYNCGETHOSTBYADDR:
        DoLookupDone(Msg);
        break;
    case WM_CLOSE_DELAYED:
        Close();
        break;
    case WM_WSOCKET_RELEASE:
        delete this;
        break;
    case WM_TRIGGER_EXCEPTION:
        throw ESocketException("Test exception in WSocket");
    default:
        Msg.Result = 0;
        break;
    }
}

void TCustomWSocket::DoASyncSelect(TMessage& Msg)
{
    const TSocket socket = static_cast<TSocket>(Msg.WParam);
    if (socket != FHSocket || FPaused)
        return;
    const int events = WSAGETSELECTEVENT(Msg.LParam);
    const auto error = static_cast<uint16_t>(WSAGETSELECTERROR(Msg.LParam));
    if (events & FD_CONNECT) {
        ChangeState(wsConnected);
        TriggerSessionConnected(error);
        if (error != 0 && !IsStale(socket) && FState != wsClosed)
            Close();
        if (IsStale(socket))
            return;
    }
    if (events & FD_READ) {
        ASyncReceive(error);
        if (IsStale(socket))
            return;
    }
    if (events & FD_WRITE) {
        TryToSend();
        // The end of the chain is reported once: the connect's own write
        // event and the one a Send posts (or arms) may both come after the
        // chain has emptied.
        if (FAllSent && !FDataSentReported && !IsStale(socket)) {
            FDataSentReported = true;
            TriggerDataSent(error);
        }
        if (IsStale(socket))
            return;
    }
    if (events & FD_ACCEPT) {
        TriggerSessionAvailable(error);
        if (IsStale(socket))
            return;
    }
    if ((events & FD_CLOSE) && FState != wsConnecting) {
        ASyncReceive(0);
        if (IsStale(socket))
            return;
        if (!FCloseInvoked) {
            FCloseInvoked = true;
            TriggerSessionClosed(error);
        }
        if (!IsStale(socket) && FState != wsClosed)
            Close();
    }
}

// ---------------------------------------------------------------------------
// Receiving

int TCustomWSocket::DoRecv(void* Buffer, int Size, int Flags)
{
    const int count = recv(FHSocket, static_cast<char*>(Buffer), Size, Flags);
    if (count > 0 && (Flags & MSG_PEEK) == 0)
        FRecvBytes += static_cast<uint64_t>(count);
    return count;
}

int TCustomWSocket::DoRecvFrom(void* Buffer, int Size, int Flags, sockaddr_in& From, int& FromLen)
{
    const int count = recvfrom(FHSocket, static_cast<char*>(Buffer), Size, Flags,
                               reinterpret_cast<sockaddr*>(&From), &FromLen);
    if (count > 0 && (Flags & MSG_PEEK) == 0)
        FRecvBytes += static_cast<uint64_t>(count);
    return count;
}

int TCustomWSocket::GetRcvdCount()
{
    winsock::u_long count = 0;
    if (ioctlsocket(FHSocket, FIONREAD, &count) == SOCKET_ERROR)
        return -1;
    return static_cast<int>(count);
}

int TCustomWSocket::Receive(void* Buffer, int Size)
{
    const int count = DoRecv(Buffer, Size, 0);
    if (count >= 0)
        FReadCount += count;
    else
        FLastError = WSAGetLastError();
    return count;
}

AnsiString TCustomWSocket::ReceiveStr()
{
    const int waiting = GetRcvdCount();
    if (waiting <= 0)
        return {};
    AnsiString data(static_cast<size_t>(waiting), '\0');
    const int count = Receive(data.data(), waiting);
    if (count <= 0)
        return {};
    data.resize(static_cast<size_t>(count));
    return data;
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int Size, sockaddr_in& From, int& FromLen)
{
    const int count = DoRecvFrom(Buffer, Size, 0, From, FromLen);
    if (count >= 0)
        FReadCount += count;
    else
        FLastError = WSAGetLastError();
    return count;
}

// Reads and drops waiting data for a socket without a data handler; false
// when the platform had nothing to give.
bool TCustomWSocket::DiscardReceived()
{
    char scratch[DiscardBlockSize];
    if (DoRecv(scratch, sizeof scratch, 0) >= 0)
        return true;
    const int code = WSAGetLastError();
    FLastError = code == WSAEWOULDBLOCK ? 0 : code;
    return false;
}

void TCustomWSocket::ASyncReceive(uint16_t Error)
{
    const TSocket socket = FHSocket;
    for (;;) {
        FLastError = 0;
        const uint64_t takenBefore = FRecvBytes;
        const int64_t readBefore = FReadCount;
        if (!TriggerDataAvailable(Error) && !DiscardReceived())
            return;
        if ((FComponentOptions & wsoNoReceiveLoop) || FLastError != 0 || IsStale(socket))
            return;
        // A handler that took nothing leaves the data for a later event
        // instead of being called forever.
        if (FRecvBytes == takenBefore && FReadCount == readBefore)
            return;
        const int waiting = GetRcvdCount();
        if (waiting < 0) {
            FLastError = WSAGetLastError();
            return;
        }
        if (waiting == 0)
            return;
    }
}

// ---------------------------------------------------------------------------
// Sending

int TCustomWSocket::RealSend(const void* Data, int Len)
{
    const auto* bytes = static_cast<const char*>(Data);
    if (FType == SOCK_DGRAM)
        return sendto(FHSocket, bytes, Len, 0, reinterpret_cast<const sockaddr*>(&FSin), sizeof FSin);
    return send(FHSocket, bytes, Len, FSendFlags == wsSendUrgent ? MSG_OOB : 0);
}

void TCustomWSocket::PutDataInSendBuffer(const void* Data, int Len)
{
    FBufList.PutData(Data, Len);
}

// Sends from the chain until it is empty or the system would block. A send
// that takes only part of a block is normal (the system's buffer is nearly
// full); the loop goes on, and the next send either takes more or would
// block, which arms the next write event. Stopping after a partial send
// would leave the rest waiting for a write event that never comes.
void TCustomWSocket::TryToSend()
{
    const TSocket socket = FHSocket;
    while (socket != INVALID_SOCKET && !IsStale(socket)) {
        int len = 0;
        const char* data = FBufList.PeekFirst(len);
        if (!data) {
            FAllSent = true;
            return;
        }
        const int count = RealSend(data, len);
        if (count == 0)
            return;
        if (count < 0) {
            const int code = WSAGetLastError();
            if (code == WSAEWOULDBLOCK)
                return;
            if (IsConnectionLost(code)) {
                FCloseInvoked = true;
                Close();
                TriggerSessionClosed(static_cast<uint16_t>(code));
            } else {
                SocketError("TryToSend failed");
            }
            return;
        }
        FBufList.RemoveFirst(count);
        if (OnSendData)
            OnSendData(this, count);
    }
}

int TCustomWSocket::Send(const void* Data, int Len)
{
    if (FState != wsConnected) {
        WSASetLastError(WSAENOTCONN);
        SocketError("Send");
        return -1;
    }
    FAllSent = false;
    FDataSentReported = false;
    int result = 0;
    if (Len > 0) {
        PutDataInSendBuffer(Data, Len);
        result = Len;
    }
    TryToSend();
    if (FAllSent && FHSocket != INVALID_SOCKET)
        PostMessage(FWindowHandle, WM_ASYNCSELECT, FHSocket, WSAMAKESELECTREPLY(FD_WRITE, 0));
    return result;
}

int TCustomWSocket::SendStr(const AnsiString& Str)
{
    return Send(Str.data(), Length(Str));
}

int TCustomWSocket::SendTo(const sockaddr_in& Dest, int DestLen, const void* Data, int Len)
{
    const int count = sendto(FHSocket, static_cast<const char*>(Data), Len, 0,
                             reinterpret_cast<const sockaddr*>(&Dest), DestLen);
    if (count > 0 && OnSendData)
        OnSendData(this, count);
    return count;
}

void TCustomWSocket::Flush()
{
    while (FHSocket != INVALID_SOCKET && !FAllSent) {
        TryToSend();
        MessagePump();
        if (!FAllSent)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---------------------------------------------------------------------------
// Connecting, listening, closing

bool TCustomWSocket::ResolveTarget()
{
    try {
        if (!FProtoResolved) {
            FProto = WSocketResolveProto(FProtoStr);
            FType = FProto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
            FProtoResolved = true;
        }
        if (!FPortResolved) {
            FSin.sin_port = htons(static_cast<u_short>(WSocketResolvePort(FPortStr, FProtoStr)));
            FPortResolved = true;
        }
        if (!FLocalPortResolved) {
            FLocalPortNum = WSocketResolvePort(FLocalPortStr, FProtoStr);
            FLocalPortResolved = true;
        }
        if (!FAddrResolved) {
            FSin.sin_addr.s_addr =
                FDnsResultDotted && FAddrStr == FDnsResult ? FDnsResultAddress : WSocketResolveHost(FAddrStr);
            FAddrResolved = true;
        }
    } catch (const ESocketException& E) {
        RaiseException(E.Message());
        return false;
    }
    return true;
}

void TCustomWSocket::SetLingerOption()
{
    if (FLingerOnOff == wsLingerNoSet)
        return;
    if (FHSocket == INVALID_SOCKET) {
        RaiseException("Cannot set linger option at this time");
        return;
    }
    linger option{};
    option.l_onoff = FLingerOnOff == wsLingerOn ? 1 : 0;
    option.l_linger = static_cast<u_short>(std::clamp(FLingerTimeout, 0, 0xFFFF));
    if (setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option), sizeof option) ==
        SOCKET_ERROR)
        SocketError("setsockopt(SO_LINGER)");
}

namespace {

bool SetBoolOption(TSocket Socket, int Option)
{
    const int on = 1;
    return setsockopt(Socket, SOL_SOCKET, Option, reinterpret_cast<const char*>(&on), sizeof on) != SOCKET_ERROR;
}

} // namespace

void TCustomWSocket::BindSocket()
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<u_short>(FLocalPortNum));
    local.sin_addr.s_addr = WSocketResolveHost(FLocalAddr);
    if (bind(FHSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
        RaiseExceptionFmt("winsock.bind failed, error #%d", WSAGetLastError());
        return;
    }
    int len = sizeof local;
    if (getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) == SOCKET_ERROR) {
        RaiseExceptionFmt("winsock.getsockname failed, error #%d", WSAGetLastError());
        return;
    }
    FLocalPortNum = ntohs(local.sin_port);
    FLocalPortStr = IntToStr(FLocalPortNum);
}

void TCustomWSocket::Connect()
{
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (!FPortAssigned) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    if (!FAddrAssigned) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (!FProtoAssigned) {
        RaiseException("Connect: No Protocol Specified");
        return;
    }
    if (!ResolveTarget())
        return;
    FBufList.Discard();
    FAllSent = true;
    FDataSentReported = false;
    FHSocket = socket(AF_INET, FType, FProto);
    if (FHSocket == INVALID_SOCKET) {
        SocketError("Connect (socket)");
        return;
    }
    ChangeState(wsOpened);
    if (FType == SOCK_STREAM) {
        if (!SetBoolOption(FHSocket, SO_REUSEADDR)) {
            SocketError("setsockopt(SO_REUSEADDR)");
            return;
        }
        SetLingerOption();
        if (!SetBoolOption(FHSocket, SO_KEEPALIVE)) {
            SocketError("setsockopt(SO_KEEPALIVE)");
            return;
        }
        if (FLocalPortNum != 0 || FLocalAddr != "0.0.0.0")
            BindSocket();
    } else {
        BindSocket();
        if (FSin.sin_addr.s_addr == INADDR_BROADCAST && !SetBoolOption(FHSocket, SO_BROADCAST)) {
            SocketError("setsockopt(SO_BROADCAST)");
            return;
        }
    }
    FSelectEvent = SelectForClient;
    if (WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) == SOCKET_ERROR) {
        SocketError("WSAAsyncSelect");
        return;
    }
    if (FType == SOCK_DGRAM) {
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (connect(FHSocket, reinterpret_cast<const sockaddr*>(&FSin), sizeof FSin) == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            FLastError = code;
            SocketError("Connect");
            return;
        }
    }
    ChangeState(wsConnecting);
}

void TCustomWSocket::Listen()
{
    const auto missing = [this](const char* what) {
        WSASetLastError(WSAEINVAL);
        SocketError(what);
    };
    if (!FPortAssigned)
        return missing("listen: port not assigned");
    if (!FProtoAssigned)
        return missing("listen: protocol not assigned");
    if (!FAddrAssigned)
        return missing("listen: address not assigned");
    if (!ResolveTarget())
        return;
    FBufList.Discard();
    FAllSent = true;
    FDataSentReported = false;
    FHSocket = socket(AF_INET, FType, FProto);
    if (FHSocket == INVALID_SOCKET) {
        SocketError("socket");
        return;
    }
    ChangeState(wsOpened);
    if (bind(FHSocket, reinterpret_cast<const sockaddr*>(&FSin), sizeof FSin) == SOCKET_ERROR) {
        try {
            SocketError("Bind");
        } catch (...) {
            Close();
            throw;
        }
        Close();
        return;
    }
    ChangeState(wsBound);
    if (FType == SOCK_DGRAM) {
        ChangeState(wsListening);
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
    } else {
        if (listen(FHSocket, 5) == SOCKET_ERROR) {
            SocketError("Listen");
            return;
        }
        ChangeState(wsListening);
    }
    FSelectEvent = SelectForListener;
    if (WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) == SOCKET_ERROR)
        SocketError("WSAASyncSelect");
}

TSocket TCustomWSocket::Accept()
{
    if (FState != wsListening) {
        WSASetLastError(WSAEINVAL);
        SocketError("not a listening socket");
        return INVALID_SOCKET;
    }
    sockaddr_in peer{};
    int len = sizeof peer;
    FASocket = accept(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len);
    if (FASocket == INVALID_SOCKET)
        SocketError("Accept");
    return FASocket;
}

void TCustomWSocket::Dup(TSocket NewHandle)
{
    if (NewHandle == INVALID_SOCKET || NewHandle == 0) {
        WSASetLastError(WSAEINVAL);
        SocketError("Dup");
        return;
    }
    if (FHSocket != INVALID_SOCKET) {
        const int result = closesocket(FHSocket);
        FHSocket = INVALID_SOCKET;
        if (result == SOCKET_ERROR) {
            SocketError("Dup (closesocket)");
            return;
        }
    }
    ChangeState(wsClosed);
    FHSocket = NewHandle;
    SetLingerOption();
    FSelectEvent = SelectForTakenOver;
    ChangeState(wsConnected);
    if (WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) == SOCKET_ERROR)
        SocketError("WSAAsyncSelect");
}

void TCustomWSocket::InternalClose(bool Shut, uint16_t Error)
{
    if (FHSocket == INVALID_SOCKET) {
        ChangeState(wsClosed);
        AssignDefaultValue();
        return;
    }
    if (Shut && FState != wsClosed)
        shutdown(FHSocket, SD_SEND);
    const TSocket closing = FHSocket;
    FHSocket = INVALID_SOCKET;
    if (closesocket(closing) == SOCKET_ERROR && WSAGetLastError() != WSANOTINITIALISED) {
        SocketError("Disconnect (closesocket)");
        return;
    }
    ChangeState(wsClosed);
    if (!FDestroying && !FCloseInvoked) {
        FCloseInvoked = true;
        TriggerSessionClosed(Error);
    }
    // A handler may already have opened the next connection.
    if (FHSocket == INVALID_SOCKET)
        AssignDefaultValue();
}

void TCustomWSocket::Close()
{
    InternalClose(true, 0);
}

void TCustomWSocket::CloseDelayed()
{
    PostMessage(FWindowHandle, WM_CLOSE_DELAYED, 0, 0);
}

void TCustomWSocket::Release()
{
    PostMessage(FWindowHandle, WM_WSOCKET_RELEASE, 0, 0);
}

void TCustomWSocket::Abort()
{
    CancelDnsLookup();
    FBufList.Discard();
    FAllSent = true;
    if (FHSocket != INVALID_SOCKET && FState == wsConnected && FType == SOCK_STREAM) {
        // Lingering on with no time makes the close reset the connection.
        FLingerOnOff = wsLingerOn;
        FLingerTimeout = 0;
        SetLingerOption();
    }
    InternalClose(false, 0);
}

void TCustomWSocket::WaitForClose()
{
    while (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        MessagePump();
        if (FHSocket == INVALID_SOCKET)
            return;
        const int waiting = GetRcvdCount();
        if (waiting < 0)
            return;
        if (waiting > 0)
            TriggerDataAvailable(0);
        // A peek tells a closed connection (0) from one that is still open
        // with nothing to read (would block).
        char probe = 0;
        if (FHSocket != INVALID_SOCKET && DoRecv(&probe, 1, MSG_PEEK) <= 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK)
            return;
        MessagePump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TCustomWSocket::Shutdown(int How)
{
    if (FHSocket != INVALID_SOCKET)
        shutdown(FHSocket, How);
}

void TCustomWSocket::Pause()
{
    FPaused = true;
    WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, 0);
}

void TCustomWSocket::Resume()
{
    FPaused = false;
    WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent);
}

void TCustomWSocket::MessagePump()
{
    if (!FMultiThreaded) {
        if (!ProcessMessages())
            FTerminated = true;
        return;
    }
    MSG msg;
    while (PeekMessage(msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            FTerminated = true;
            return;
        }
        TranslateMessage(msg);
        DispatchMessage(msg);
    }
}

// ---------------------------------------------------------------------------
// Peer and local names

AnsiString TCustomWSocket::GetPeerAddr()
{
    if (FState != wsConnected)
        return "error";
    sockaddr_in peer{};
    int len = sizeof peer;
    if (getpeername(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len) == SOCKET_ERROR) {
        SocketError("GetPeerName");
        return "error";
    }
    return DottedText(peer.sin_addr.s_addr);
}

AnsiString TCustomWSocket::GetPeerPort()
{
    if (FState != wsConnected)
        return "error";
    sockaddr_in peer{};
    int len = sizeof peer;
    if (getpeername(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len) == SOCKET_ERROR) {
        SocketError("GetPeerPort");
        return "error";
    }
    return IntToStr(ntohs(peer.sin_port));
}

int TCustomWSocket::GetPeerName(sockaddr_in& Name, int NameLen)
{
    if (FState != wsConnected)
        return -1;
    return getpeername(FHSocket, reinterpret_cast<sockaddr*>(&Name), &NameLen);
}

int TCustomWSocket::GetSockName(sockaddr_in& Name, int& NameLen)
{
    return getsockname(FHSocket, reinterpret_cast<sockaddr*>(&Name), &NameLen);
}

AnsiString TCustomWSocket::GetXPort()
{
    if (FState != wsBound && FState != wsConnected && FState != wsListening)
        return "error";
    sockaddr_in local{};
    int len = sizeof local;
    if (GetSockName(local, len) == SOCKET_ERROR)
        return "error";
    return IntToStr(ntohs(local.sin_port));
}

// ---------------------------------------------------------------------------
// Host lookups

TStringList& TCustomWSocket::ResultList()
{
    if (!FDnsResultList)
        FDnsResultList = std::make_unique<TStringList>();
    return *FDnsResultList;
}

void TCustomWSocket::ForgetLookup()
{
    if (FDnsLookupHandle != 0)
        WSACancelAsyncRequest(FDnsLookupHandle);
    FDnsLookupHandle = 0;
}

void TCustomWSocket::CancelDnsLookup()
{
    if (FDnsLookupHandle == 0)
        return;
    // When the reply is already on its way the cancel fails; the reply then
    // no longer matches a running lookup and is dropped.
    ForgetLookup();
    if (!FDestroying)
        TriggerDnsLookupDone(WSAEINTR);
}

void TCustomWSocket::StartLookup(winsock::HANDLE Handle, const AnsiString& Name)
{
    if (Handle == 0) {
        RaiseExceptionFmt("%s: can't start DNS lookup, error #%d", Name, WSAGetLastError());
        return;
    }
    FDnsLookupHandle = Handle;
    const TSavedReply saved = FSavedReply;
    FSavedReply = {};
    if (saved.Valid && saved.WParam == Handle) {
        TMessage reply{saved.Msg, saved.WParam, saved.LParam, 0};
        DoLookupDone(reply);
    }
}

void TCustomWSocket::DnsLookup(const AnsiString& HostName)
{
    if (HostName.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    ForgetLookup();
    if (FDnsResultList)
        FDnsResultList->Clear();
    if (WSocketIsDottedIP(HostName)) {
        FDnsResultAddress = inet_addr(Trim(HostName).c_str());
        FDnsResult = DottedText(FDnsResultAddress);
        FDnsResultDotted = true;
        TriggerDnsLookupDone(0);
        return;
    }
    StartLookup(WSAAsyncGetHostByName(FWindowHandle, WM_ASYNCGETHOSTBYNAME, HostName.c_str(), FDnsLookupBuffer,
                                      sizeof FDnsLookupBuffer),
                HostName);
}

void TCustomWSocket::ReverseDnsLookup(const AnsiString& HostAddr)
{
    if (HostAddr.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    ForgetLookup();
    if (FDnsResultList)
        FDnsResultList->Clear();
    const winsock::u_long address = inet_addr(Trim(HostAddr).c_str());
    StartLookup(WSAAsyncGetHostByAddr(FWindowHandle, WM_ASYNCGETHOSTBYADDR, reinterpret_cast<const char*>(&address),
                                      sizeof address, AF_INET, FDnsLookupBuffer, sizeof FDnsLookupBuffer),
                HostAddr);
}

void TCustomWSocket::DoLookupDone(TMessage& Msg)
{
    if (FDnsLookupHandle == 0) {
        FSavedReply = {true, Msg.Msg, Msg.WParam, Msg.LParam};
        return;
    }
    if (Msg.WParam != FDnsLookupHandle)
        return;
    FDnsLookupHandle = 0;
    const int error = WSAGETASYNCERROR(Msg.LParam);
    if (error == 0) {
        FDnsResultDotted = false;
        const auto* host = reinterpret_cast<const hostent*>(FDnsLookupBuffer);
        if (Msg.Msg == WM_ASYNCGETHOSTBYADDR) {
            FDnsResult = host->h_name ? host->h_name : "";
            ResultList().Add(FDnsResult);
        } else {
            for (int i = 0; host->h_addr_list && host->h_addr_list[i] && i < MaxDnsResults; ++i) {
                winsock::u_long address = 0;
                std::copy_n(host->h_addr_list[i], sizeof address, reinterpret_cast<char*>(&address));
                ResultList().Add(DottedText(address));
            }
            if (ResultList().Count() > 0)
                FDnsResult = ResultList().Strings(0);
        }
    }
    TriggerDnsLookupDone(static_cast<uint16_t>(error));
}
