// The SOCKS client layer of the socket component. With SocksServer set,
// Connect connects to the SOCKS server instead of Addr:Port, negotiates
// (SOCKS 4, 4A, or 5 with or without a user name and password) and asks the
// server to connect on to Addr:Port. The user sees OnSessionConnected only
// once the server has granted the connection; from then on data flows as on
// a direct connection, and bytes that came behind the server's reply are
// handed out first. A refusal fires OnSocksError, then OnSessionConnected
// with the error code, then OnSessionClosed.
//
// Every message is checked against the protocol's length limits in Connect,
// before anything is sent: a user name, password or host name that does not
// fit is refused with a clear error. Replies are read into a buffer that
// holds the longest SOCKS 5 reply, never more than its free room at a time.
// SOCKS 4 carries Addr as an IPv4 address, resolved in Connect (a host name
// blocks there); SOCKS 4A and 5 pass the host name to the server. All SOCKS
// settings can be changed only while the socket is closed, and they stay in
// force from one connection to the next.
#pragma once

#include "net/WSocket.h"

#include <array>

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };

// 0 authentication started, 1 succeeded, 2 failed (the server closed during
// authentication), 3 not required (the server chose no authentication
// although it was offered).
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

using TSocksErrorEvent = std::function<void(TObject* Sender, int Error, const AnsiString& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;

// Error codes of a failed negotiation (OnSocksError and OnSessionConnected).
constexpr int socksProtocolError = 20001;
constexpr int socksVersionError = 20002;
constexpr int socksAuthMethodError = 20003;
constexpr int socksGeneralFailure = 20004;
constexpr int socksConnectionNotAllowed = 20005;
constexpr int socksNetworkUnreachable = 20006;
constexpr int socksHostUnreachable = 20007;
constexpr int socksConnectionRefused = 20008;
constexpr int socksTtlExpired = 20009;
constexpr int socksUnknownCommand = 20010;
constexpr int socksUnknownAddressType = 20011;
constexpr int socksUnassignedError = 20012;
constexpr int socksInternalError = 20013;
constexpr int socksAuthenticationFailed = 20015;
constexpr int socksRejectedOrFailed = 20016;

class TCustomSocksWSocket : public TCustomWSocket {
public:
    explicit TCustomSocksWSocket(TComponent* AOwner = nullptr) : TCustomWSocket(AOwner) {}

    AnsiString ClassName() const override { return "TCustomSocksWSocket"; }

    void Connect() override;
    void Listen() override;

    // Properties; each setter raises (or fires OnError) unless closed.
    const AnsiString& SocksServer() const { return FSocksServer; }
    virtual void SetSocksServer(const AnsiString& Value);
    const AnsiString& SocksPort() const { return FSocksPort; }
    virtual void SetSocksPort(const AnsiString& Value);
    // "4", "4A" (a lower-case "4a" is stored upper-cased) or "5".
    const AnsiString& SocksLevel() const { return FSocksLevel; }
    void SetSocksLevel(const AnsiString& Value);
    const AnsiString& SocksUsercode() const { return FSocksUsercode; }
    void SetSocksUsercode(const AnsiString& Value);
    const AnsiString& SocksPassword() const { return FSocksPassword; }
    void SetSocksPassword(const AnsiString& Value);
    TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
    void SetSocksAuthentication(TSocksAuthentication Value);

    // The TCP connection to the SOCKS server is made (or failed).
    TSessionConnected OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

    // The longest user name, password and host name the protocol carries.
    static constexpr int MaxSocksField = 255;

protected:
    virtual void TriggerSocksConnected(uint16_t Error);
    virtual void TriggerSocksError(int Error, const AnsiString& Msg);
    void TriggerSocksAuthState(TSocksAuthState AuthState);

    void AssignDefaultValue() override;
    void TriggerSessionConnected(uint16_t Error) override;
    void TriggerSessionClosed(uint16_t Error) override;
    bool TriggerDataAvailable(uint16_t Error) override;
    void TriggerDataSent(uint16_t Error) override;
    int GetRcvdCount() override;
    int DoRecv(void* Buffer, int Size, int Flags) override;

    // The negotiation step.
    enum TSocksStep { socksStepNone, socksStepGreeting, socksStepLogin, socksStepRequest };
    TSocksStep FSocksStep = socksStepNone;
    // What a SOCKS 5 server reported as its bound address and port.
    AnsiString FBoundAddr;
    AnsiString FBoundPort;

private:
    // False (after reporting) when the socket is not closed.
    bool CanChangeSocks(const char* What);
    bool ReadyForSocks() const;
    // Checks the settings and resolves server, port and SOCKS 4 address;
    // false after reporting a failure.
    bool PrepareSocks(winsock::u_long& ServerAddress, int& ServerPort);

    AnsiString Greeting() const;
    AnsiString Login() const;
    AnsiString ConnectRequest() const;
    AnsiString Socks5Request() const;
    AnsiString Socks4Request(bool WithHostName) const;
    void SendLogin();
    void SendConnectRequest();

    // Receives what fits into the reply buffer; false when nothing came.
    bool ReceiveReply();
    // Drops the first Count bytes of the reply buffer.
    void ConsumeReply(int Count);
    void HandleGreetingReply();
    void HandleLoginReply();
    void HandleSocks5Reply();
    void HandleSocks4Reply();
    void SocksGranted();
    void SocksError(int Error, const AnsiString& Msg);

    AnsiString FSocksServer;
    AnsiString FSocksPort;
    AnsiString FSocksLevel = "5";
    AnsiString FSocksUsercode;
    AnsiString FSocksPassword;
    TSocksAuthentication FSocksAuthentication = socksNoAuthentication;
    int FRequestPort = 0;
    winsock::u_long FSocks4Address = 0;
    uint8_t FAuthMethodOffered = 0;

    // 4 header bytes, a name of up to 255 bytes with its length, a port.
    static constexpr int ReplyBufferSize = 262;
    std::array<uint8_t, ReplyBufferSize> FReply{};
    int FReplyCount = 0;
    // Bytes that came behind the server's reply, not yet handed out.
    int FPendingPos = 0;
    int FPendingCount = 0;
};
