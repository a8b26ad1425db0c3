// Pieces of the HTTP/1.0 client that work on text alone: the request header
// in its fixed line order, the document name of a request path, the reading
// of status and field lines, and the cleaning of what goes on the wire.
//
// Contract: the request target never carries a byte 0x00-0x20 or 0x7F (they
// are percent-encoded) and no header value carries CR, LF or NUL (they are
// dropped), whatever the URL, referrer or cookie held.
#pragma once

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// Everything the request header is made of, as views of texts that outlive
// the building of the lines.
struct THttpRequestFields {
    std::string_view Method;            // "GET", "POST" or "HEAD"
    std::string_view Path;              // request target (the whole URL through a proxy)
    std::string_view Version = "1.0";
    std::string_view Sender;            // From:
    std::string_view Accept;            // Accept:
    std::string_view Reference;         // Referer:
    std::string_view ContentTypePost;   // Content-Type: (POST)
    std::string_view Agent;             // User-Agent:
    std::string_view TargetHost;        // Host:
    bool NoCache = false;               // Pragma: no-cache
    int64_t PostSize = 0;               // Content-Length: (POST)
    TDateTime ModifiedSince = 0;        // If-Modified-Since: when not 0
    std::string_view Username, Password;
    bool UseProxy = false;
    std::string_view ProxyUsername, ProxyPassword;
    std::string_view Cookie;
    std::string_view RangeBegin, RangeEnd;
};

// Hands Line the header lines in their fixed order, without the final empty
// line: request line, From, Accept, Referer, Content-Type (POST),
// User-Agent, Host, Pragma, Content-Length (POST), If-Modified-Since,
// Authorization, Proxy-Authorization, Cookie, Range. The lines are made one
// after another in one buffer: a line's text lasts for its call only.
void ForEachRequestLine(const THttpRequestFields& Fields, const std::function<void(const AnsiString&)>& Line);
// The same lines as a list.
std::vector<AnsiString> BuildRequestLines(const THttpRequestFields& Fields);

// The target in the form of PercentEncodedUrl (net/UrlUtils.h): every byte
// outside the unreserved and reserved ASCII characters becomes "%XX", so
// servers that want percent-encoding find the document.
AnsiString EncodeRequestTarget(const AnsiString& Target);
// The value without CR, LF and NUL.
AnsiString CleanHeaderValue(std::string_view Value);
// Appends the value without CR, LF and NUL to Out.
void AppendCleanHeaderValue(AnsiString& Out, std::string_view Value);

// The document name of a request path: the path before its "?", then the
// text after its last "/" (at most 255 bytes); "index.htm" for an empty name
// or a path ending in "/".
AnsiString HttpDocName(const AnsiString& Path);

// Replaces the text after the last "." of Name by Ext, or appends "." Ext.
void ReplaceExt(AnsiString& Name, const AnsiString& Ext);

enum class TStatusLine { NotStatus, Valid, Invalid };

// A line starting "HTTP/1.0" or "HTTP/1.1" is a status line: the code is
// characters 10 to 12 and the reason the text from character 14. It is
// Invalid unless character 9 is a blank, the code is three digits from 100
// on, and character 13 is a blank or the line ends before it.
TStatusLine ParseStatusLine(const AnsiString& Line, int& Code, AnsiString& Reason);

// A well-formed field line: a name of token characters (no blank, control
// character or separator), then ":".
bool IsHeaderFieldLine(const AnsiString& Line);

// Splits "Name: value" into the lower-cased name and the value; the blanks
// after the ":" are skipped but never the last character. False without ":".
bool SplitHeaderField(const AnsiString& Line, AnsiString& Name, AnsiString& Value);

// "bytes 100-199/1000" gives "100" and "199".
void ParseContentRange(const AnsiString& Value, AnsiString& RangeBegin, AnsiString& RangeEnd);

// A content-length value: the trimmed decimal number, 0 when it is not one.
int64_t ParseContentLength(const AnsiString& Value);
// The same; false (and Length untouched) when the value is not a number.
bool TryParseContentLength(const AnsiString& Value, int64_t& Length);
