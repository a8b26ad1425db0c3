// Link resolution: turns links as written in a page (relative paths, site-
// absolute paths, protocol-relative references, bare "www." names, with
// fragments, backslashes and "../" steps) into absolute URLs against the page's
// base, decides which links are not followed, derives the page's base, and
// splits URLs into the parts the filters compare. Pure functions on strings.
#pragma once

#include <string_view>

#include "platform/rtl/SysUtils.h"

// Makes Link absolute against Base (an absolute URL, normally ending with "/").
// False when the link is not followed: a bare "#fragment" or a "mailto:" link.
// Path segments written "%2e" or "%2E" count as the dots a browser reads.
// IsEmail is set for a scheme-less link holding "@"; such a link is accepted
// here and dropped by the parser. "../" steps never climb above the host.
bool ResolveUrl(AnsiString& Link, const AnsiString& Base, bool& IsEmail);

// Trims Link and removes its "/../" steps: 'http://h/a/b/../c' -> 'http://h/a/c'.
// A step right after the host is dropped: 'http://h/../c' -> 'http://h/c'.
// False when Link is empty.
bool CollapseDotDot(AnsiString& Link);

// The directory URL of a page URL: 'http://host/dir/page.htm' ->
// 'http://host/dir/', 'http://host/dir/sub' -> 'http://host/dir/sub/'.
void DirectoryUrl(AnsiString& Url);

// Scheme ("http" when missing) "://" host path: user, password, the default
// port 80 and the query dropped; any other port kept.
void NormalizeBase(AnsiString& Url);

// A base tag's href cut to its directory.
AnsiString BaseDirOf(const AnsiString& Href);

// A base (ending with "/") as the mirror stores its folder: empty and "."
// folders dropped, ".." taking back the folder before it, never the host.
// Links resolve against it and are rewritten relative to it, so both count
// the same folders. A base so already is handed back as it was given.
AnsiString CollapsedBase(AnsiString Base);

// True for a host name a site can have: labels of letters, digits, "-" and
// "_" (1 to 63 bytes each, neither starting nor ending with "-") joined by
// ".", at most 253 bytes, with one "." allowed at the end ("h."); ".", ".."
// and "-" are none. The host of Url is tested by HasValidHost.
bool IsValidHostName(std::string_view Host);
bool HasValidHost(const AnsiString& Url);

// The base the links of a page resolve against: the override (link import),
// else the base tag's directory (made absolute by the caller), else the page's directory (the page URL cut
// after its last "/" when the base target is "_self"), normalised and ending
// with "/".
AnsiString PageBase(const AnsiString& PageUrl, const AnsiString& BaseOverride,
                    const AnsiString& BaseHref, const AnsiString& BaseTarget);

// The parts of a URL that SplitUrl gives, without copying them: views of
// the URL when it holds "://" (the common form, split here as SplitUrl
// splits it), else views of Buffer, which SplitUrl fills.
struct TUrlView {
  std::string_view Scheme, Host, Port, Path;
};
struct TUrlParts {
  AnsiString Scheme, User, Pass, Host, Port, Path, Query;
};
TUrlView SplitUrlView(const AnsiString& Url, TUrlParts& Buffer);
TUrlView SplitUrlView(AnsiString&& Url, TUrlParts& Buffer) = delete; // the views would outlive it

// Length of "scheme://" when "://" starts within the first 9 characters of
// Url, else 0.
size_t SchemePrefixLength(const AnsiString& Url);

// A link value with its HTML character references decoded as a browser
// decodes them in an attribute: named ones ending with ";" ("&amp;",
// "&period;", "&eacute;" ...), decimal and hexadecimal ones ("&#46;",
// "&#x2E;", the ";" optional), each written as UTF-8; a reference the table
// does not know stays as it is.
std::string DecodeCharRefs(std::string_view Text);

// A path segment as a browser reads it: Dots dots, each written "." or "%2e".
bool IsDotSegment(std::string_view Segment, int Dots);

// The path segments of Link (before any "?") written with "%2e" become the
// dots they stand for ("%2E%2e/x" -> "../x"), so that the steps they make
// are taken.
void DecodeDotSegments(AnsiString& Link);

// The scheme of a link ("tel" of "tel:+1", "HTTP" of "HTTP://h/"): letters,
// digits, "+", "-" and "." from a letter up to ":"; empty when there is none.
std::string_view LinkScheme(std::string_view Link);

// False when Link is empty or its trimmed text begins with "javascript:".
bool IsNotScriptLink(std::string_view Link);

// The text after the last "." of the URL's host; empty when there is none.
AnsiString TopLevelLabel(const AnsiString& Url);

// The parts of a URL that the filters compare.
struct TSplitSite {
  AnsiString Scheme; // "http" when missing
  AnsiString Host;   // without port
  AnsiString Dir;    // directory without trailing "/"
  AnsiString File;
  AnsiString Query;  // text after "?"
  AnsiString Site;   // host from after its second-to-last "." on
  int Port = 80;     // 80 when missing or not a number
};
TSplitSite SplitSite(const AnsiString& Url);
