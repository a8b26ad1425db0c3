#include "net/HttpProt.h"

#include "net/HttpBody.h"
#include "net/HttpDates.h"
#include "net/HttpHeaders.h"
#include "net/HttpLocation.h"
#include "net/UrlUtils.h"
#include "platform/rtl/FileUtils.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

namespace {

// Body blocks are received and passed on in pieces of up to this size: large
// enough that a fast local transfer is not held up by per-block work.
constexpr int BodyBlockSize = 256 * 1024;
// One POST block.
constexpr int SendBlockSize = 8193;
// The request header's room for what is not a field value.
constexpr size_t RequestHeaderRoom = 256;

const char* const AbortedText = "Connection aborted on request";

// The receive buffer of a client freed on this thread, for the next client
// made here: a download thread makes one client after another, and a block
// this large would otherwise be taken from the heap and given back for
// every download.
thread_local std::unique_ptr<char[]> SpareReceiveBuffer;

std::unique_ptr<char[]> TakeReceiveBuffer()
{
    if (SpareReceiveBuffer)
        return std::move(SpareReceiveBuffer);
    return std::unique_ptr<char[]>(new char[BodyBlockSize]);
}

void KeepReceiveBuffer(std::unique_ptr<char[]> Buffer)
{
    if (!SpareReceiveBuffer)
        SpareReceiveBuffer = std::move(Buffer);
}

// The buffers of the long texts of a client freed on this thread (see
// THttpCli::TKeptText), for the next client made here: the worker sets the
// Agent and the URL at once, and each text would otherwise take a block
// from the heap for every download.
thread_local AnsiString SpareTexts[10];

AnsiString ErrorWithCode(const AnsiString& Text, int Error)
{
    return Text + " (Error #" + IntToStr(Error) + ")";
}

// A port the socket can connect to (a number up to 65535 or a service name).
bool IsValidPort(const AnsiString& Port)
{
    try {
        WSocketResolvePort(Port, "tcp");
        return true;
    } catch (const ESocketException&) {
        return false;
    }
}

// A URL scheme: a letter, then letters, digits, "+", "-" or ".".
bool IsScheme(const AnsiString& Text)
{
    if (Text.empty() || !std::isalpha(static_cast<unsigned char>(Text[0])))
        return false;
    return std::all_of(Text.begin(), Text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// Why the client refuses an address of the scheme Proto (as SplitUrl
// gives it), "" when it fetches it (an http address, or one without a
// scheme).
AnsiString UnsupportedSchemeReason(const AnsiString& Proto)
{
    if (!IsScheme(Proto) || SameText(Proto, "http"))
        return "";
    return "not fetched: " + LowerCase(Proto) + " is not supported (plain http only)";
}

// True for a host the client can look up: labels of letters, digits, "-"
// and "_" joined by single dots (one may end it), or a bracketed address.
bool IsLookupHost(const AnsiString& Host)
{
    if (Host.starts_with('['))
        return true;
    const std::string_view name = std::string_view(Host).substr(0, Host.size() - (Host.ends_with('.') ? 1 : 0));
    if (name.empty() || name.front() == '.' || name.find("..") != std::string_view::npos || name.back() == '.')
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
    });
}

// Why the client does not fetch an address split into Proto and Host: a
// scheme other than http, or a host that is no host name (a redirect to ".."
// asks for nothing); "" otherwise.
AnsiString RefusalReason(const AnsiString& Proto, const AnsiString& Host)
{
    const AnsiString scheme = UnsupportedSchemeReason(Proto);
    if (!scheme.empty() || Host.empty() || IsLookupHost(Host))
        return scheme;
    return "not fetched: \"" + Host + "\" is not a host name";
}

} // namespace

// ---------------------------------------------------------------------------
// THttpAbortHandle

void THttpAbortHandle::Abort()
{
    std::lock_guard<std::mutex> guard(FLock);
    if (FWnd == nullptr)
        return;
    FRequested.store(FGeneration);
    PostMessage(FWnd, WM_HTTP_ABORT, FGeneration, 0);
}

void THttpAbortHandle::Publish(HWND Wnd, uint32_t Generation)
{
    std::lock_guard<std::mutex> guard(FLock);
    FWnd = Wnd;
    FGeneration = Generation;
}

// ---------------------------------------------------------------------------
// Life cycle

THttpCli::THttpCli(TComponent* AOwner)
    : TComponent(AOwner), FAbortHandle(std::make_shared<THttpAbortHandle>()),
      FRcvBuf(TakeReceiveBuffer())
{
    FWindow = AllocateHWnd([this](TMessage& Msg) { WndProc(Msg); });
    FSocket = std::make_unique<THttpSocket>(nullptr);
    FSocket->OnDnsLookupDone = [this](TObject*, Word Error) { SocketDnsLookupDone(Error); };
    FSocket->OnSessionConnected = [this](TObject*, Word Error) { SocketSessionConnected(Error); };
    FSocket->OnDataAvailable = [this](TObject*, Word Error) { SocketDataAvailable(Error); };
    FSocket->OnDataSent = [this](TObject*, Word Error) { SocketDataSent(Error); };
    FSocket->OnSessionClosed = [this](TObject*, Word Error) { SocketSessionClosed(Error); };
    // An exception from a handler inside a socket event fails the request
    // (the socket then aborts its connection), so a half-received document
    // never ends as a success.
    FSocket->OnBgException = [this](TObject*, Exception& E, bool&) { Fail(E.Message()); };
    // No other thread has the handle yet: its window is set without the lock.
    FAbortHandle->FWnd = FWindow;
    FAbortHandle->FGeneration = FGeneration;
}

AnsiString THttpCli::KeptText(TKeptText Which, std::string_view Default)
{
    AnsiString text = std::move(SpareTexts[Which]);
    if (Default.empty())
        text.clear();
    else
        text.assign(Default);
    return text;
}

void THttpCli::KeepText(TKeptText Which, AnsiString& Text) noexcept
{
    if (Text.capacity() > SpareTexts[Which].capacity())
        SpareTexts[Which] = std::move(Text);
}

void THttpCli::KeepTexts() noexcept
{
    static_assert(std::extent_v<decltype(SpareTexts)> == KeptTextCount);
    KeepText(ktAgent, Agent);
    KeepText(ktAccept, Accept);
    KeepText(ktContentTypePost, ContentTypePost);
    KeepText(ktURL, URL);
    KeepText(ktReference, Reference);
    KeepText(ktLocation, FLocation);
    KeepText(ktPath, FPath);
    KeepText(ktLastResponse, FLastResponse);
    KeepText(ktConnectionUrl, FConnectionUrl);
}

THttpCli::~THttpCli()
{
    FDestroying = true;
    FAbortHandle->Publish(nullptr, 0);
    FAbortHandle->PublishState(httpReady);
    FSocket.reset();
    DeallocateHWnd(FWindow);
    KeepReceiveBuffer(std::move(FRcvBuf));
    KeepTexts();
}

void THttpCli::SetMultiThreaded(bool Value)
{
    FMultiThreaded = Value;
    FSocket->SetMultiThreaded(Value);
}

// ---------------------------------------------------------------------------
// Messages and state

void THttpCli::WndProc(TMessage& Msg)
{
    if (Msg.Msg == WM_HTTP_REQUEST_DONE) {
        if (OnRequestDone)
            OnRequestDone(this, static_cast<THttpRequest>(Msg.WParam), static_cast<Word>(Msg.LParam));
        return;
    }
    if (Msg.WParam != FGeneration)
        return;
    try {
        if (Msg.Msg == WM_HTTP_SET_READY)
            SetState(httpReady);
        else if (Msg.Msg == WM_HTTP_RELOCATE && (FState == httpWaitingHeader || FState == httpWaitingBody))
            StartLookup();
        else if (Msg.Msg == WM_HTTP_ABORT)
            Abort();
    } catch (const Exception& E) {
        EndAfterException(E.Message());
    }
}

// A handler raised while the client served one of its messages or started
// a request: the request fails with that message and the client is ready.
void THttpCli::EndAfterException(const AnsiString& Message)
{
    if (FState == httpReady)
        return;
    Fail(Message);
    FRelocating = false;
    FinishConnection();
    NextGeneration();
    FState = httpReady;
    FAbortHandle->PublishState(httpReady);
    PostMessage(FWindow, WM_HTTP_REQUEST_DONE, FRequestType, FRequestDoneError);
}

void THttpCli::SetState(THttpClientState NewState)
{
    if (NewState == FState)
        return;
    FState = NewState;
    FAbortHandle->PublishState(NewState);
    if (OnStateChange)
        OnStateChange(this);
    if (NewState == httpReady)
        PostMessage(FWindow, WM_HTTP_REQUEST_DONE, FRequestType, FRequestDoneError);
}

void THttpCli::NextGeneration()
{
    ++FGeneration;
    FAbortHandle->Publish(FWindow, FGeneration);
}

// True while the request of that generation runs and has not been stopped
// (by Abort, a failure or the end of its connection) from inside a handler.
bool THttpCli::StillRunning(uint32_t Generation) const
{
    return Generation == FGeneration && !FDestroying && FState != httpReady &&
           FState != httpAborting && !FSessionEnded;
}

// ---------------------------------------------------------------------------
// Starting, waiting, aborting

void THttpCli::RunRequest(THttpRequest RqType)
{
    StartRequest(RqType);
    while (FState != httpReady) {
        WaitMessage();
        if (!ProcessMessages()) {
            // The thread is asked to quit: end the request and leave the quit
            // message for the caller's own loop.
            Abort();
            PostQuitMessage(0);
        }
    }
    if (FStatusCode >= 400)
        throw EHttpException(FReasonPhrase, static_cast<Word>(FStatusCode));
}

void THttpCli::StartRequest(THttpRequest RqType)
{
    if (FState != httpReady)
        throw EHttpException("HTTP component is busy", 1);
    if (RqType == httpPOST && SendStream == nullptr)
        throw EHttpException("HTTP component has nothing to post", 2);

    NextGeneration();
    FRcvdHeader.Clear();
    FRequestType = RqType;
    FRequestDoneError = 0;
    FRelocating = false;
    FSessionEnded = true;
    FFailed = false;
    FRelocations = 0;
    FDocName.clear();
    FStatusCode = 0;
    FReasonPhrase.clear();
    FServerFailure.clear();
    FRcvdCount = 0;
    FSentCount = 0;
    FContentLength = -1;
    FContentType.clear();
    FSending = false;
    FLocation = URL;
    FQuery.clear();
    SetTarget(URL);
    const uint32_t generation = FGeneration;
    try {
        SetState(httpNotConnected);
        if (generation == FGeneration && FState == httpNotConnected)
            StartLookup();
    } catch (const Exception& E) {
        EndAfterException(E.Message());
        throw;
    }
}

// Fills TargetHost, Hostname, Port, Path, Query and DocName from an URL
// (through the proxy when one is set). Credentials in the URL replace
// Username and Password.
// The host and the path are split straight into the fields that keep them,
// whose buffers the client took from the thread's last one.
void THttpCli::SetTarget(const AnsiString& Url)
{
    AnsiString proto, user, pass, port;
    SplitUrl(Url, proto, user, pass, FTargetHost, port, FPath, FQuery);
    FRefusal = RefusalReason(proto, FTargetHost);
    if (!user.empty())
        Username = user;
    if (!pass.empty())
        Password = pass;
    if (FPath.empty())
        FPath = "/";
    FDocName = HttpDocName(FPath);
    FConnectionUrl.assign(proto.empty() ? std::string_view("http") : std::string_view(proto))
        .append("://")
        .append(FTargetHost);
    if (!port.empty())
        FConnectionUrl.append(1, ':').append(port);
    FConnectionUrl.append(FPath);
    if (Proxy.empty()) {
        FHostname = FTargetHost;
        FPort = port.empty() ? AnsiString("80") : port;
        return;
    }
    FPath = FConnectionUrl;
    AnsiString proxyPath, proxyQuery;
    SplitUrl(Proxy, proto, user, pass, FHostname, port, proxyPath, proxyQuery);
    FPort = port.empty() ? ProxyPort : port;
}

void THttpCli::StartLookup()
{
    FDnsResult.clear();
    FSessionEnded = false;
    FRcvCnt = 0;
    FHeaderLines = 0;
    FHeaderBytes = 0;
    FBodyBlocks = 0;
    FBodyBytes = 0;
    FStatusSeen = false;
    FInterim = false;
    FLocationSeen = false;
    FFramedLength = -1;
    FTransferEncoding.clear();
    const uint32_t generation = FGeneration;
    SetState(httpDnsLookup);
    if (!StillRunning(generation))
        return;
    if (!FRefusal.empty()) {
        Fail(FRefusal, winsock::WSAEPROTONOSUPPORT);
        SocketSessionClosed(0);
        return;
    }
    if (!IsValidPort(FPort)) {
        Fail("can't connect: invalid port " + FPort, winsock::WSAEINVAL);
        SocketSessionClosed(0);
        return;
    }
    try {
        FSocket->DnsLookup(FHostname);
    } catch (const Exception&) {
        if (FState == httpDnsLookup) {
            Fail("can't resolve hostname to IP address", 10022);
            SocketSessionClosed(0);
        }
    }
}

void THttpCli::Abort()
{
    if (FState == httpReady) {
        if (FSocket->State() != wsClosed)
            FSocket->Close();
        return;
    }
    const bool lookup = FState == httpDnsLookup;
    SetState(httpAborting);
    if (lookup) {
        try {
            FSocket->CancelDnsLookup();
        } catch (const Exception&) {
        }
    }
    FStatusCode = 404;
    FReasonPhrase = AbortedText;
    FRequestDoneError = 3;
    FFailed = true;
    FRelocating = false;
    if (lookup)
        SocketSessionClosed(0);
    else
        FinishConnection();
    NextGeneration();
    SetState(httpReady);
}

// Records the request's failure; the first outcome stays.
void THttpCli::Fail(const AnsiString& Reason, Word Error)
{
    if (FFailed)
        return;
    FFailed = true;
    FStatusCode = 404;
    FReasonPhrase = Reason;
    FRequestDoneError = Error;
}

// A broken response: the request fails and the connection ends.
void THttpCli::FailConnection(const AnsiString& Reason, Word Error)
{
    Fail(Reason, Error);
    FRelocating = false;
    FinishConnection();
}

// Closes the socket and makes sure the end of the connection is handled
// once, whether or not the socket reports it.
void THttpCli::FinishConnection()
{
    CloseSocket();
    if (!FSessionEnded)
        SocketSessionClosed(0);
}

void THttpCli::CloseSocket()
{
    if (FSocket->State() != wsClosed)
        FSocket->Close();
    FConnected = false;
}

// ---------------------------------------------------------------------------
// Socket events

void THttpCli::SocketDnsLookupDone(Word Error)
{
    if (FDestroying || FState != httpDnsLookup)
        return;
    if (Error != 0) {
        Fail("can't resolve hostname to IP address", Error);
        SocketSessionClosed(Error);
        return;
    }
    FDnsResult = FSocket->DnsResult();
    SetState(httpDnsLookupDone);
    if (FState != httpDnsLookupDone)
        return;
    try {
        FSocket->SetAddr(FDnsResult);
        FSocket->SetPort(FPort);
        FSocket->Connect();
    } catch (const Exception&) {
        const int error = FSocket->LastError();
        Fail(ErrorWithCode("can't connect: " + SocketErrorText(error), error), static_cast<Word>(error));
        FinishConnection();
    }
}

void THttpCli::SocketSessionConnected(Word Error)
{
    if (FDestroying || FSessionEnded)
        return;
    if (Error != 0) {
        Fail(ErrorWithCode(SocketErrorText(Error), Error), Error);
        FinishConnection();
        return;
    }
    const uint32_t generation = FGeneration;
    FConnected = true;
    SetState(httpConnected);
    TriggerSessionConnected();
    if (!StillRunning(generation))
        return;
    SetState(httpWaitingHeader);
    if (!StillRunning(generation))
        return;
    switch (FRequestType) {
    case httpPOST:
        WriteRequestHeader("POST");
        if (!StillRunning(generation))
            return;
        TriggerSendBegin();
        FSending = true;
        SocketDataSent(0);
        break;
    case httpHEAD:
        WriteRequestHeader("HEAD");
        break;
    default:
        WriteRequestHeader("GET");
        break;
    }
}

void THttpCli::SocketDataSent(Word)
{
    if (!FSending || FDestroying || SendStream == nullptr)
        return;
    char block[SendBlockSize];
    const auto len = static_cast<int>(SendStream->Read(block, sizeof(block)));
    if (len <= 0) {
        FSending = false;
        TriggerSendEnd();
        return;
    }
    FSentCount += len;
    TriggerSendData(block, len);
    SendBytes(block, len);
}

// A send that fails (the peer reset the connection) fails the request; the
// socket may have closed without telling.
void THttpCli::SendBytes(const char* Data, int Len)
{
    try {
        FSocket->Send(Data, Len);
    } catch (const Exception&) {
        const int error = FSocket->LastError();
        FailConnection(ErrorWithCode(SocketErrorText(error), error), static_cast<Word>(error));
    }
}

void THttpCli::SocketSessionClosed(Word Error)
{
    if (FDestroying || FSessionEnded)
        return;
    FSessionEnded = true;
    FConnected = false;
    if (FRelocating) {
        LocationSessionClosed();
        return;
    }
    CheckEndOfResponse(Error);
    const uint32_t generation = FGeneration;
    if (FBodyBlocks > 0)
        TriggerDocEnd();
    if (generation == FGeneration)
        PostMessage(FWindow, WM_HTTP_SET_READY, generation, 0);
}

// A response that ends before its header is complete, or a 2xx body that
// ends before its framing says it is complete, is a failure and never a
// success.
void THttpCli::CheckEndOfResponse(Word Error)
{
    if (FFailed || FRequestType == httpNONE)
        return;
    if (FState == httpWaitingHeader && FStatusCode < 400) {
        Fail(Error != 0 ? ErrorWithCode(SocketErrorText(Error), Error)
                        : AnsiString("Connection closed before the end of the HTTP header"),
             Error);
        return;
    }
    if (FState != httpWaitingBody || FBody.Complete())
        return;
    const bool success = FStatusCode >= 200 && FStatusCode < 300;
    if (success && FBody.Framing() == TBodyFraming::Length)
        Fail(Format("Document truncated: %d of %d bytes received", FBodyBytes, FFramedLength), Error);
    else if (success && FBody.Framing() == TBodyFraming::Chunked)
        Fail(Format("Document truncated: the chunked body ended after %d bytes", FBodyBytes), Error);
    else if (Error != 0 && FStatusCode < 400)
        Fail(ErrorWithCode(SocketErrorText(Error), Error), Error);
}

void THttpCli::LocationSessionClosed()
{
    FConnected = false;
    FLocationSeen = false;
    FRelocating = false;
    const uint32_t generation = FGeneration;
    if (OnLocationChange)
        OnLocationChange(this);
    if (generation == FGeneration)
        PostMessage(FWindow, WM_HTTP_RELOCATE, generation, 0);
}

// ---------------------------------------------------------------------------
// Request header

void THttpCli::WriteRequestHeader(const AnsiString& Method)
{
    FRequestHeader = KeptText(ktRequestHeader);
    TriggerRequestHeaderBegin();
    THttpRequestFields fields;
    fields.Method = Method;
    fields.Path = FPath;
    fields.Sender = Sender;
    fields.Accept = Accept;
    fields.Reference = Reference;
    fields.ContentTypePost = ContentTypePost;
    fields.Agent = Agent;
    fields.TargetHost = FTargetHost;
    fields.NoCache = NoCache;
    fields.PostSize = (Method == "POST" && SendStream != nullptr) ? SendStream->Size() : 0;
    fields.ModifiedSince = ModifiedSince;
    fields.Username = Username;
    fields.Password = Password;
    fields.UseProxy = !Proxy.empty();
    fields.ProxyUsername = ProxyUsername;
    fields.ProxyPassword = ProxyPassword;
    fields.Cookie = Cookie;
    fields.RangeBegin = ContentRangeBegin;
    fields.RangeEnd = ContentRangeEnd;
    // Room for the fixed texts beside the values; a longer header grows.
    FRequestHeader.reserve(RequestHeaderRoom + FPath.size() + Sender.size() + Accept.size() + Reference.size() +
                           Agent.size() + FTargetHost.size() + Cookie.size());
    ForEachRequestLine(fields, [this](const AnsiString& Line) { SendCommand(Line); });
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
    FAcceptRanges.clear();
    TriggerRequestHeaderEnd();
    SendCommand("");
    AnsiString header = std::move(FRequestHeader);
    FRequestHeader.clear();
    SendBytes(header.data(), Length(header));
    KeepText(ktRequestHeader, header);
}

void THttpCli::SendCommand(const AnsiString& S)
{
    if (OnCommand) {
        AnsiString line = S;
        OnCommand(this, line);
        FRequestHeader += line;
    } else {
        FRequestHeader += S;
    }
    FRequestHeader += "\r\n";
}

// ---------------------------------------------------------------------------
// Receiving

void THttpCli::SocketDataAvailable(Word Error)
{
    if (FDestroying)
        return;
    if (FAbortHandle->Requested(FGeneration)) {
        Abort();
        return;
    }
    if (FState == httpWaitingBody && FRcvCnt == 0)
        ReceiveBody();
    else
        ReceiveHeaderBytes(Error);
}

// Body: every receive is one block, passed on as it is.
void THttpCli::ReceiveBody()
{
    const int len = FSocket->Receive(FRcvBuf.get(), BodyBlockSize);
    if (len < 0)
        ReceiveFailed();
    if (len <= 0 || FRequestType == httpNONE)
        return;
    FeedBody(FRcvBuf.get(), len);
}

// A receive that failed with anything but "would block" ends the connection
// (a reset closes the socket without a close event).
void THttpCli::ReceiveFailed()
{
    const int error = FSocket->LastError();
    if (error == 0 || error == winsock::WSAEWOULDBLOCK)
        return;
    CloseSocket();
    SocketSessionClosed(static_cast<Word>(error));
}

// Header: bytes are gathered until whole lines are there; each line goes to
// the header parser (or, outside a response, to OnStrayLine).
void THttpCli::ReceiveHeaderBytes(Word Error)
{
    const int room = HttpMaxLineLength - FRcvCnt;
    if (room <= 0) {
        FailConnection("HTTP line too long");
        return;
    }
    const int len = FSocket->Receive(FRcvBuf.get() + FRcvCnt, room);
    if (len < 0)
        ReceiveFailed();
    if (len <= 0 || FRequestType == httpNONE)
        return;
    FRcvCnt += len;
    const uint32_t generation = FGeneration;
    while (FRcvCnt > 0 && StillRunning(generation)) {
        if (FState == httpWaitingBody) {
            PassBufferedBody("");
            return;
        }
        if (!TakeLine(Error))
            break;
    }
    if (FRcvCnt >= HttpMaxLineLength && StillRunning(generation))
        FailConnection("HTTP line too long");
}

// Takes the first complete line off the buffer and hands it on; false when
// no complete line is buffered or the response failed.
bool THttpCli::TakeLine(Word Error)
{
    const char* data = FRcvBuf.get();
    const auto* lf = static_cast<const char*>(std::memchr(data, '\n', FRcvCnt));
    if (lf == nullptr)
        return false;
    const int rawLen = static_cast<int>(lf - data) + 1;
    int lineLen = rawLen - 1;
    if (lineLen > 0 && data[lineLen - 1] == '\r')
        --lineLen;
    const bool waiting = FState == httpWaitingHeader || FState == httpWaitingBody;
    if (waiting && std::memchr(data, '\0', lineLen) != nullptr) {
        FailConnection("Invalid character in HTTP header");
        return false;
    }
    FLastResponse.assign(data, lineLen);
    FRcvCnt -= rawLen;
    std::memmove(FRcvBuf.get(), data + rawLen, FRcvCnt);
    if (waiting) {
        ParseHeaderLine(FLastResponse, rawLen);
        return true;
    }
    if (OnStrayLine)
        OnStrayLine(this, Error);
    return true;
}

// RawLength counts the line with its end: LF, or CR LF.
void THttpCli::ParseHeaderLine(const AnsiString& Line, int RawLength)
{
    const uint32_t generation = FGeneration;
    if (FHeaderLines == 0)
        TriggerHeaderBegin();
    if (!StillRunning(generation))
        return;
    ++FHeaderLines;
    FHeaderBytes += RawLength;
    if (FHeaderLines == 1 && StartsText("<html>", Line)) {
        // A document without a header: its lines keep their ends.
        if (FContentType.empty())
            FContentType = "text/html";
        FBody.Start(TBodyFraming::UntilClose);
        SetState(httpWaitingBody);
        TriggerHeaderEnd();
        if (StillRunning(generation))
            PassBufferedBody(Line + (RawLength - Length(Line) == 2 ? "\r\n" : "\n"));
        return;
    }
    if (FHeaderLines > HttpMaxHeaderLines || FHeaderBytes > HttpMaxHeaderBytes) {
        FailConnection("HTTP header too large");
        return;
    }
    if (FInterim) {
        // An interim (1xx) reply announces the real one: its lines are not
        // part of the response.
        FInterim = !Line.empty();
        return;
    }
    if (Line.empty()) {
        HeaderEnd();
        return;
    }
    int code = 0;
    AnsiString reason;
    const TStatusLine status = ParseStatusLine(Line, code, reason);
    if (status == TStatusLine::Valid && !FStatusSeen && code >= 100 && code < 200) {
        FInterim = true;
        return;
    }
    // A second status line, a malformed one and a malformed field line make
    // the whole reply unreadable (a folded continuation line is passed over).
    const bool continuation = Line[0] == ' ' || Line[0] == '\t';
    if ((status == TStatusLine::Valid && FStatusSeen) ||
        (status == TStatusLine::NotStatus && !continuation && !IsHeaderFieldLine(Line))) {
        FailConnection(status == TStatusLine::Valid ? "Second HTTP status line" : "Invalid HTTP header line");
        return;
    }
    FRcvdHeader.Add(Line);
    switch (status) {
    case TStatusLine::Valid:
        FStatusCode = code;
        FReasonPhrase = reason;
        FStatusSeen = true;
        if (code >= 400)
            FServerFailure = IntToStr(code) + " " + reason;
        break;
    case TStatusLine::Invalid:
        FailConnection("Invalid HTTP status line");
        return;
    case TStatusLine::NotStatus:
        ParseHeaderField(Line);
        break;
    }
    if (OnHeaderData)
        OnHeaderData(this);
    // A failure status ends the response at once: lines that came in the
    // same receive are not parsed, so the outcome never depends on how the
    // server's bytes were split.
    if (FStatusCode >= 400 && StillRunning(generation))
        FinishConnection();
}

void THttpCli::ParseHeaderField(const AnsiString& Line)
{
    AnsiString name, value;
    if (!SplitHeaderField(Line, name, value))
        return;
    if (name == "location") {
        FollowLocation(value);
    } else if (name == "content-length") {
        // One reading serves both: an invalid value is a length of 0 to
        // ContentLength and no framing.
        int64_t length = 0;
        const bool valid = TryParseContentLength(value, length);
        FContentLength = length;
        FFramedLength = valid ? length : -1;
    } else if (name == "transfer-encoding") {
        FTransferEncoding += (FTransferEncoding.empty() ? "" : ", ") + value;
    } else if (name == "content-range") {
        ParseContentRange(value, ContentRangeBegin, ContentRangeEnd);
    } else if (name == "accept-ranges") {
        FAcceptRanges = value;
    } else if (name == "content-type") {
        FContentType = LowerCase(value);
    } else if (name == "www-authenticate") {
        FAuthenticateHeaders.Add(value);
    } else if (name == "set-cookie") {
        bool accept = true;
        TriggerCookie(value, accept);
    } else if (name == "date") {
        TDateTime date = 0;
        if (TryRFC1123StrToDate(value, date)) {
            FResponseDate = date;
            if (FLastModified == 0)
                FLastModified = date;
        }
    } else if (name == "last-modified") {
        TDateTime date = 0;
        if (TryRFC1123StrToDate(value, date))
            FLastModified = date;
    }
}

// The target of a "Location:" header, resolved against the URL of this
// connection, becomes the next request's target.
void THttpCli::FollowLocation(const AnsiString& Value)
{
    FLocationSeen = true;
    FLocation = ResolveLocation(FConnectionUrl, Value);
    const AnsiString savedUser = Username, savedPassword = Password;
    FQuery.clear();
    SetTarget(FLocation);
    Username = savedUser;
    Password = savedPassword;
}

void THttpCli::HeaderEnd()
{
    if (!FStatusSeen) {
        FailConnection("Missing HTTP status line");
        return;
    }
    if (FLocationSeen && !FSessionEnded) {
        RelocationHeaderEnd();
        return;
    }
    TBodyFraming framing = TBodyFraming::UntilClose;
    if (!ChooseBodyFraming(FRequestType == httpHEAD, FStatusCode, FTransferEncoding, FFramedLength, framing)) {
        FailConnection("Unsupported transfer encoding: " + FTransferEncoding);
        return;
    }
    // Beside chunked framing a Content-Length says nothing about the document.
    if (framing == TBodyFraming::Chunked)
        FContentLength = -1;
    FBody.Start(framing, FFramedLength);
    if (FContentType == "text/html" && SameText(ExtractFileExt(FDocName), ".exe"))
        ReplaceExt(FDocName, "htm");
    const uint32_t generation = FGeneration;
    SetState(httpWaitingBody);
    TriggerHeaderEnd();
    if (!StillRunning(generation))
        return;
    if (FBody.Complete())
        FinishConnection();
    else if (FRcvCnt > 0)
        PassBufferedBody("");
}

void THttpCli::RelocationHeaderEnd()
{
    const uint32_t generation = FGeneration;
    TriggerHeaderEnd();
    if (!StillRunning(generation))
        return;
    if (++FRelocations > HttpMaxRelocations) {
        FailConnection("Too many redirections");
        return;
    }
    FRcvCnt = 0;
    FHeaderLines = 0;
    FBodyBlocks = 0;
    // The redirecting response's length and type do not describe the next
    // document, which may send neither.
    FContentLength = -1;
    FContentType.clear();
    FRcvdHeader.Clear();
    Cookie.clear();
    FRelocating = true;
    FinishConnection();
}

// The bytes after the header go on from the receive buffer itself, as a
// block received later does; a document without a header is led by its
// first line.
void THttpCli::PassBufferedBody(const AnsiString& Prefix)
{
    const int count = FRcvCnt;
    FRcvCnt = 0;
    if (Prefix.empty()) {
        FeedBody(FRcvBuf.get(), count);
        return;
    }
    AnsiString block = Prefix;
    block.append(FRcvBuf.get(), count);
    FeedBody(block.data(), Length(block));
}

// Raw body bytes go through the framing; the document's bytes are passed on,
// and the response ends as soon as its framing says it is complete, whether
// or not the server closes the connection.
void THttpCli::FeedBody(const char* Data, int Len)
{
    const uint32_t generation = FGeneration;
    FBody.Feed(Data, Len, [&](const char* Run, int RunLen) {
        PassBodyData(Run, RunLen);
        return StillRunning(generation);
    });
    if (!StillRunning(generation))
        return;
    if (!FBody.Error().empty())
        FailConnection(FBody.Error());
    else if (FBody.Complete())
        FinishConnection();
}

void THttpCli::PassBodyData(const char* Data, int Len)
{
    const uint32_t generation = FGeneration;
    if (FBodyBlocks == 0)
        TriggerDocBegin();
    if (!StillRunning(generation))
        return;
    ++FBodyBlocks;
    FRcvdCount += Len;
    FBodyBytes += Len;
    if (RcvdStream != nullptr)
        RcvdStream->WriteBuffer(Data, Len);
    TriggerDocData(Data, Len);
}

// ---------------------------------------------------------------------------
// Triggers

void THttpCli::TriggerCookie(const AnsiString& Data, bool& Accept)
{
    if (OnCookie)
        OnCookie(this, Data, Accept);
}

void THttpCli::TriggerSessionConnected()
{
    if (OnSessionConnected)
        OnSessionConnected(this);
}

void THttpCli::TriggerRequestHeaderBegin()
{
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
}

void THttpCli::TriggerRequestHeaderEnd()
{
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd(this);
}

void THttpCli::TriggerHeaderBegin()
{
    if (OnHeaderBegin)
        OnHeaderBegin(this);
}

void THttpCli::TriggerHeaderEnd()
{
    if (OnHeaderEnd)
        OnHeaderEnd(this);
}

void THttpCli::TriggerDocBegin()
{
    if (OnDocBegin)
        OnDocBegin(this);
}

void THttpCli::TriggerDocEnd()
{
    if (OnDocEnd)
        OnDocEnd(this);
}

void THttpCli::TriggerSendBegin()
{
    if (OnSendBegin)
        OnSendBegin(this);
}

void THttpCli::TriggerSendEnd()
{
    if (OnSendEnd)
        OnSendEnd(this);
}


void THttpCli::TriggerDocData(const void* Buffer, int Len)
{
    if (OnDocData)
        OnDocData(this, Buffer, Len);
}

void THttpCli::TriggerSendData(const void* Buffer, int Len)
{
    if (OnSendData)
        OnSendData(this, Buffer, Len);
}
