// THttpCli: the HTTP/1.0 client component. One request at a time over a
// fresh connection of its own socket: host lookup, connect, request header
// (and POST body), response header line by line, then the body in blocks.
// Everything runs in socket events and in messages to the client's hidden
// window on the thread that created the client; the synchronous Get pumps
// that thread until the request ends.
//
// Contract
// - Get returns when the request is over. It raises EHttpException(reason,
//   status) when the final StatusCode is 400 or more; the client's own
//   failures (lookup, an invalid port, connect, abort, a response that ends
//   before a complete header, a 2xx body that ends before its framing says,
//   malformed chunk framing, a transfer coding other than chunked, too many
//   redirections, a scheme other than http) end with status 404 and a
//   reason, never as success.
// - The client speaks plain HTTP only: an address of any other scheme
//   (https above all), whether requested or reached by a redirect, is
//   refused before any connection, so nothing meant to be encrypted
//   travels in clear text. A host that is no host name (".." above all,
//   as a redirect may name it) is refused the same way. The request target
//   goes out percent-encoded (EncodeRequestTarget).
// - Each return to httpReady is followed, one message later, by
//   OnRequestDone. Every request carries a generation number: messages left
//   over from an earlier (aborted) request never restart or end a later one.
// - Interim replies (status 1xx) before the response are skipped: their
//   lines reach neither RcvdHeader nor the fields nor OnHeaderData.
// - A "Location:" header makes the client fetch the resolved target (at most
//   20 restarts, then the request fails with 404).
// - The document: OnDocBegin, OnDocData and RcvdStream receive the decoded
//   body only, never chunk framing and never more than Content-Length bytes
//   (bytes beyond it are dropped). The document ends, with OnDocEnd (when a
//   block came) and then the return to httpReady, as soon as it is complete:
//   after Content-Length bytes, after the last chunk of a chunked body
//   ("Transfer-Encoding: chunked" wins over a Content-Length beside it; the
//   ContentLength field is then -1), right at the header end for HEAD and
//   for 204 and 304 replies, which have no body; otherwise when the server
//   closes the connection. The client closes the connection itself once the
//   document is complete.
// - The wait of Get blocks in this thread's message pump; call it on a
//   worker thread (on the user-interface thread the event loop would not be
//   served while it waits). MultiThreaded is handed on to the socket.
// - Body blocks are passed on as they arrive (up to 256 KiB each); counts
//   and lengths are 64-bit.
// - Nothing is locked: the client and its socket belong to their thread.
//   Abort runs on that thread only. Other threads use THttpAbortHandle, which
//   posts the abort to the client's window and stays safe after the client
//   is freed.
// - The request line and header values never carry CR, LF or NUL from the
//   URL, the referrer or the cookie; the received header is limited to 8192
//   bytes a line, 4096 lines and 1 MiB.
#pragma once

#include "net/HttpBody.h"
#include "net/TWSocket.h"
#include "net/ThreadSpare.h"
#include "platform/messages/Messages.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

using THttpSocket = TWSocket;

enum THttpClientState : uint8_t {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpAborting
};

enum THttpRequest : uint8_t { httpNONE, httpGET, httpPOST, httpHEAD };

using Word = uint16_t;

// Error of the client: ErrorCode 1 busy, 2 nothing to post, else the HTTP
// status (404 for the client's own failures).
class EHttpException : public Exception {
public:
    EHttpException(const AnsiString& Msg, Word Code) : Exception(Msg), ErrorCode(Code) {}
    Word ErrorCode;
};

using TOnCommand = std::function<void(TObject* Sender, AnsiString& S)>;
using TDocDataEvent = std::function<void(TObject* Sender, const void* Buffer, int Len)>;
using TCookieRcvdEvent = std::function<void(TObject* Sender, const AnsiString& Data, bool& Accept)>;
using THttpRequestDone = std::function<void(TObject* Sender, THttpRequest RqType, Word Error)>;
using THttpStrayLine = std::function<void(TObject* Sender, Word Error)>;

// Messages of the client's hidden window; wParam carries the generation of
// the request they belong to (WM_HTTP_REQUEST_DONE: the request type, with
// the error in lParam).
constexpr UINT WM_HTTP_REQUEST_DONE = WM_USER + 1;
constexpr UINT WM_HTTP_SET_READY = WM_USER + 2;
constexpr UINT WM_HTTP_RELOCATE = WM_USER + 3;
constexpr UINT WM_HTTP_ABORT = WM_USER + 4;

// Limits of the received header (HttpMaxHeaderLines and HttpMaxHeaderBytes,
// which hold for a chunked body's trailer too, in net/HttpBody.h).
constexpr int HttpMaxLineLength = 8192;
// Restarts after "Location:" headers before the request fails.
constexpr int HttpMaxRelocations = 20;

// Handed from the thread that owns a client to other threads (the user
// interface) so that they can stop its running request. Abort posts the
// request to the client's window (and marks it for the client's data
// handler); the abort itself runs on the client's thread. It stops only the
// request that was running when Abort was called, and does nothing once the
// client is freed.
class THttpAbortHandle {
public:
    void Abort();
    // The client's state as last published (httpReady once it is freed).
    THttpClientState State() const { return static_cast<THttpClientState>(FState.load()); }

private:
    friend class THttpCli;
    void Publish(HWND Wnd, uint32_t Generation);
    void PublishState(THttpClientState State) { FState.store(State); }
    // True when Abort was called while the request of that generation ran;
    // the client checks it between blocks, so that a fast stream of data
    // cannot keep the posted request waiting.
    bool Requested(uint32_t Generation) const { return FRequested.load() == Generation; }

    mutable std::mutex FLock;
    HWND FWnd = nullptr;
    uint32_t FGeneration = 0;
    std::atomic<uint32_t> FRequested{0};
    std::atomic<int> FState{httpReady};
};


class THttpCli : public TComponent {
public:
    explicit THttpCli(TComponent* AOwner);
    ~THttpCli() override;
    AnsiString ClassName() const override { return "THttpCli"; }

    // A thread's last freed client lends its storage to the next one.
    static void* operator new(std::size_t Size) { return TThreadSpare<THttpCli>::Take(Size); }
    static void operator delete(void* Block, std::size_t Size) noexcept { TThreadSpare<THttpCli>::Give(Block, Size); }

    // Settings (published properties).
    AnsiString URL = KeptText(ktURL);
    AnsiString Proxy;
    AnsiString ProxyPort = "80";
    AnsiString Username, Password;
    AnsiString ProxyUsername, ProxyPassword;
    AnsiString Sender;
    AnsiString Reference = KeptText(ktReference);
    AnsiString Agent = KeptText(ktAgent, "Mozilla/3.0 (compatible)");
    AnsiString Accept = KeptText(ktAccept, "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    bool NoCache = false;
    TDateTime ModifiedSince = 0;
    // Sent as "Cookie:"; cleared when a "Location:" header is followed.
    AnsiString Cookie;
    AnsiString ContentTypePost = KeptText(ktContentTypePost, "application/x-www-form-urlencoded");
    // "Range:" bounds; cleared once a request header used them.
    AnsiString ContentRangeBegin, ContentRangeEnd;
    // POST body source and optional copy of every received body block; the
    // caller owns both.
    TStream* SendStream = nullptr;
    TStream* RcvdStream = nullptr;
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value);

    // Events.
    TNotifyEvent OnStateChange;
    TNotifyEvent OnSessionConnected;
    TNotifyEvent OnRequestHeaderBegin;
    TNotifyEvent OnRequestHeaderEnd;
    TNotifyEvent OnHeaderBegin;
    TNotifyEvent OnHeaderEnd;
    TNotifyEvent OnHeaderData;
    TNotifyEvent OnDocBegin;
    TNotifyEvent OnDocEnd;
    TDocDataEvent OnDocData;
    TNotifyEvent OnSendBegin;
    TNotifyEvent OnSendEnd;
    TDocDataEvent OnSendData;
    TNotifyEvent OnTrace;
    TOnCommand OnCommand;
    TCookieRcvdEvent OnCookie;
    THttpRequestDone OnRequestDone;
    TNotifyEvent OnLocationChange;
    THttpStrayLine OnStrayLine;

    // Requests. Get and RunRequest wait (pumping this thread) until the
    // request is over; StartRequest returns at once. POST and HEAD are
    // reached through RunRequest.
    void Get() { RunRequest(httpGET); }
    void RunRequest(THttpRequest RqType);
    void StartRequest(THttpRequest RqType);
    // Stops the running request (on the client's own thread).
    void Abort();
    // For other threads: see THttpAbortHandle.
    std::shared_ptr<THttpAbortHandle> AbortHandle() const { return FAbortHandle; }

    // State of the request and of the last response.
    THttpClientState State() const { return FState; }
    int StatusCode() const { return FStatusCode; }
    const AnsiString& ReasonPhrase() const { return FReasonPhrase; }
    // Why a failed request failed: the server's status and reason when it
    // answered 400 or more, else the client's own reason.
    AnsiString FailureReason() const { return FServerFailure.empty() ? FReasonPhrase : FServerFailure; }
    int64_t ContentLength() const { return FContentLength; }
    const AnsiString& ContentType() const { return FContentType; }
    const AnsiString& DocName() const { return FDocName; }
    const AnsiString& Location() const { return FLocation; }
    void SetLocation(const AnsiString& Value) { FLocation = Value; }
    const AnsiString& Hostname() const { return FHostname; }
    const AnsiString& TargetHost() const { return FTargetHost; }
    const AnsiString& Port() const { return FPort; }
    const AnsiString& Path() const { return FPath; }
    const AnsiString& Query() const { return FQuery; }
    const AnsiString& AcceptRanges() const { return FAcceptRanges; }
    TStringList& RcvdHeader() { return FRcvdHeader; }
    TStringList& AuthenticateHeaders() { return FAuthenticateHeaders; }
    int64_t RcvdCount() const { return FRcvdCount; }
    int64_t SentCount() const { return FSentCount; }
    TDateTime ResponseDate() const { return FResponseDate; }
    TDateTime LastModified() const { return FLastModified; }
    bool Connected() const { return FConnected; }
    const AnsiString& DnsResult() const { return FDnsResult; }
    THttpRequest RequestType() const { return FRequestType; }
    Word RequestDoneError() const { return FRequestDoneError; }
    // The header line or body block being handled.
    const AnsiString& LastResponse() const { return FLastResponse; }
    THttpSocket& Socket() { return *FSocket; }

protected:
    virtual void SendCommand(const AnsiString& S);
    virtual void StartLookup();
    virtual void CloseSocket();
    virtual void LocationSessionClosed();
    virtual void TriggerCookie(const AnsiString& Data, bool& Accept);
    virtual void TriggerSessionConnected();
    virtual void TriggerRequestHeaderBegin();
    virtual void TriggerRequestHeaderEnd();
    virtual void TriggerHeaderBegin();
    virtual void TriggerHeaderEnd();
    virtual void TriggerDocBegin();
    virtual void TriggerDocData(const void* Buffer, int Len);
    virtual void TriggerDocEnd();
    virtual void TriggerSendBegin();
    virtual void TriggerSendData(const void* Buffer, int Len);
    virtual void TriggerSendEnd();

private:
    // The texts too long to be held in the string itself (the settings with
    // long defaults, the addresses, the request header and the last header
    // line): a client takes their buffers from the client its thread freed
    // last (see KeptText), the request header from the last one sent there.
    enum TKeptText {
        ktAgent,
        ktAccept,
        ktContentTypePost,
        ktURL,
        ktReference,
        ktLocation,
        ktPath,
        ktRequestHeader,
        ktLastResponse,
        ktConnectionUrl,
        KeptTextCount
    };
    static AnsiString KeptText(TKeptText Which, std::string_view Default = {});
    // Keeps the buffer of Text for the thread's next client when it is the
    // larger one.
    static void KeepText(TKeptText Which, AnsiString& Text) noexcept;
    void KeepTexts() noexcept;

    void WndProc(TMessage& Msg);
    void SetState(THttpClientState NewState);
    void NextGeneration();
    bool StillRunning(uint32_t Generation) const;
    void SetTarget(const AnsiString& Url);
    void Fail(const AnsiString& Reason, Word Error = 0);
    void FailConnection(const AnsiString& Reason, Word Error = 0);
    void FinishConnection();
    void EndAfterException(const AnsiString& Message);

    void SocketDnsLookupDone(Word Error);
    void SocketSessionConnected(Word Error);
    void SocketDataAvailable(Word Error);
    void SocketDataSent(Word Error);
    void SocketSessionClosed(Word Error);
    void CheckEndOfResponse(Word Error);

    void WriteRequestHeader(const AnsiString& Method);
    void SendBytes(const char* Data, int Len);
    void ReceiveBody();
    void ReceiveFailed();
    void ReceiveHeaderBytes(Word Error);
    bool TakeLine(Word Error);
    void ParseHeaderLine(const AnsiString& Line, int RawLength);
    void HeaderEnd();
    void RelocationHeaderEnd();
    void ParseHeaderField(const AnsiString& Line);
    void FollowLocation(const AnsiString& Value);
    void PassBodyData(const char* Data, int Len);
    void PassBufferedBody(const AnsiString& Prefix);
    void FeedBody(const char* Data, int Len);

    HWND FWindow = nullptr;
    std::unique_ptr<THttpSocket> FSocket;
    std::shared_ptr<THttpAbortHandle> FAbortHandle;
    bool FMultiThreaded = false;
    bool FDestroying = false;

    THttpClientState FState = httpReady;
    uint32_t FGeneration = 0;
    THttpRequest FRequestType = httpNONE;
    Word FRequestDoneError = 0;
    int FStatusCode = 0;
    AnsiString FReasonPhrase;
    int64_t FContentLength = -1;
    AnsiString FContentType;
    AnsiString FDocName;
    AnsiString FLocation = KeptText(ktLocation);
    AnsiString FHostname, FTargetHost, FPort, FQuery;
    AnsiString FPath = KeptText(ktPath);
    AnsiString FAcceptRanges;
    AnsiString FDnsResult;
    TStringList FRcvdHeader;
    TStringList FAuthenticateHeaders;
    int64_t FRcvdCount = 0;
    int64_t FSentCount = 0;
    TDateTime FResponseDate = 0;
    TDateTime FLastModified = 0;
    bool FConnected = false;

    // Request under way.
    AnsiString FRequestHeader;
    AnsiString FLastResponse = KeptText(ktLastResponse);
    AnsiString FConnectionUrl = KeptText(ktConnectionUrl); // absolute URL of the current connection
    AnsiString FRefusal;            // why the target's scheme is refused, or empty
    AnsiString FServerFailure;      // the status line's code and reason when 400 or more
    std::unique_ptr<char[]> FRcvBuf;
    int FRcvCnt = 0;
    int FHeaderLines = 0;
    int64_t FHeaderBytes = 0;
    int FBodyBlocks = 0;
    int64_t FBodyBytes = 0;
    int FRelocations = 0;
    bool FSending = false;
    bool FFailed = false;           // the request already has its final outcome
    bool FStatusSeen = false;
    bool FInterim = false;          // inside an interim (1xx) reply
    int64_t FFramedLength = -1;     // a valid Content-Length, else -1
    AnsiString FTransferEncoding;
    THttpBodyReader FBody;
    bool FLocationSeen = false;
    bool FRelocating = false;       // the closing connection leads to a restart
    bool FSessionEnded = true;      // the current connection has been wound up
};
