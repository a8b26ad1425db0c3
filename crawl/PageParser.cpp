#include "crawl/PageParser.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string_view>
#include <utility>

#include "crawl/LinkLevels.h"
#include "crawl/LinkResolve.h"
#include "crawl/LinkText.h"
#include "net/UrlUtils.h"

namespace {

// Longest link followed, as long as the longest URL browsers take.
constexpr size_t MaxLinkLength = 2 << 20;

// The room the first replacement of a page takes for those after it (a page
// has mostly few), and for their texts, so that they do not grow one by one.
constexpr size_t FirstReplacementsRoom = 16;
constexpr size_t FirstLocalsBytes = 256;

AnsiString HostOf(const AnsiString& Url) {
  TUrlParts buffer;
  return AnsiString(SplitUrlView(Url, buffer).Host);
}

// A web folder: an http, https or ftp URL of a valid host.
bool IsWebUrl(const AnsiString& Url) {
  return (StartsText("http://", Url) || StartsText("https://", Url) || StartsText("ftp://", Url)) && HasValidHost(Url);
}

// A base tag's href made absolute against the page's own base, as browsers
// do; empty when it names no web folder to resolve against (a bare
// "#fragment", a "file:" URL, a host that is no host name).
AnsiString AbsoluteBaseHref(const AnsiString& BaseHref, const AnsiString& PageOwnBase) {
  if (BaseHref.empty() || BaseHref.size() > MaxLinkLength) return AnsiString();
  AnsiString href = BaseHref;
  if (SchemePrefixLength(BaseHref) == 0) {
    bool isEmail = false;
    if (!ResolveUrl(href, PageOwnBase, isEmail) || isEmail || !CollapseDotDot(href)) return AnsiString();
    href = BaseDirOf(href.substr(0, href.find('#')));
  }
  href = CollapsedBase(std::move(href));
  return IsWebUrl(href) ? href : AnsiString();
}

// The URL of the page's own document (no query) that a link made only of a
// query belongs to, as in a browser; empty when the page is a folder or its
// links resolve against a given base.
AnsiString PageDocumentUrl(const TParseSettings& Settings, const AnsiString& BaseHref) {
  if (!Settings.DownloadMode || !Settings.BaseOverride.empty() || !BaseHref.empty()) return AnsiString();
  AnsiString url = Settings.PageUrl.substr(0, FindAnyOf(Settings.PageUrl, "?#"));
  NormalizeBase(url);
  const size_t slash = url.rfind('/');
  if (slash == AnsiString::npos || slash < SchemePrefixLength(url) || slash + 1 == url.size()) return AnsiString();
  return url;
}

// The URL of the folder a page is saved in: the page URL's scheme and host,
// then the folders of its mirror folder below the host's ("host/dir").
AnsiString FolderUrl(const AnsiString& PageUrl, const AnsiString& PageFolder) {
  AnsiString url = PageUrl;
  NormalizeBase(url);
  url.resize(std::min(url.find('/', SchemePrefixLength(url)), url.size()));
  url += '/';
  if (const size_t slash = PageFolder.find('/'); slash != AnsiString::npos) url.append(PageFolder, slash + 1);
  url += '/';
  return CollapsedBase(std::move(url));
}

// Folders of a base URL below its host.
int FolderCount(const AnsiString& Base) {
  const size_t hostEnd = Base.find('/', SchemePrefixLength(Base));
  return hostEnd == AnsiString::npos ? 0 : static_cast<int>(std::count(Base.begin() + hostEnd + 1, Base.end(), '/'));
}

// A link that keeps its scheme's own meaning in a browser: any scheme but
// "http" (letter case aside), which the program never fetches, is left as it
// stands. A bare "www." name is a host, whatever a colon after it says.
bool HasOtherScheme(std::string_view Text, std::string_view Scheme) {
  return !Scheme.empty() && !SameTextView(Scheme, "http") && !StartsTextView(Text, "www.");
}

bool HasOtherScheme(std::string_view Text) { return HasOtherScheme(Text, LinkScheme(Text)); }

// Bytes that cannot stand in an attribute value as they are: blanks,
// control bytes, quotes and angle brackets percent-encoded; in a page (not a
// style sheet) "&" written as the reference that stands for it.
AnsiString AttributeSafe(std::string_view Url, bool InPage) {
  AnsiString out;
  for (const char c : Url) {
    const auto byte = static_cast<unsigned char>(c);
    const bool escape = byte <= 0x20 || byte == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>';
    if (escape)
      out += "%" + IntToHex(byte, 2);
    else if (c == '&' && InPage)
      out += "&amp;";
    else
      out += c;
  }
  return out;
}

// A replacement written into a page: "&" as "&amp;", so that the browser
// reads the link that was written.
AnsiString HtmlEscaped(AnsiString Local, bool InPage) {
  if (InPage && Local.find('&') != AnsiString::npos) return StringReplace(Local, "&", "&amp;", rfReplaceAll);
  return Local;
}

// A text that other texts are looked for in, with the bytes it holds: a
// text holding a byte it lacks (as a page's type or extension mostly does
// at once) is known not to occur in it without a search.
class TTextList {
public:
  constexpr explicit TTextList(std::string_view Text) : Text_(Text), Bytes_() {
    for (const char c : Text) Bytes_[static_cast<unsigned char>(c)] = true;
  }
  bool Holds(std::string_view Part) const {
    for (const char c : Part)
      if (!Bytes_[static_cast<unsigned char>(c)]) return false;
    return Text_.find(Part) != std::string_view::npos;
  }

private:
  std::string_view Text_;
  std::array<bool, 256> Bytes_;
};

} // namespace

TPageParse::TPageParse(const AnsiString& Content, const TParseSettings& Settings, const TLinkSink& Sink,
                       const TScanHooks& Hooks, const TLinkRoom& Room)
    : Content_(Content), Settings_(Settings), Sink_(Sink), Hooks_(Hooks), Room_(Room) {
  if (Hooks.IsStopped() || EndsTextView(Settings.PageUrl, ".js") || Content.empty()) return;
  InPage_ = !EndsTextView(Settings.PageUrl, ".css");
  TPageScan scan = InPage_ ? ScanHtml(Content, Hooks) : ScanCss(Content, Hooks);
  AnsiString ownBase = PageBase(Settings.PageUrl, Settings.BaseOverride, "", scan.BaseTarget);
  BaseHref_ = AbsoluteBaseHref(scan.BaseHref, ownBase);
  Base_ = BaseHref_.empty() ? std::move(ownBase) : PageBase(Settings.PageUrl, Settings.BaseOverride, BaseHref_, scan.BaseTarget);
  if (Settings.BaseOverride.empty()) Base_ = CollapsedBase(std::move(Base_));
  // Without a base tag the saved page's links resolve from the folder the
  // page is saved in, which is not always the folder of its URL.
  RewriteBase_ = BaseHref_.empty() && !Settings.PageFolder.empty() ? FolderUrl(Settings.PageUrl, Settings.PageFolder) : Base_;
  Rewriter_.emplace(HostOf(Settings.PageUrl), RewriteBase_, Settings.Rewrite);
  if (KeepsOnlyOtherSites()) BaseSite_ = LowerCase(SplitSite(Base_).Site);
  PageDocument_ = PageDocumentUrl(Settings, BaseHref_);
  BaseDepth_ = Settings.Rewrite.DirStructure ? 1 + FolderCount(RewriteBase_) : 0;
  Run(scan);
}

void TPageParse::Run(TPageScan& Scan) {
  // In page order; those still to judge.
  std::deque<TLinkCandidate>& candidates = Scan.Candidates;
  // Found in page order but for the attributes of a tag, which is mostly put
  // right without a sort.
  const auto earlier = [](const TLinkCandidate& a, const TLinkCandidate& b) {
    return a.Pos != b.Pos ? a.Pos < b.Pos : a.Length < b.Length;
  };
  constexpr std::ptrdiff_t AttributesOfATag = 16;
  const bool sorted = SortNearlySorted(candidates.begin(), candidates.end(), earlier, AttributesOfATag) ||
                      SortUnlessStopped(candidates.begin(), candidates.end(), earlier,
                                        std::function<bool()>([this] { return Hooks_.IsStopped(); }));
  if (!sorted) {
    std::deque<TLinkCandidate>().swap(candidates);
    return;
  }
  CandidateCount_ = candidates.size();
  const bool translate = Settings_.DownloadMode && Settings_.TranslateLinks;
  int64_t lowestReplaced = INT64_MAX;
  int taken = 0;
  // From the last in the page to the first, each let go once judged, so
  // that the memory of a page of many links goes back to their batches as
  // they are handed on.
  while (!candidates.empty()) {
    if (Hooks_.IsStopped()) {
      Batch_.Clear();
      return;
    }
    const TLinkCandidate candidate = candidates.back();
    candidates.pop_back();
    const TJudgement& judgement = Remembered(candidate);
    if (judgement.Script) continue;
    if (++taken % 100 == 0 && Hooks_.Progress) Hooks_.Report(Format("%10d", taken));
    if (translate && !judgement.Local.empty() && int64_t{candidate.Pos} + candidate.Length <= lowestReplaced) {
      lowestReplaced = candidate.Pos;
      ++Rewritten_;
      if (!judgement.AsWritten) Replace(candidate, judgement.Local);
    }
    if (judgement.Link.empty()) continue;
    MakeRoomFor(judgement.Link);
    Batch_.Add(judgement.Link);
    if (Batch_.Bytes() >= LinkBatchBytes) HandOn();
  }
  Hooks_.Report("");
  HandOn();
}

// Keeps the candidate for its replacement by Local, and that.
void TPageParse::Replace(const TLinkCandidate& Candidate, const AnsiString& Local) {
  if (Replacements_.empty()) Replacements_.reserve(std::min(CandidateCount_, FirstReplacementsRoom));
  Replacements_.push_back(Candidate);
  KeepLocal(Local);
  CountGrowth(Candidate.Length, Local.size());
}

// Judge(Candidate), from the memos when its text was met lately. Texts and
// judgements too long to keep are judged each time, so that the memos stay
// small; a page of few links has as few memos, which it makes and frees
// with each page.
const TPageParse::TJudgement& TPageParse::Remembered(const TLinkCandidate& Candidate) {
  constexpr size_t Memos = 512, MemoBytes = 512;
  const std::string_view text = Candidate.Text(Content_);
  if (text.size() > MemoBytes) return Unremembered_ = Judge(Candidate);
  if (Memos_.empty()) Memos_.resize(std::min(Memos, std::bit_ceil(std::max<size_t>(CandidateCount_, 1))));
  TMemo& memo = Memos_[std::hash<std::string_view>{}(text) & (Memos_.size() - 1)];
  if (memo.Filled && memo.IsBase == static_cast<bool>(Candidate.IsBase) && memo.Text == text) return memo.Judgement;
  TJudgement judgement = Judge(Candidate);
  if (judgement.Link.size() + judgement.Local.size() > MemoBytes) return Unremembered_ = std::move(judgement);
  memo.Text = text;
  memo.IsBase = Candidate.IsBase;
  memo.Filled = true;
  memo.Judgement = std::move(judgement);
  return memo.Judgement;
}

// The replacement of the candidate just kept, kept for WriteRewritten while
// the kept replacements cost no more than LocalsRoom; past that
// WriteRewritten works them out again. They take their memory as they come
// (the first one room for a few, within LocalsRoom), growing by doubling, so
// that at most twice LocalsRoom is ever taken.
void TPageParse::KeepLocal(const AnsiString& Local) {
  const size_t cost = Locals_.size() + Local.size() + (LocalEnds_.size() + 1) * sizeof(uint32_t);
  if (LocalsFull_ || cost > LocalsRoom() || Locals_.size() + Local.size() > UINT32_MAX) {
    LocalsFull_ = true;
    return;
  }
  if (LocalEnds_.empty()) {
    Locals_.reserve(std::min(LocalsRoom(), FirstLocalsBytes));
    LocalEnds_.reserve(std::min(CandidateCount_, FirstReplacementsRoom));
  }
  Locals_.append(Local);
  LocalEnds_.push_back(static_cast<uint32_t>(Locals_.size()));
}

// Counts a replacement of Length bytes by Size bytes. The replacements come
// from the last in the page on, so the growth so far is that of the
// replacements from this one to the last; the growth of those up to one of
// them is the total less that of the ones after it, and never above 0 when
// the total is the least growth from one of them on.
void TPageParse::CountGrowth(size_t Length, size_t Size) {
  if (Size > Length)
    GrowsBy_ += Size - Length;
  else
    ShrinksBy_ += Length - Size;
  LeastGrowthFromOne_ = std::min(LeastGrowthFromOne_, Growth());
}

// What the kept replacements may cost: half the page's size less its
// candidates', so that with their growth they and the candidates cost no
// more than the page itself.
size_t TPageParse::LocalsRoom() const {
  const size_t candidates = CandidateCount_ * sizeof(TLinkCandidate);
  return Content_.size() > candidates ? (Content_.size() - candidates) / 2 : 0;
}

// The batch goes to the sink, sorted; a stopped sort hands on nothing.
void TPageParse::HandOn() {
  if (Batch_.Empty() || !Batch_.SortUnique([this] { return Hooks_.IsStopped(); })) return;
  HandedOn_ += Batch_.Count();
  if (Sink_) Sink_(Batch_);
  Batch_.Clear();
}

// Where the batch may not grow to take Link, it is handed on first, and the
// asker asked again for a batch of Link alone, which goes in whatever the
// answer.
void TPageParse::MakeRoomFor(std::string_view Link) {
  if (!Room_ || Room_(Batch_.BytesWith(Link)) || Batch_.Empty()) return;
  HandOn();
  Room_(Batch_.BytesWith(Link));
}

// The link a candidate stands for, made absolute and collapsed; false when it
// is not one to follow or rewrite. Text is the candidate's text as a browser
// reads it.
bool TPageParse::Resolve(const TLinkCandidate& Candidate, std::string_view Text, AnsiString& Link) const {
  // A base tag stands for the folder the links are rewritten against: its
  // href's folder, or the page's own when the href resolves to nothing. That
  // is absolute and collapsed already, and its folders stay as they were
  // counted (a query file name would break it).
  if (Candidate.IsBase) {
    Link = BaseHref_.empty() ? RewriteBase_ : BaseHref_;
    return StartsText("http://", Link) && HasValidHost(Link);
  }
  if (Text.size() > MaxLinkLength) return false;
  const std::string_view scheme = LinkScheme(Text);
  if (HasOtherScheme(Text, scheme)) return false;
  Link = AnsiString(Text);
  if (scheme != "http" && SameTextView(scheme, "http")) Link.replace(0, 4, "http");
  if (!PageDocument_.empty() && Link.starts_with('?')) Link = PageDocument_ + Link;
  bool isEmail = false;
  // Only plain HTTP is fetched: a link that resolves against a base of
  // another scheme is not followed either.
  if (!ResolveUrl(Link, Base_, isEmail) || isEmail || !CollapseDotDot(Link) || !Link.starts_with("http://") ||
      !HasHostOfAName(Link))
    return false;
  // One form per URL, so that a raw and an encoded spelling of one address
  // are one link and are rewritten to one local name.
  if (!InOneForm(Link)) Link = OneFormUrl(Link);
  return true;
}

// HasValidHost(Link) for an http link. A page's links mostly lead to one or
// a few hosts: a link that begins as the last one found valid did, up to the
// "/" after its host, has that host.
bool TPageParse::HasHostOfAName(const AnsiString& Link) const {
  if (!ValidHostPrefix_.empty() && Link.starts_with(ValidHostPrefix_)) return true;
  if (!HasValidHost(Link)) return false;
  const size_t hostEnd = FindAnyOf(Link, "/?@", 7);
  if (hostEnd != AnsiString::npos && Link[hostEnd] == '/') {
    ValidHostPrefix_.assign(Link, 0, hostEnd + 1);
    ValidHostPrefixInOneForm_ = IsInOneForm(ValidHostPrefix_);
  }
  return true;
}

// IsInOneForm(Link), which looks at each byte alone: of a link that begins
// with the last valid host's prefix only the rest is looked at.
bool TPageParse::InOneForm(const AnsiString& Link) const {
  if (ValidHostPrefix_.empty() || !Link.starts_with(ValidHostPrefix_)) return IsInOneForm(Link);
  return ValidHostPrefixInOneForm_ && IsInOneForm(std::string_view(Link).substr(ValidHostPrefix_.size()));
}

TPageParse::TJudgement TPageParse::Judge(const TLinkCandidate& Candidate) const {
  TJudgement result;
  const std::string_view raw = Candidate.Text(Content_);
  AnsiString cleaned;
  const std::string_view text = ReadAsBrowser(raw, cleaned);
  if (!IsNotScriptLink(text)) {
    result.Script = true;
    return result;
  }
  // A value a browser reads otherwise than it is written is written anew.
  const bool readsOtherwise = text.data() != raw.data();
  AnsiString link;
  const bool resolved = Resolve(Candidate, text, link);
  const bool translate = Settings_.DownloadMode && Settings_.TranslateLinks;
  if (resolved && translate) {
    AnsiString local;
    const bool ok = Candidate.IsBase ? Rewriter_->RewriteBase(link, local) : Rewriter_->Rewrite(link, local);
    if (ok && (readsOtherwise || !SameTextView(local, link))) result.Local = HtmlEscaped(std::move(local), InPage_);
  }
  if (translate && result.Local.empty() && (readsOtherwise || LeavesMirror(text))) result.Local = OnlineUrlOf(text);
  result.AsWritten = result.Local == raw;
  if (resolved && !(Candidate.IsBase && BaseHref_.empty()) && PassesFilters(link)) result.Link = std::move(link);
  return result;
}

bool TPageParse::PassesFilters(AnsiString& Link) const {
  if (KeepsOnlyOtherSites() && LowerCase(SplitSite(Link).Site) == BaseSite_) return false;
  Link.resize(std::min(Link.size(), Link.find('#')));
  if (Link.empty()) return false;
  if (!Settings_.DownloadMode || Settings_.DomainFilter.empty()) return true;
  const AnsiString code = LowerCase(TopLevelLabel(Link));
  return code == "1" || code.empty() || Settings_.DomainFilter.find(code) != AnsiString::npos;
}

// True when a browser opening the saved page would take Text, as it stands,
// to a local path above the download folder: an absolute or "file:" path, or
// a relative one with more ".." steps than the base's folders.
bool TPageParse::LeavesMirror(std::string_view Text) const {
  if (HasOtherScheme(Text)) return false;
  Text = Text.substr(0, FindAnyOf(Text, "?#"));
  if (!Text.empty() && (Text[0] == '/' || Text[0] == '\\')) return true;
  int depth = BaseDepth_;
  for (size_t start = 0; start <= Text.size();) {
    const size_t end = std::min(FindAnyOf(Text, "/\\", start), Text.size());
    const std::string_view segment = Text.substr(start, end - start);
    if (IsDotSegment(segment, 2)) {
      if (--depth < 0) return true;
    } else if (end < Text.size() && !segment.empty() && !IsDotSegment(segment, 1)) {
      ++depth;
    }
    start = end + 1;
  }
  return false;
}

// Where Text leads when the page is read online.
AnsiString TPageParse::OnlineUrlOf(std::string_view Text) const {
  if (!LinkScheme(Text).empty()) return AttributeSafe(Text, InPage_);
  AnsiString url;
  if (!Text.empty() && (Text[0] == '/' || Text[0] == '\\'))
    url = Base_.substr(0, Base_.find('/', SchemePrefixLength(Base_)));
  else
    url = Base_;
  url.append(Text);
  return AttributeSafe(url, InPage_);
}

// Text as a browser reads it: in a page its character references decoded,
// then every control byte dropped; Text itself when that changes nothing
// (Buffer holds the text read otherwise).
std::string_view TPageParse::ReadAsBrowser(std::string_view Text, AnsiString& Buffer) const {
  const bool refs = InPage_ && Text.find('&') != std::string_view::npos;
  if (!refs && !HoldsControlBytes(Text)) return Text;
  Buffer = refs ? DecodeCharRefs(Text) : std::string(Text);
  if (HoldsControlBytes(Buffer) || HasOuterBlanks(Buffer)) Buffer = AsBrowserReads(Buffer);
  return Buffer;
}

bool TPageParse::WriteRewritten(const std::function<void(std::string_view)>& Out) const {
  const std::string_view page = Content_;
  size_t done = 0;
  // The replacements were kept from the last in the page on; the first
  // Replacements_.size() - kept ones were not.
  size_t replaced = Replacements_.size();
  unsigned polls = 0;
  for (auto c = Replacements_.rbegin(); c != Replacements_.rend(); ++c) {
    if ((++polls & 0x3F) == 0 && Hooks_.IsStopped()) return false;
    const size_t at = static_cast<size_t>(c->Pos - 1);
    Out(page.substr(done, at - done));
    const size_t index = --replaced;
    if (index < LocalEnds_.size()) {
      const size_t begin = index == 0 ? 0 : LocalEnds_[index - 1];
      Out(std::string_view(Locals_).substr(begin, LocalEnds_[index] - begin));
    } else {
      Out(Judge(*c).Local);
    }
    done = at + c->Length;
  }
  // A page with few replacements, or none, is polled before its rest too.
  if (Hooks_.IsStopped()) return false;
  Out(page.substr(done));
  return true;
}

TParseResult ParseDocument(AnsiString& Content, const TParseSettings& Settings, const TScanHooks& Hooks) {
  TParseResult result;
  // The batches are merged once at the end: merging each into the links so
  // far would cost time growing with the square of the page's links.
  std::vector<TLinkBatch> batches;
  const TLinkSink sink = [&batches](TLinkBatch& Batch) { batches.push_back(std::move(Batch)); };
  TPageParse parse(Content, Settings, sink, Hooks);
  result.Base = parse.Base();
  result.Rewritten = parse.Rewritten();
  result.Links = TLinkBatch::MergedLinks(batches);
  if (!parse.ChangesPage()) return result;
  if (parse.FitsInPlace()) {
    // The pieces of the page move to the front, never onto text still to be
    // handed out; a stopped writing leaves what was written.
    size_t written = 0;
    parse.WriteRewritten([&Content, &written](std::string_view Piece) {
      std::memmove(Content.data() + written, Piece.data(), Piece.size());
      written += Piece.size();
    });
    Content.resize(written);
    return result;
  }
  AnsiString rewritten;
  rewritten.reserve(parse.RewrittenSize());
  parse.WriteRewritten([&rewritten](std::string_view Piece) { rewritten.append(Piece); });
  Content = std::move(rewritten);
  return result;
}

bool IsParsablePage(int StatusCode, bool HasContent, bool NoSave, const AnsiString& Location,
                    const AnsiString& LocalName, const AnsiString& ContentType, int MaxLevel, int Level) {
  if (!((StatusCode < 400 && HasContent) || NoSave)) return false;
  AnsiString ext = ExtensionOf(Location.empty() ? LocalName : Location);
  if (!ext.empty()) ext.insert(0, ".");
  // The lists are looked in as they stand; the short type and extension
  // are lower-cased in place of a copy.
  static constexpr TTextList archivesAndImages("application/zip|application/octet-stream|image/");
  static constexpr TTextList imageExtensions(".gif .jpg .tif .jpeg .bmp ");
  const AnsiString type = LowerCase(ContentType);
  if (!type.empty() && archivesAndImages.Holds(type)) return false;
  if (type.find("image/") != AnsiString::npos) return false;
  for (char& c : ext) c = static_cast<char>(FoldAsciiByte(c));
  if (!ext.empty() && imageExtensions.Holds(ext)) return false;
  return MaxLevel == 0 || MaxLevel >= Level;
}
