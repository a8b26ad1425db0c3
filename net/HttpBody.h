// The framing of a response body: how its end is known and which of the
// bytes after the header belong to the document. THttpBodyReader takes the
// raw bytes as they arrive and hands on the document's bytes only:
// - UntilClose: every byte, up to the end of the connection;
// - Length: the first Length bytes; the response is complete once they have
//   come, and bytes beyond them are not part of the document;
// - Chunked: the decoded chunk data, never the chunk sizes, extensions, line
//   ends or trailer; complete after the last (empty) chunk and its trailer,
//   which may be no larger than a header may be;
// - None: no body at all (complete at once).
// Malformed chunk framing stops the reader with an error text.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <functional>

// The most lines and bytes a response header, or a chunked body's trailer,
// may hold.
constexpr int HttpMaxHeaderLines = 4096;
constexpr int HttpMaxHeaderBytes = 1024 * 1024;

enum class TBodyFraming { None, UntilClose, Length, Chunked };

// The framing a response asks for: None for a HEAD request and for 1xx, 204
// and 304 replies; Chunked when Transfer-Encoding (the values of all such
// lines, joined by commas) names it, whatever Content-Length says; Length
// for a valid Content-Length (Length >= 0); else UntilClose. False for any
// other transfer coding: such a body cannot be decoded.
bool ChooseBodyFraming(bool HeadRequest, int Status, const AnsiString& TransferEncoding, int64_t Length,
                       TBodyFraming& Framing);

class THttpBodyReader {
public:
    // Receives a run of document bytes; returns false to stop the reader
    // (the request ended inside the handler).
    using TEmit = std::function<bool(const char* Data, int Len)>;

    void Start(TBodyFraming Framing, int64_t Length = 0);
    // Hands the document bytes among Data on to Emit. False when the framing
    // is malformed (see Error) or Emit stopped the reader.
    bool Feed(const char* Data, int Len, const TEmit& Emit);

    TBodyFraming Framing() const { return FFraming; }
    // The body's end has come: nothing more belongs to the document.
    bool Complete() const { return FStep == TStep::Done; }
    const AnsiString& Error() const { return FError; }

private:
    enum class TStep { Data, ChunkSize, ChunkDataEnd, Trailer, Done, Failed };

    bool FeedData(const char*& Data, int& Len, const TEmit& Emit);
    bool FeedLine(const char*& Data, int& Len);
    bool EndOfLine();
    bool Malformed(const char* What);

    TBodyFraming FFraming = TBodyFraming::UntilClose;
    TStep FStep = TStep::Data;
    int64_t FRemaining = 0;   // bytes left of the length or of the chunk
    AnsiString FLine;         // a chunk-size, chunk-end or trailer line being gathered
    int FTrailerLines = 0;
    int64_t FTrailerBytes = 0;
    AnsiString FError;
};
