// The page scan: one pass over the raw text of a page (or style sheet) that
// notes every candidate link with its 1-based position, as written. It is not
// an HTML parser: it recognises a fixed set of tags and attributes by name,
// the url(...) values and @import rules of style sheets, and URL-like
// strings of scripts. A bad
// index inside a tag ends that tag, never the scan. Texts beyond 2 GiB are
// scanned up to there.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/rtl/SysUtils.h"

// A link as it stands in the page: where it stands and how long it is; its
// text is that part of the page. Eight bytes, so that a page's candidates
// never cost more than the page itself (see ScanHtml).
struct TLinkCandidate {
  int32_t Pos = 0;          // 1-based position of its first character
  uint32_t Length : 30 = 0; // length of the text it occupies in the page
  uint32_t IsBase : 1 = 0;  // the href of a base tag
  std::string_view Text(const AnsiString& Content) const {
    return std::string_view(Content).substr(static_cast<size_t>(Pos - 1), Length);
  }
};

struct TPageScan {
  // In page order (a tag's attributes in table order), in blocks that the
  // parser gives back as it judges the candidates from the last on.
  std::deque<TLinkCandidate> Candidates;
  AnsiString BaseHref;   // the first base tag's href cut to its directory
  bool BaseTagSeen = false; // a base tag with an href was met
  AnsiString BaseTarget; // the base tag's target
};

// Lets the caller stop a long scan and see its progress.
struct TScanHooks {
  std::function<bool()> Stopped;                     // true ends the scan
  std::function<void(const AnsiString&)> Progress;   // progress texts
  bool IsStopped() const { return Stopped && Stopped(); }
  void Report(const AnsiString& Text) const {
    if (Progress) Progress(Text);
  }
};

// Scans an HTML page: tags, their link and script attributes, style
// attributes, script elements, base tag; comments and titles are passed over.
// The scan takes at most one candidate per 8 bytes of the page and polls
// Hooks.Stopped at least every 64 KiB it walks, also inside one tag.
TPageScan ScanHtml(const AnsiString& Content, const TScanHooks& Hooks = {});

// Scans a style sheet: the url(...) values inside its blocks (bare, in single
// or in double quotes) and the style sheets its @import rules name.
TPageScan ScanCss(const AnsiString& Content, const TScanHooks& Hooks = {});

// True when an attribute value can be a link: not empty, no control
// characters, none of < > [ ] ( ) ; " (an "&amp;" is one character), not
// starting with a single "." or a double quote, not ending with "." or one.
bool IsUrlValue(std::string_view V);
