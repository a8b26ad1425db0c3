#include "net/HttpBody.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace {

// Longest chunk-size or trailer line taken.
constexpr size_t MaxFramingLine = 4096;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// "1a3", "1a3 ;name=value": the size before the optional extension; a size
// beyond 64 bits is refused.
bool ParseChunkSize(const AnsiString& Line, int64_t& Size)
{
    const char* at = Line.data();
    const char* const end = at + Line.size();
    while (at < end && IsBlank(*at))
        ++at;
    const auto [digitsEnd, error] = std::from_chars(at, end, Size, 16);
    if (error != std::errc() || *at == '-')
        return false;
    at = digitsEnd;
    while (at < end && IsBlank(*at))
        ++at;
    return at == end || *at == ';';
}

// The transfer codings named, without "identity" (which changes nothing).
std::vector<AnsiString> TransferCodings(const AnsiString& Value)
{
    std::vector<AnsiString> codings;
    size_t start = 0;
    while (start <= Value.size()) {
        size_t comma = Value.find(',', start);
        if (comma == AnsiString::npos)
            comma = Value.size();
        const AnsiString coding = LowerCase(Trim(Value.substr(start, comma - start)));
        if (!coding.empty() && coding != "identity")
            codings.push_back(coding);
        start = comma + 1;
    }
    return codings;
}

} // namespace

bool ChooseBodyFraming(bool HeadRequest, int Status, const AnsiString& TransferEncoding, int64_t Length,
                       TBodyFraming& Framing)
{
    if (HeadRequest || (Status >= 100 && Status < 200) || Status == 204 || Status == 304) {
        Framing = TBodyFraming::None;
        return true;
    }
    const std::vector<AnsiString> codings =
        TransferEncoding.empty() ? std::vector<AnsiString>() : TransferCodings(TransferEncoding);
    if (!codings.empty()) {
        Framing = TBodyFraming::Chunked;
        return codings.size() == 1 && codings[0] == "chunked";
    }
    Framing = Length >= 0 ? TBodyFraming::Length : TBodyFraming::UntilClose;
    return true;
}

void THttpBodyReader::Start(TBodyFraming Framing, int64_t Length)
{
    FFraming = Framing;
    FLine.clear();
    FError.clear();
    FRemaining = Length;
    FTrailerLines = 0;
    FTrailerBytes = 0;
    switch (Framing) {
    case TBodyFraming::None:
        FStep = TStep::Done;
        break;
    case TBodyFraming::Length:
        FStep = Length > 0 ? TStep::Data : TStep::Done;
        break;
    case TBodyFraming::UntilClose:
        FStep = TStep::Data;
        break;
    case TBodyFraming::Chunked:
        FStep = TStep::ChunkSize;
        break;
    }
}

bool THttpBodyReader::Feed(const char* Data, int Len, const TEmit& Emit)
{
    while (Len > 0) {
        switch (FStep) {
        case TStep::Done:
            return true;
        case TStep::Failed:
            return false;
        case TStep::Data:
            if (!FeedData(Data, Len, Emit))
                return false;
            break;
        default:
            if (FeedLine(Data, Len) && !EndOfLine())
                return false;
            break;
        }
    }
    return FStep != TStep::Failed;
}

bool THttpBodyReader::FeedData(const char*& Data, int& Len, const TEmit& Emit)
{
    const int count = FFraming == TBodyFraming::UntilClose ? Len
                                                           : static_cast<int>(std::min<int64_t>(Len, FRemaining));
    const char* run = Data;
    Data += count;
    Len -= count;
    if (FFraming != TBodyFraming::UntilClose) {
        FRemaining -= count;
        if (FRemaining == 0)
            FStep = FFraming == TBodyFraming::Chunked ? TStep::ChunkDataEnd : TStep::Done;
    }
    return Emit(run, count);
}

// Gathers a framing line; true once its LF has come (the line, without CR
// LF, is in FLine).
bool THttpBodyReader::FeedLine(const char*& Data, int& Len)
{
    const auto* lf = static_cast<const char*>(std::memchr(Data, '\n', Len));
    const int taken = lf ? static_cast<int>(lf - Data) + 1 : Len;
    FLine.append(Data, lf ? taken - 1 : taken);
    Data += taken;
    Len -= taken;
    if (FLine.size() > MaxFramingLine)
        return Malformed("line too long");
    if (!lf)
        return false;
    if (!FLine.empty() && FLine.back() == '\r')
        FLine.pop_back();
    return true;
}

bool THttpBodyReader::EndOfLine()
{
    const AnsiString line = std::move(FLine);
    FLine.clear();
    switch (FStep) {
    case TStep::ChunkSize:
        if (!ParseChunkSize(line, FRemaining))
            return Malformed("bad chunk size");
        FStep = FRemaining == 0 ? TStep::Trailer : TStep::Data;
        return true;
    case TStep::ChunkDataEnd:
        if (!line.empty())
            return Malformed("chunk longer than its size");
        FStep = TStep::ChunkSize;
        return true;
    default:
        // Trailer fields are not part of the document; an empty line ends them.
        if (line.empty()) {
            FStep = TStep::Done;
            return true;
        }
        FTrailerBytes += static_cast<int64_t>(line.size()) + 2;
        if (++FTrailerLines > HttpMaxHeaderLines || FTrailerBytes > HttpMaxHeaderBytes)
            return Malformed("trailer too large");
        return true;
    }
}

bool THttpBodyReader::Malformed(const char* What)
{
    FStep = TStep::Failed;
    FError = AnsiString("Invalid chunked encoding: ") + What;
    return false;
}
