#include "net/WSocketSocks.h"

#include <algorithm>
#include <cstring>
#include <iterator>

using namespace winsock;

namespace {

constexpr uint8_t Socks5Version = 5;
constexpr uint8_t Socks4Version = 4;
constexpr uint8_t LoginVersion = 1;
constexpr uint8_t CommandConnect = 1;
constexpr uint8_t MethodNone = 0;
constexpr uint8_t MethodUserPassword = 2;
constexpr uint8_t AddressIPv4 = 1;
constexpr uint8_t AddressDomain = 3;
constexpr uint8_t AddressIPv6 = 4;
constexpr uint8_t Socks4Granted = 90;
constexpr uint8_t Socks4Rejected = 91;
constexpr uint8_t Socks4NoIdentd = 92;
constexpr uint8_t Socks4IdentMismatch = 93;
constexpr int GreetingReplySize = 2;
constexpr int LoginReplySize = 2;
constexpr int Socks4ReplySize = 8;
// Version, reply code, reserved byte, address type and the first address byte.
constexpr int Socks5ReplyHead = 5;

AnsiString Bytes(std::initializer_list<uint8_t> Values)
{
    AnsiString out;
    for (uint8_t value : Values)
        out += static_cast<char>(value);
    return out;
}

AnsiString PortBytes(int Port)
{
    return Bytes({static_cast<uint8_t>(Port >> 8), static_cast<uint8_t>(Port & 0xFF)});
}

// A length-prefixed field of a SOCKS 5 message.
AnsiString CountedField(const AnsiString& Value)
{
    return Bytes({static_cast<uint8_t>(Value.size())}) + Value;
}

void CheckFieldLength(const AnsiString& Value, const AnsiString& What)
{
    if (Length(Value) > TCustomSocksWSocket::MaxSocksField)
        throw ESocketException(Format("%s is longer than %d bytes", What, TCustomSocksWSocket::MaxSocksField));
}

// A field that SOCKS 4 ends with a zero byte.
void CheckTerminatedField(const AnsiString& Value, const AnsiString& What)
{
    CheckFieldLength(Value, What);
    if (Value.find('\0') != AnsiString::npos)
        throw ESocketException(What + " must not contain a zero byte");
}

void CheckHostName(const AnsiString& Host)
{
    if (Host.empty())
        throw ESocketException("Host name for the socks server is empty");
    CheckFieldLength(Host, "Host name for the socks server");
}

struct TSocksReplyError {
    int Code;
    AnsiString Text;
};

// The error of a SOCKS 5 reply code other than 0.
TSocksReplyError Socks5ReplyError(int Code)
{
    static const char* const texts[] = {
        "general SOCKS server failure", "connection not allowed by ruleset", "network unreachable",
        "host unreachable",             "connection refused",                "time to live expired",
        "command not supported",        "address type not supported",
    };
    if (Code >= 1 && Code <= static_cast<int>(std::size(texts)))
        return {socksGeneralFailure + Code - 1, texts[Code - 1]};
    return {socksUnassignedError, "unassigned error #" + IntToStr(Code)};
}

AnsiString IPv6Text(const uint8_t* Address)
{
    AnsiString text;
    for (int i = 0; i < 16; i += 2) {
        if (i > 0)
            text += ':';
        text += LowerCase(IntToHex(Address[i] * 256 + Address[i + 1], 1));
    }
    return text;
}

} // namespace

// ---------------------------------------------------------------------------
// Properties

bool TCustomSocksWSocket::CanChangeSocks(const char* What)
{
    if (FState == wsClosed)
        return true;
    RaiseException(AnsiString("Can't change socks ") + What + " if not closed");
    return false;
}

void TCustomSocksWSocket::SetSocksServer(const AnsiString& Value)
{
    if (!CanChangeSocks("server"))
        return;
    FSocksServer = Trim(Value);
    // The remote address record may still hold the previous SOCKS server.
    FAddrResolved = false;
    FPortResolved = false;
}

void TCustomSocksWSocket::SetSocksPort(const AnsiString& Value)
{
    if (CanChangeSocks("port"))
        FSocksPort = Trim(Value);
}

void TCustomSocksWSocket::SetSocksLevel(const AnsiString& Value)
{
    if (!CanChangeSocks("level"))
        return;
    const AnsiString level = UpperCase(Value);
    if (level != "4" && level != "4A" && level != "5") {
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    FSocksLevel = level;
}

void TCustomSocksWSocket::SetSocksUsercode(const AnsiString& Value)
{
    if (CanChangeSocks("usercode"))
        FSocksUsercode = Value;
}

void TCustomSocksWSocket::SetSocksPassword(const AnsiString& Value)
{
    if (CanChangeSocks("password"))
        FSocksPassword = Value;
}

void TCustomSocksWSocket::SetSocksAuthentication(TSocksAuthentication Value)
{
    if (CanChangeSocks("authentication"))
        FSocksAuthentication = Value;
}

// ---------------------------------------------------------------------------
// Events

void TCustomSocksWSocket::TriggerSocksConnected(uint16_t Error)
{
    if (OnSocksConnected)
        OnSocksConnected(this, Error);
}

void TCustomSocksWSocket::TriggerSocksError(int Error, const AnsiString& Msg)
{
    if (OnSocksError)
        OnSocksError(this, Error, Msg);
}

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState AuthState)
{
    if (OnSocksAuthState)
        OnSocksAuthState(this, AuthState);
}

// The SOCKS exchange is not the user's data: its write events stay quiet.
void TCustomSocksWSocket::TriggerDataSent(uint16_t Error)
{
    if (FSocksStep == socksStepNone)
        TCustomWSocket::TriggerDataSent(Error);
}

void TCustomSocksWSocket::TriggerSessionClosed(uint16_t Error)
{
    if (FSocksStep == socksStepLogin)
        TriggerSocksAuthState(socksAuthFailure);
    TCustomWSocket::TriggerSessionClosed(Error);
}

void TCustomSocksWSocket::AssignDefaultValue()
{
    TCustomWSocket::AssignDefaultValue();
    FSocksStep = socksStepNone;
    FReplyCount = 0;
    FPendingPos = 0;
    FPendingCount = 0;
}

// ---------------------------------------------------------------------------
// Connecting

void TCustomSocksWSocket::Listen()
{
    if (!FSocksServer.empty()) {
        RaiseException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

bool TCustomSocksWSocket::ReadyForSocks() const
{
    const bool inUse = FHSocket != INVALID_SOCKET && FState != wsClosed;
    return !inUse && FPortAssigned && FAddrAssigned && FProtoAssigned;
}

bool TCustomSocksWSocket::PrepareSocks(winsock::u_long& ServerAddress, int& ServerPort)
{
    if (LowerCase(FProtoStr) != "tcp") {
        RaiseException("tcp is the only protocol supported thru socks server");
        return false;
    }
    try {
        FRequestPort = WSocketResolvePort(FPortStr, FProtoStr);
        if (FSocksLevel == "4")
            FSocks4Address = WSocketResolveHost(FAddrStr);
        // Building the messages checks every field before anything is sent.
        ConnectRequest();
        if (FSocksLevel == "5" && FSocksAuthentication == socksAuthenticateUsercode)
            Login();
        ServerAddress = WSocketResolveHost(FSocksServer);
        ServerPort = WSocketResolvePort(FSocksPort, FProtoStr);
    } catch (const ESocketException& E) {
        RaiseException(E.Message());
        return false;
    }
    return true;
}

void TCustomSocksWSocket::Connect()
{
    if (FState == wsClosed) {
        // Nothing of an earlier connection (even one lost by a reset) remains.
        FSocksStep = socksStepNone;
        FReplyCount = 0;
        FPendingCount = 0;
    }
    if (FSocksServer.empty() || !ReadyForSocks()) {
        TCustomWSocket::Connect();
        return;
    }
    winsock::u_long serverAddress = 0;
    int serverPort = 0;
    if (!PrepareSocks(serverAddress, serverPort))
        return;
    FSin.sin_addr.s_addr = serverAddress;
    FSin.sin_port = htons(static_cast<u_short>(serverPort));
    FAddrResolved = true;
    FPortResolved = true;
    FBoundAddr.clear();
    FBoundPort.clear();
    FSocksStep = socksStepGreeting;
    TCustomWSocket::Connect();
}

void TCustomSocksWSocket::TriggerSessionConnected(uint16_t Error)
{
    if (FSocksStep != socksStepGreeting) {
        TCustomWSocket::TriggerSessionConnected(Error);
        return;
    }
    const TSocket socket = FHSocket;
    TriggerSocksConnected(Error);
    if (Error != 0) {
        FSocksStep = socksStepNone;
        TCustomWSocket::TriggerSessionConnected(Error);
        return;
    }
    if (FHSocket != socket)
        return;
    if (FSocksLevel == "5") {
        FAuthMethodOffered = FSocksAuthentication == socksAuthenticateUsercode ? MethodUserPassword : MethodNone;
        SendStr(Greeting());
    } else {
        SendConnectRequest();
    }
}

// ---------------------------------------------------------------------------
// Messages

AnsiString TCustomSocksWSocket::Greeting() const
{
    return Bytes({Socks5Version, 1, FAuthMethodOffered});
}

AnsiString TCustomSocksWSocket::Login() const
{
    CheckFieldLength(FSocksUsercode, "Socks user name");
    CheckFieldLength(FSocksPassword, "Socks password");
    return Bytes({LoginVersion}) + CountedField(FSocksUsercode) + CountedField(FSocksPassword);
}

AnsiString TCustomSocksWSocket::Socks5Request() const
{
    CheckHostName(FAddrStr);
    return Bytes({Socks5Version, CommandConnect, 0, AddressDomain}) + CountedField(FAddrStr) +
           PortBytes(FRequestPort);
}

AnsiString TCustomSocksWSocket::Socks4Request(bool WithHostName) const
{
    CheckTerminatedField(FSocksUsercode, "Socks user name");
    AnsiString request = Bytes({Socks4Version, CommandConnect}) + PortBytes(FRequestPort);
    if (WithHostName) {
        // The address 0.0.0.1 tells the server that the host name follows.
        request += Bytes({0, 0, 0, 1});
    } else {
        char address[sizeof FSocks4Address];
        std::memcpy(address, &FSocks4Address, sizeof address);
        request.append(address, sizeof address);
    }
    request += FSocksUsercode + '\0';
    if (WithHostName) {
        CheckHostName(FAddrStr);
        CheckTerminatedField(FAddrStr, "Host name for the socks server");
        request += FAddrStr + '\0';
    }
    return request;
}

AnsiString TCustomSocksWSocket::ConnectRequest() const
{
    if (FSocksLevel == "5")
        return Socks5Request();
    return Socks4Request(FSocksLevel == "4A");
}

void TCustomSocksWSocket::SendLogin()
{
    const TSocket socket = FHSocket;
    FSocksStep = socksStepLogin;
    TriggerSocksAuthState(socksAuthStart);
    if (FHSocket == socket)
        SendStr(Login());
}

void TCustomSocksWSocket::SendConnectRequest()
{
    FSocksStep = socksStepRequest;
    SendStr(ConnectRequest());
}

// ---------------------------------------------------------------------------
// Replies

bool TCustomSocksWSocket::TriggerDataAvailable(uint16_t Error)
{
    if (FSocksStep == socksStepNone)
        return TCustomWSocket::TriggerDataAvailable(Error);
    if (Error != 0) {
        SocksError(Error, "data receive error");
        return true;
    }
    if (!ReceiveReply())
        return true;
    switch (FSocksStep) {
    case socksStepGreeting:
        HandleGreetingReply();
        break;
    case socksStepLogin:
        HandleLoginReply();
        break;
    case socksStepRequest:
        if (FSocksLevel == "5")
            HandleSocks5Reply();
        else
            HandleSocks4Reply();
        break;
    case socksStepNone:
        break;
    }
    return true;
}

bool TCustomSocksWSocket::ReceiveReply()
{
    const int room = ReplyBufferSize - FReplyCount;
    // A full buffer always holds a whole reply.
    if (room == 0)
        return true;
    const int count = TCustomWSocket::DoRecv(FReply.data() + FReplyCount, room, 0);
    if (count <= 0)
        return false;
    FReplyCount += count;
    return true;
}

void TCustomSocksWSocket::ConsumeReply(int Count)
{
    std::copy(FReply.begin() + Count, FReply.begin() + FReplyCount, FReply.begin());
    FReplyCount -= Count;
}

void TCustomSocksWSocket::HandleGreetingReply()
{
    if (FReplyCount < GreetingReplySize)
        return;
    const uint8_t version = FReply[0];
    const uint8_t method = FReply[1];
    ConsumeReply(GreetingReplySize);
    if (version != Socks5Version) {
        SocksError(socksVersionError, "socks version error");
    } else if (method == MethodNone) {
        const TSocket socket = FHSocket;
        if (FAuthMethodOffered != MethodNone)
            TriggerSocksAuthState(socksAuthNotRequired);
        if (FHSocket == socket)
            SendConnectRequest();
    } else if (method == MethodUserPassword && FAuthMethodOffered == MethodUserPassword) {
        SendLogin();
    } else {
        SocksError(socksAuthMethodError, "authentification method not acceptable");
    }
}

void TCustomSocksWSocket::HandleLoginReply()
{
    if (FReply[0] != LoginVersion) {
        SocksError(socksVersionError, "socks version error");
        return;
    }
    if (FReplyCount < LoginReplySize)
        return;
    if (FReply[1] != 0) {
        SocksError(socksAuthenticationFailed, "socks authentication failed");
        return;
    }
    if (FReplyCount > LoginReplySize) {
        SocksError(socksProtocolError, "too much data availaible");
        return;
    }
    ConsumeReply(LoginReplySize);
    const TSocket socket = FHSocket;
    TriggerSocksAuthState(socksAuthSuccess);
    if (FHSocket == socket)
        SendConnectRequest();
}

void TCustomSocksWSocket::HandleSocks5Reply()
{
    if (FReply[0] != Socks5Version) {
        SocksError(socksVersionError, "socks version error");
        return;
    }
    if (FReplyCount < 2)
        return;
    if (const int code = FReply[1]; code != 0) {
        const TSocksReplyError error = Socks5ReplyError(code);
        SocksError(error.Code, error.Text);
        return;
    }
    if (FReplyCount < Socks5ReplyHead)
        return;
    int length = 0;
    switch (FReply[3]) {
    case AddressIPv4:
        length = 10;
        break;
    case AddressDomain:
        length = 7 + FReply[4];
        break;
    case AddressIPv6:
        length = 22;
        break;
    default:
        SocksError(socksUnknownAddressType, "address type not supported");
        return;
    }
    if (FReplyCount < length)
        return;
    switch (FReply[3]) {
    case AddressIPv4:
        FBoundAddr = Format("%d.%d.%d.%d", FReply[4], FReply[5], FReply[6], FReply[7]);
        break;
    case AddressDomain:
        FBoundAddr.assign(reinterpret_cast<const char*>(FReply.data() + 5), FReply[4]);
        break;
    default:
        FBoundAddr = IPv6Text(FReply.data() + 4);
        break;
    }
    FBoundPort = IntToStr(FReply[length - 2] * 256 + FReply[length - 1]);
    ConsumeReply(length);
    SocksGranted();
}

void TCustomSocksWSocket::HandleSocks4Reply()
{
    if (FReplyCount < Socks4ReplySize)
        return;
    const uint8_t version = FReply[0];
    const uint8_t code = FReply[1];
    ConsumeReply(Socks4ReplySize);
    if (version != 0) {
        SocksError(socksVersionError, "socks version error");
        return;
    }
    switch (code) {
    case Socks4Granted:
        SocksGranted();
        break;
    case Socks4Rejected:
        SocksError(socksRejectedOrFailed, "request rejected or failed");
        break;
    case Socks4NoIdentd:
        SocksError(socksConnectionRefused, "connection refused");
        break;
    case Socks4IdentMismatch:
        SocksError(socksAuthenticationFailed, "authentification failed");
        break;
    default:
        SocksError(socksUnassignedError, "unassigned error #" + IntToStr(code));
        break;
    }
}

void TCustomSocksWSocket::SocksGranted()
{
    // What came behind the reply is the first data of the connection.
    FSocksStep = socksStepNone;
    FPendingPos = 0;
    FPendingCount = FReplyCount;
    FReplyCount = 0;
    const TSocket socket = FHSocket;
    TriggerSessionConnected(0);
    if (FHSocket == socket && TCustomSocksWSocket::GetRcvdCount() > 0)
        TriggerDataAvailable(0);
}

void TCustomSocksWSocket::SocksError(int Error, const AnsiString& Msg)
{
    const TSocket socket = FHSocket;
    TriggerSocksError(Error, Msg);
    FSocksStep = socksStepNone;
    if (FHSocket != socket)
        return;
    TCustomWSocket::TriggerSessionConnected(static_cast<uint16_t>(Error));
    if (FHSocket == socket)
        InternalClose(true, static_cast<uint16_t>(Error));
}

// ---------------------------------------------------------------------------
// Receiving behind the reply

int TCustomSocksWSocket::GetRcvdCount()
{
    if (FPendingCount > 0)
        return FPendingCount;
    return TCustomWSocket::GetRcvdCount();
}

int TCustomSocksWSocket::DoRecv(void* Buffer, int Size, int Flags)
{
    if (FPendingCount == 0)
        return TCustomWSocket::DoRecv(Buffer, Size, Flags);
    const int count = std::clamp(Size, 0, FPendingCount);
    std::memcpy(Buffer, FReply.data() + FPendingPos, static_cast<size_t>(count));
    if ((Flags & MSG_PEEK) == 0) {
        FPendingPos += count;
        FPendingCount -= count;
    }
    return count;
}
