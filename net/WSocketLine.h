// Line mode of the socket component. With LineMode on (and LineEnd not
// empty) received bytes are gathered until LineEnd has come, and each
// OnDataAvailable hands the user one whole line, terminator included, to be
// taken with Receive; a terminator split across receives is still found.
// When the connection closes, bytes without a terminator are handed over as
// a last line before OnSessionClosed.
//
// A line holds at most LineLimit bytes before its terminator. A longer one
// fires OnLineTooLong and is handed over in pieces of LineLimit bytes, so a
// peer cannot make the buffer grow without bound; nothing is dropped.
// LineEcho sends every received byte back; LineEdit applies backspace and
// tab editing to the line being received (echoing the edits when LineEcho
// is set), as a terminal server would. Switching LineMode while bytes are
// buffered posts a message that delivers them in the new mode. Bytes keep
// their order and no line is handed over twice; a line the handler leaves
// unread is offered again with the next event.
#pragma once

#include "net/WSocketSocks.h"

class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    explicit TCustomLineWSocket(TComponent* AOwner = nullptr) : TCustomSocksWSocket(AOwner) {}

    AnsiString ClassName() const override { return "TCustomLineWSocket"; }

    void Connect() override;

    bool LineMode() const { return FLineMode; }
    virtual void SetLineMode(bool Value);
    const AnsiString& LineEnd() const { return FLineEnd; }
    void SetLineEnd(const AnsiString& Value);
    bool LineEcho() const { return FLineEcho; }
    void SetLineEcho(bool Value) { FLineEcho = Value; }
    bool LineEdit() const { return FLineEdit; }
    void SetLineEdit(bool Value) { FLineEdit = Value; }

    TNotifyEvent OnLineTooLong;

    // The most bytes a line holds before its terminator.
    static constexpr int LineLimit = 1024 * 1024;

protected:
    void WndProc(TMessage& Msg) override;
    void AssignDefaultValue() override;
    int GetRcvdCount() override;
    int DoRecv(void* Buffer, int Size, int Flags) override;
    bool TriggerDataAvailable(uint16_t Error) override;
    void TriggerSessionClosed(uint16_t Error) override;
    virtual void TriggerLineTooLong();
    // Edits the Len bytes received last, at the end of the receive buffer;
    // a backspace may also take back a byte typed before them on the same
    // line. Len becomes the number of bytes at the end of the buffer that
    // the edit wrote.
    virtual void EditLine(int& Len);

private:
    bool LineHandling() const { return FLineMode && !FLineEnd.empty() && FSocksStep == socksStepNone; }
    int Buffered() const { return static_cast<int>(FRcvBuf.size() - FRcvStart); }
    // Where the bytes behind the ready line start.
    size_t UnfinishedStart() const { return FRcvStart + static_cast<size_t>(FLineLength); }
    // Where the line being typed starts (behind the last terminator).
    size_t TypedLineStart(size_t End) const;
    void ResetLineBuffer();
    void DropHandedOut();
    // Receives the waiting bytes behind the buffered ones; false when the
    // connection went away meanwhile (by an echo that failed).
    bool ReceiveIntoBuffer();
    void DeliverLines();
    bool FindLine();
    bool TooLongLineFound();
    bool HandOverLine();
    void DeliverRaw();
    void DeliverRest();
    int CopyOut(void* Buffer, int Size, int Available, int Flags);
    void TakeFromBuffer(int Count);

    bool FLineMode = false;
    AnsiString FLineEnd = "\r\n";
    bool FLineEcho = false;
    bool FLineEdit = false;
    // Received bytes; those before FRcvStart have been handed out.
    std::string FRcvBuf;
    size_t FRcvStart = 0;
    // Length of the ready line at FRcvStart (0: none).
    int FLineLength = 0;
    // No terminator starts between UnfinishedStart() and here.
    size_t FScanned = 0;
    // Bytes handed out of the buffer so far, to see a handler's progress.
    uint64_t FHandedOut = 0;
};
