// The page parser: finds the links of a downloaded or re-read document,
// resolves them against the page's base, rewrites them in the page to relative
// local names when the project asks for it, filters them, and returns the
// links to follow. It works on plain values, so the worker thread calls it
// with its content and settings and tests call it without threads or sockets.
// A style sheet (page URL ending with ".css") gets the style scan; a script
// (".js") is not parsed.
#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "crawl/LinkRewrite.h"
#include "crawl/LinkBatch.h"
#include "crawl/PageScan.h"
#include "platform/rtl/SysUtils.h"

// What the parser reads of the work order and the project.
struct TParseSettings {
  AnsiString PageUrl;          // the URL the page came from (after redirects)
  AnsiString BaseOverride;     // link import: the base URL given for the file
  bool DownloadMode = true;    // false for a link import: no rewriting, no domain-code filter
  bool TranslateLinks = false; // rewrite links to relative local names
  bool ExternalOnly = false;   // on levels 0 and 1 keep only links to other sites
  int Level = 0;               // link level of the page
  AnsiString DomainFilter;     // domain codes links are restricted to ("com;net;"), or empty
  AnsiString PageFolder;       // the page's folder below the download folder ("host/dir"), when saved
  TRewriteSettings Rewrite;    // the settings of the rewriting
};

// Receives the links of a page a batch at a time, sorted without regard to
// case, no two equal within the batch.
using TLinkSink = std::function<void(TLinkBatch& Batch)>;

// Asked before each link goes into the batch under way: may the batch grow
// to BatchBytes? On false the asker has made what room it can, and the
// parser hands on the batch it has before it adds the link.
using TLinkRoom = std::function<bool(size_t BatchBytes)>;

// The parse of one page: the scan, then every candidate from the last to the
// first: resolved against the page's base (collapsed, so that links and their
// rewritten forms count the same folders), filtered, and with TranslateLinks
// in download mode marked for its relative local name. Links whose host is
// not a valid host name are neither followed nor rewritten. A link value is
// read as a browser reads it: in a page its character references decoded
// ("&#46;", "&period;", "&amp;" ...), then the blanks around it and every
// control byte in it (TAB, LF, CR, NUL ...) dropped before it is resolved;
// a value read otherwise than written is written anew when it is rewritten
// ("&" as "&amp;"). A link of any scheme but http (https, ftp, tel:,
// file: ...) is neither followed nor rewritten; "HTTP://" is http.
//
// Contract
// - Every link to follow is handed to Sink, in batches of about
//   LinkBatchBytes as they are found and the last one when the candidates
//   are done, or sooner when Room says no; none is dropped to save memory.
//   Memory: the candidates (8
//   bytes each, at most one per 8 bytes of the page, given back as they are
//   judged), those whose replacement changes the page with their kept
//   replacements, one batch, and the judgements of 512 link texts met
//   lately (each at most 1 KiB).
// - Hooks.Stopped is polled throughout (scan, sorts, candidates, writing);
//   a stopped parse ends at once and hands on no further batch.
// - With TranslateLinks in download mode, no link left as it stands in the
//   page leads above the download folder once the saved page is opened: such
//   a link (one the rewriting does not take, such as an e-mail-like path or a
//   base tag that resolves nowhere) is replaced by its online URL.
// - Content must outlive the parse; WriteRewritten hands out the page with
//   its replacements in order, in pieces, without building a second copy.
class TPageParse {
public:
  TPageParse(const AnsiString& Content, const TParseSettings& Settings, const TLinkSink& Sink,
             const TScanHooks& Hooks = {}, const TLinkRoom& Room = {});
  TPageParse(const TPageParse&) = delete;
  TPageParse& operator=(const TPageParse&) = delete;

  const AnsiString& Base() const { return Base_; }
  // Links rewritten, counting those whose replacement is their text as written.
  int Rewritten() const { return Rewritten_; }
  // Some replacement changes the page: WriteRewritten hands out other bytes
  // than the page's own.
  bool ChangesPage() const { return !Replacements_.empty(); }
  // Links handed to the sink.
  size_t LinksHandedOn() const { return HandedOn_; }
  // False when the hooks stopped it before the whole page was handed out.
  bool WriteRewritten(const std::function<void(std::string_view)>& Out) const;
  // The length of the page WriteRewritten hands out.
  size_t RewrittenSize() const { return Content_.size() - ShrinksBy_ + GrowsBy_; }
  // The replacements up to any one of them make the page no longer: the
  // rewritten page can be written over the page itself from its start, never
  // overtaking what is still to be read.
  bool FitsInPlace() const { return Growth() == LeastGrowthFromOne_; }

private:
  struct TJudgement {
    AnsiString Link;  // the absolute link to follow; empty when it is not followed
    AnsiString Local; // the text that replaces it in the page; empty when it stays
    bool Script = false; // a "javascript:" link: neither followed nor rewritten
    bool AsWritten = false; // Local is the text as it stands in the page
  };
  void Run(TPageScan& Scan);
  void HandOn();
  void MakeRoomFor(std::string_view Link);
  void Replace(const TLinkCandidate& Candidate, const AnsiString& Local);
  void KeepLocal(const AnsiString& Local);
  size_t LocalsRoom() const;
  void CountGrowth(size_t Length, size_t Size);
  TJudgement Judge(const TLinkCandidate& Candidate) const;
  const TJudgement& Remembered(const TLinkCandidate& Candidate);
  bool Resolve(const TLinkCandidate& Candidate, std::string_view Text, AnsiString& Link) const;
  bool HasHostOfAName(const AnsiString& Link) const;
  bool InOneForm(const AnsiString& Link) const;
  bool PassesFilters(AnsiString& Link) const;
  bool KeepsOnlyOtherSites() const { return Settings_.ExternalOnly && Settings_.Level <= 1; }
  bool LeavesMirror(std::string_view Text) const;
  std::string_view ReadAsBrowser(std::string_view Text, AnsiString& Buffer) const;
  AnsiString OnlineUrlOf(std::string_view Text) const;

  const AnsiString& Content_;
  const TParseSettings& Settings_;
  const TLinkSink Sink_;
  const TScanHooks Hooks_; // a copy: the caller's may be a temporary
  const TLinkRoom Room_;
  size_t CandidateCount_ = 0;              // the page's candidates
  // The candidates whose replacement changes the page, from the last in the
  // page to the first.
  std::vector<TLinkCandidate> Replacements_;
  AnsiString BaseHref_;
  AnsiString Base_;        // the links resolve against it
  AnsiString RewriteBase_; // the links are rewritten relative to it
  std::optional<TLinkRewriter> Rewriter_;
  AnsiString BaseSite_; // the base's site, lower-cased, when links to it are not followed
  AnsiString PageDocument_;
  int BaseDepth_ = 0; // folders between the download folder and the base's local folder
  bool InPage_ = true; // an HTML page, not a style sheet
  TLinkBatch Batch_;
  mutable AnsiString ValidHostPrefix_; // "http://host/" of the last link whose host was found valid
  mutable bool ValidHostPrefixInOneForm_ = false;
  // The judgements of link texts met lately, by a hash of the text: a page
  // names the same links again and again (menus, images), and a judgement
  // depends on nothing but the text and whether it is a base tag's.
  struct TMemo {
    std::string_view Text; // a view of the page, which outlives the parse
    bool IsBase = false;
    bool Filled = false;
    TJudgement Judgement;
  };
  std::vector<TMemo> Memos_;
  TJudgement Unremembered_;
  std::string Locals_;              // kept replacements, from the last in the page on
  std::vector<uint32_t> LocalEnds_; // where each of them ends in Locals_
  bool LocalsFull_ = false;
  // By how much the replacements shorten and lengthen the page, and the
  // least growth of the replacements from one of them to the last (0 for
  // none of them).
  size_t ShrinksBy_ = 0;
  size_t GrowsBy_ = 0;
  int64_t LeastGrowthFromOne_ = 0;
  int64_t Growth() const { return static_cast<int64_t>(GrowsBy_) - static_cast<int64_t>(ShrinksBy_); }
  size_t HandedOn_ = 0;
  int Rewritten_ = 0;
};

// The parse of Content as plain values: the links, the base, and Content
// itself rewritten in place.
struct TParseResult {
  std::vector<AnsiString> Links; // links to follow, sorted without regard to case, no duplicates
  AnsiString Base;               // the base the links were resolved against
  int Rewritten = 0;             // number of links replaced in the page
};
TParseResult ParseDocument(AnsiString& Content, const TParseSettings& Settings, const TScanHooks& Hooks = {});

// Whether a downloaded document is parsed at all: it has content (or is a kept
// local copy), its status is below 400, it is not an archive, binary or image
// by type or extension, and its level is within the link-level limit
// (MaxLevel 0 = no limit).
bool IsParsablePage(int StatusCode, bool HasContent, bool NoSave, const AnsiString& Location,
                    const AnsiString& LocalName, const AnsiString& ContentType, int MaxLevel, int Level);
