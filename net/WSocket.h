// The event-driven asynchronous socket component. Each socket owns a hidden
// window in the thread that created it; the socket service posts network
// events there and the socket turns them into component events (connected,
// data available, data sent, session closed, session available, lookup
// done). Nothing blocks except the explicit wait loops (Flush, WaitForClose)
// and the resolving of a host name in Connect. Misuse and failing calls raise
// ESocketException, or only fire OnError when that event is assigned.
//
// A socket belongs to its thread and takes no locks. Notifications carry the
// socket's id, which is never reused, and a notification that does not match
// the current id is dropped, so a closed connection never speaks to the next
// one. OnSessionClosed fires at most once per connection. An exception that
// escapes an event handler ends in HandleBackGroundException, which by
// default aborts the connection.
//
// The SOCKS, line-mode and synchronous layers derive from TCustomWSocket and
// override its virtual operations (connect, receive, triggers, window method).
#pragma once

#include "net/ThreadSpare.h"
#include "net/WSockbuf.h"
#include "platform/messages/Messages.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/SysUtils.h"
#include "platform/sockets/WinSock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class ESocketException : public Exception {
public:
    using Exception::Exception;
};

using TSocket = winsock::SOCKET;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

// Component options, a set of bits.
enum TWSocketOption : unsigned { wsoNoReceiveLoop = 1u };
using TWSocketOptions = unsigned;

using TDataAvailable = std::function<void(TObject* Sender, uint16_t Error)>;
using TDataSent = std::function<void(TObject* Sender, uint16_t Error)>;
using TSessionClosed = std::function<void(TObject* Sender, uint16_t Error)>;
using TSessionAvailable = std::function<void(TObject* Sender, uint16_t Error)>;
using TSessionConnected = std::function<void(TObject* Sender, uint16_t Error)>;
using TDnsLookupDone = std::function<void(TObject* Sender, uint16_t Error)>;
using TSendData = std::function<void(TObject* Sender, int BytesSent)>;
using TChangeState = std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TObject* Sender, Exception& E, bool& CanClose)>;

// Messages of the socket's hidden window.
constexpr UINT WM_ASYNCSELECT = WM_USER + 1;
constexpr UINT WM_ASYNCGETHOSTBYNAME = WM_USER + 2;
constexpr UINT WM_ASYNCGETHOSTBYADDR = WM_USER + 3;
constexpr UINT WM_CLOSE_DELAYED = WM_USER + 4;
constexpr UINT WM_WSOCKET_RELEASE = WM_USER + 5;
constexpr UINT WM_TRIGGER_EXCEPTION = WM_USER + 6;
constexpr UINT WM_TRIGGER_DATA_AVAILABLE = WM_USER + 20;

// Text of a socket error number; "Not a WinSock error" for unknown ones.
AnsiString SocketErrorText(int Code);
// IPv4 address (network order) of a dotted address or a host name (which
// blocks while it is looked up). Raises ESocketException.
uint32_t WSocketResolveHost(const AnsiString& Host);
// Port number (host order) of a decimal text or a service name; any number
// above 65535 is invalid. Raises ESocketException.
int WSocketResolvePort(const AnsiString& Port, const AnsiString& Proto);
// Protocol number of a decimal text or a protocol name. Raises ESocketException.
int WSocketResolveProto(const AnsiString& Proto);
// True for "a.b.c.d" with each part 0..255 (blanks around allowed).
bool WSocketIsDottedIP(const AnsiString& S);

class TCustomWSocket : public TComponent {
public:
    explicit TCustomWSocket(TComponent* AOwner = nullptr);
    ~TCustomWSocket() override;

    AnsiString ClassName() const override { return "TCustomWSocket"; }

    // A thread's last freed socket lends its storage to the next one.
    static void* operator new(std::size_t Size) { return TThreadSpare<TCustomWSocket>::Take(Size); }
    static void operator delete(void* Block, std::size_t Size) noexcept
    {
        TThreadSpare<TCustomWSocket>::Give(Block, Size);
    }

    // Operations.
    virtual void Connect();
    virtual void Close();
    virtual void CloseDelayed();
    // Destroys the socket from its message loop (only for a socket that no
    // owner or smart pointer frees).
    virtual void Release();
    virtual void Abort();
    virtual void Flush();
    virtual void WaitForClose();
    virtual void Listen();
    virtual TSocket Accept();
    virtual int Receive(void* Buffer, int Size);
    virtual AnsiString ReceiveStr();
    virtual int ReceiveFrom(void* Buffer, int Size, winsock::sockaddr_in& From, int& FromLen);
    // Never blocks: what the system does not take at once waits in the send
    // chain and leaves on the next write events, without Flush. OnDataSent
    // fires (from the message loop) each time the chain has become empty.
    virtual int Send(const void* Data, int Len);
    virtual int SendTo(const winsock::sockaddr_in& Dest, int DestLen, const void* Data, int Len);
    virtual int SendStr(const AnsiString& Str);
    virtual void DnsLookup(const AnsiString& HostName);
    virtual void ReverseDnsLookup(const AnsiString& HostAddr);
    virtual void CancelDnsLookup();
    virtual AnsiString GetPeerAddr();
    virtual AnsiString GetPeerPort();
    virtual int GetPeerName(winsock::sockaddr_in& Name, int NameLen);
    virtual AnsiString GetXPort();
    virtual int GetSockName(winsock::sockaddr_in& Name, int& NameLen);
    virtual void Dup(TSocket NewHandle);
    virtual void Shutdown(int How);
    virtual void Pause();
    virtual void Resume();
    virtual void MessagePump();

    // Properties.
    const AnsiString& Addr() const { return FAddrStr; }
    void SetAddr(const AnsiString& Value);
    const AnsiString& Port() const { return FPortStr; }
    void SetPort(const AnsiString& Value) { SetRemotePort(Value); }
    virtual void SetRemotePort(const AnsiString& Value);
    const AnsiString& Proto() const { return FProtoStr; }
    virtual void SetProto(const AnsiString& Value);
    const AnsiString& LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const AnsiString& Value);
    const AnsiString& LocalPort() const { return FLocalPortStr; }
    void SetLocalPort(const AnsiString& Value);
    AnsiString PeerAddr() { return GetPeerAddr(); }
    AnsiString PeerPort() { return GetPeerPort(); }
    const AnsiString& DnsResult() const { return FDnsResult; }
    TStrings& DnsResultList() { return ResultList(); }
    TSocketState State() const { return FState; }
    int64_t ReadCount() const { return FReadCount; }
    int RcvdCount() { return GetRcvdCount(); }
    int LastError() const { return FLastError; }
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }
    TWSocketOptions ComponentOptions() const { return FComponentOptions; }
    void SetComponentOptions(TWSocketOptions Value) { FComponentOptions = Value; }
    int FlushTimeout() const { return FFlushTimeout; }
    void SetFlushTimeout(int Value) { FFlushTimeout = Value; }
    TSocketSendFlags SendFlags() const { return FSendFlags; }
    void SetSendFlags(TSocketSendFlags Value);
    TSocketLingerOnOff LingerOnOff() const { return FLingerOnOff; }
    void SetLingerOnOff(TSocketLingerOnOff Value) { FLingerOnOff = Value; }
    int LingerTimeout() const { return FLingerTimeout; }
    void SetLingerTimeout(int Value) { FLingerTimeout = Value; }
    TSocket HSocket() const { return FHSocket; }
    HWND Handle() const { return FWindowHandle; }
    bool AllSent() const { return FAllSent; }
    bool Terminated() const { return FTerminated; }

    // Events.
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSendData OnSendData;
    TSessionClosed OnSessionClosed;
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TChangeState OnChangeState;
    TDnsLookupDone OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

protected:
    virtual void WndProc(TMessage& Msg);
    virtual void AssignDefaultValue();
    virtual void InternalClose(bool Shut, uint16_t Error);
    virtual int GetRcvdCount();
    virtual void BindSocket();
    virtual int RealSend(const void* Data, int Len);
    virtual void RaiseException(const AnsiString& Msg);
    virtual void HandleBackGroundException(Exception& E);
    virtual bool TriggerDataAvailable(uint16_t Error);
    virtual void TriggerSessionAvailable(uint16_t Error);
    virtual void TriggerSessionConnected(uint16_t Error);
    virtual void TriggerSessionClosed(uint16_t Error);
    virtual void TriggerDataSent(uint16_t Error);
    virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
    virtual void TriggerDnsLookupDone(uint16_t Error);
    virtual void TriggerError();
    virtual int DoRecv(void* Buffer, int Size, int Flags);
    virtual int DoRecvFrom(void* Buffer, int Size, int Flags, winsock::sockaddr_in& From, int& FromLen);

    template <class... Args>
    void RaiseExceptionFmt(const AnsiString& Fmt, const Args&... ArgList)
    {
        RaiseException(Format(Fmt, ArgList...));
    }

    // Reports the calling thread's last socket error for the named call.
    void SocketError(const AnsiString& SockFunc);
    void ChangeState(TSocketState NewState);
    // Resolves protocol, remote port, local port and address where needed;
    // false (after reporting) when one of them cannot be resolved.
    bool ResolveTarget();
    void SetLingerOption();
    void PutDataInSendBuffer(const void* Data, int Len);
    void TryToSend();
    // The receive loop of a read event.
    void ASyncReceive(uint16_t Error);

    TSocket FHSocket = winsock::INVALID_SOCKET;
    HWND FWindowHandle = nullptr;
    winsock::sockaddr_in FSin{};
    int FProto = winsock::IPPROTO_TCP;
    int FType = winsock::SOCK_STREAM;
    AnsiString FAddrStr;
    AnsiString FPortStr;
    AnsiString FProtoStr = "tcp";
    AnsiString FLocalAddr = "0.0.0.0";
    AnsiString FLocalPortStr = "0";
    int FLocalPortNum = 0;
    bool FAddrAssigned = false;
    bool FAddrResolved = false;
    bool FPortAssigned = false;
    bool FPortResolved = false;
    bool FProtoAssigned = true;
    bool FProtoResolved = false;
    bool FLocalPortResolved = false;
    long FSelectEvent = 0;
    TSocketState FState = wsClosed;
    TBufferChain FBufList;
    bool FAllSent = true;
    bool FDataSentReported = false;  // OnDataSent told of the chain's end; no Send since
    int64_t FReadCount = 0;
    int FLastError = 0;
    bool FCloseInvoked = false;
    bool FPaused = false;
    bool FTerminated = false;
    bool FDestroying = false;
    TSocket FASocket = winsock::INVALID_SOCKET;
    AnsiString FDnsResult;
    // True while FDnsResult is the text of FDnsResultAddress, as a lookup of
    // a dotted address gives it: a connect to it needs no second reading.
    bool FDnsResultDotted = false;
    uint32_t FDnsResultAddress = 0;
    // Made when a lookup first lists its addresses (a dotted address, as most
    // requests name, lists none).
    std::unique_ptr<TStringList> FDnsResultList;
    // Bytes taken from the platform so far (by any receive).
    uint64_t FRecvBytes = 0;

private:
    struct TSavedReply {
        bool Valid = false;
        UINT Msg = 0;
        WPARAM WParam = 0;
        LPARAM LParam = 0;
    };

    // False (after reporting) when the socket is not closed.
    bool CanChange(const char* Property);
    // Stores Value into Field when the socket is closed (false, after
    // reporting, otherwise); the new name must be resolved again before use.
    bool ChangeUnresolved(const char* Property, AnsiString& Field, const AnsiString& Value, bool& Resolved);
    void GuardedWndProc(TMessage& Msg);
    void ClearEvents();
    void DoASyncSelect(TMessage& Msg);
    void DoLookupDone(TMessage& Msg);
    void StartLookup(winsock::HANDLE Handle, const AnsiString& Name);
    void ForgetLookup();
    bool DiscardReceived();
    bool IsStale(TSocket Socket) const { return FHSocket != Socket; }
    TStringList& ResultList();

    bool FMultiThreaded = false;
    TWSocketOptions FComponentOptions = 0;
    int FFlushTimeout = 60;
    TSocketSendFlags FSendFlags = wsSendNormal;
    TSocketLingerOnOff FLingerOnOff = wsLingerOn;
    int FLingerTimeout = 0;
    winsock::HANDLE FDnsLookupHandle = 0;
    alignas(alignof(std::max_align_t)) char FDnsLookupBuffer[winsock::MAXGETHOSTSTRUCT + 1];
    TSavedReply FSavedReply;
};
