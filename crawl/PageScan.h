// The page scan: one pass over the raw text of a page (or style sheet) that
// notes every candidate link with its 1-based position, as written. It is not
// an HTML parser: it recognises a fixed set of tags and attributes by name,
// the url(...) values of style blocks, and URL-like strings of scripts. A bad
// index inside a tag ends that tag, never the scan. Texts beyond 2 GiB are
// scanned up to there.
#pragma once

#include <functional>
#include <vector>

#include "platform/rtl/SysUtils.h"

// A link as it stands in the page: its text and where it stands.
struct TLinkCandidate {
  AnsiString Text;
  int Pos = 0;         // 1-based position of its first character
  int Length = 0;      // length of the text it occupies in the page
  bool IsBase = false; // the href of a base tag
};

struct TPageScan {
  std::vector<TLinkCandidate> Candidates; // in page order (a tag's attributes in table order)
  AnsiString BaseHref;   // the first base tag's href cut to its directory
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
TPageScan ScanHtml(const AnsiString& Content, const TScanHooks& Hooks = {});

// Scans a style sheet: the url(...) values inside its blocks.
TPageScan ScanCss(const AnsiString& Content, const TScanHooks& Hooks = {});

// True when an attribute value can be a link: not empty, no control
// characters, none of < > [ ] ( ) ; " (an "&amp;" is one character), not
// starting with a single "." or a double quote, not ending with "." or one.
bool IsUrlValue(const AnsiString& V);
