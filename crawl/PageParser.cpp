#include "crawl/PageParser.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string_view>

#include "crawl/LinkLevels.h"
#include "crawl/LinkResolve.h"
#include "crawl/LinkText.h"
#include "net/UrlUtils.h"

namespace {

// Longest link followed, as long as the longest URL browsers take.
constexpr size_t MaxLinkLength = 2 << 20;

AnsiString HostOf(const AnsiString& Url) {
  AnsiString proto, user, pass, host, port, path, query;
  SplitUrl(Url, proto, user, pass, host, port, path, query);
  return host;
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
  href = CollapsedBase(href);
  return IsWebUrl(href) ? href : AnsiString();
}

// The URL of the page's own document (no query) that a link made only of a
// query belongs to, as in a browser; empty when the page is a folder or its
// links resolve against a given base.
AnsiString PageDocumentUrl(const TParseSettings& Settings, const AnsiString& BaseHref) {
  if (!Settings.DownloadMode || !Settings.BaseOverride.empty() || !BaseHref.empty()) return AnsiString();
  AnsiString url = Settings.PageUrl.substr(0, Settings.PageUrl.find_first_of("?#"));
  NormalizeBase(url);
  const size_t slash = url.rfind('/');
  if (slash == AnsiString::npos || slash < SchemePrefixLength(url) || slash + 1 == url.size()) return AnsiString();
  return url;
}

// The URL of the folder a page is saved in: the page URL's scheme and host,
// then the folders of its mirror folder below the host's ("host/dir").
AnsiString FolderUrl(const AnsiString& PageUrl, const AnsiString& PageFolder) {
  AnsiString root = PageUrl;
  NormalizeBase(root);
  root.resize(std::min(root.find('/', SchemePrefixLength(root)), root.size()));
  const size_t slash = PageFolder.find('/');
  return CollapsedBase(root + "/" + (slash == AnsiString::npos ? AnsiString() : PageFolder.substr(slash + 1)) + "/");
}

// Folders of a base URL below its host.
int FolderCount(const AnsiString& Base) {
  const size_t hostEnd = Base.find('/', SchemePrefixLength(Base));
  return hostEnd == AnsiString::npos ? 0 : static_cast<int>(std::count(Base.begin() + hostEnd + 1, Base.end(), '/'));
}

// A URL scheme ("name:") before any "/", "?" or "#"; FileScheme tells "file:".
bool HasScheme(std::string_view Text, bool& FileScheme) {
  const size_t colon = Text.find(':');
  if (colon == std::string_view::npos || colon == 0 || HoldsAnyOf(Text.substr(0, colon), "/\\?#"))
    return false;
  FileScheme = SameTextView(Text.substr(0, colon), "file");
  return true;
}

// A path segment as a browser reads it: "%2e" is ".".
bool IsDotSegment(std::string_view Segment, int Dots) {
  int found = 0;
  for (size_t i = 0; i < Segment.size(); ++i, ++found) {
    if (Segment[i] == '.') continue;
    if (!StartsTextView(Segment.substr(i), "%2e")) return false;
    i += 2;
  }
  return found == Dots;
}

// Bytes that cannot stand in an attribute value as they are.
AnsiString AttributeSafe(const AnsiString& Url) {
  AnsiString out;
  for (const char c : Url) {
    const auto byte = static_cast<unsigned char>(c);
    const bool escape = byte <= 0x20 || byte == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>';
    out += escape ? "%" + IntToHex(byte, 2) : AnsiString(1, c);
  }
  return out;
}

} // namespace

TPageParse::TPageParse(const AnsiString& Content, const TParseSettings& Settings, const TLinkSink& Sink,
                       const TScanHooks& Hooks)
    : Content_(Content), Settings_(Settings), Sink_(Sink), Hooks_(Hooks) {
  if (Hooks.IsStopped() || EndsText(".js", Settings.PageUrl) || Content.empty()) return;
  TPageScan scan = EndsText(".css", Settings.PageUrl) ? ScanCss(Content, Hooks) : ScanHtml(Content, Hooks);
  BaseHref_ = AbsoluteBaseHref(scan.BaseHref, PageBase(Settings.PageUrl, Settings.BaseOverride, "", scan.BaseTarget));
  Base_ = PageBase(Settings.PageUrl, Settings.BaseOverride, BaseHref_, scan.BaseTarget);
  if (Settings.BaseOverride.empty()) Base_ = CollapsedBase(Base_);
  // Without a base tag the saved page's links resolve from the folder the
  // page is saved in, which is not always the folder of its URL.
  RewriteBase_ = BaseHref_.empty() && !Settings.PageFolder.empty() ? FolderUrl(Settings.PageUrl, Settings.PageFolder) : Base_;
  Rewriter_ = std::make_unique<TLinkRewriter>(HostOf(Settings.PageUrl), RewriteBase_, Settings.Rewrite);
  BaseSite_ = LowerCase(SplitSite(Base_).Site);
  PageDocument_ = PageDocumentUrl(Settings, BaseHref_);
  BaseDepth_ = Settings.Rewrite.DirStructure ? 1 + FolderCount(RewriteBase_) : 0;
  Run(scan);
}

void TPageParse::Run(TPageScan& Scan) {
  Candidates_ = std::move(Scan.Candidates);
  // Found in page order but for the attributes of a tag: reversed, they are
  // nearly in the order wanted, which is mostly put right without a sort.
  std::reverse(Candidates_.begin(), Candidates_.end());
  const auto later = [](const TLinkCandidate& a, const TLinkCandidate& b) {
    return a.Pos != b.Pos ? a.Pos > b.Pos : a.Length > b.Length;
  };
  constexpr std::ptrdiff_t AttributesOfATag = 16;
  const bool sorted = SortNearlySorted(Candidates_.begin(), Candidates_.end(), later, AttributesOfATag) ||
                      SortUnlessStopped(Candidates_.begin(), Candidates_.end(), later,
                                        std::function<bool()>([this] { return Hooks_.IsStopped(); }));
  if (!sorted) {
    std::vector<TLinkCandidate>().swap(Candidates_);
    return;
  }
  const bool translate = Settings_.DownloadMode && Settings_.TranslateLinks;
  int64_t lowestReplaced = INT64_MAX;
  int taken = 0;
  for (TLinkCandidate& candidate : Candidates_) {
    if (Hooks_.IsStopped()) {
      Batch_.Clear();
      return;
    }
    const std::string_view start = candidate.Text(Content_).substr(0, 64);
    if (HoldsControlBytes(start) ? !IsNotScriptLink(AsBrowserReads(start)) : !IsNotScriptLink(start)) continue;
    if (++taken % 100 == 0) Hooks_.Report(Format("%10d", taken));
    TJudgement judgement = Judge(candidate);
    if (translate && !judgement.Local.empty() && int64_t{candidate.Pos} + candidate.Length <= lowestReplaced) {
      candidate.Replaced = 1;
      lowestReplaced = candidate.Pos;
      ++Rewritten_;
      KeepLocal(judgement.Local);
    }
    if (judgement.Link.empty()) continue;
    Batch_.Add(judgement.Link);
    if (Batch_.Bytes() >= LinkBatchBytes) HandOn();
  }
  Hooks_.Report("");
  if (!translate) std::vector<TLinkCandidate>().swap(Candidates_);
  HandOn();
}

// The replacement of the candidate just marked, kept for WriteRewritten
// while the kept replacements and the candidates together cost no more than
// the page itself; past that WriteRewritten works them out again.
void TPageParse::KeepLocal(const AnsiString& Local) {
  const size_t candidates = Candidates_.size() * sizeof(TLinkCandidate);
  const size_t room = Content_.size() > candidates ? Content_.size() - candidates : 0;
  const size_t cost = Locals_.size() + Local.size() + (LocalEnds_.size() + 1) * sizeof(uint32_t);
  if (LocalsFull_ || cost > room || Locals_.size() + Local.size() > UINT32_MAX) {
    LocalsFull_ = true;
    return;
  }
  Locals_.append(Local);
  LocalEnds_.push_back(static_cast<uint32_t>(Locals_.size()));
}

// The batch goes to the sink, sorted; a stopped sort hands on nothing.
void TPageParse::HandOn() {
  if (Batch_.Empty() || !Batch_.SortUnique([this] { return Hooks_.IsStopped(); })) return;
  HandedOn_ += Batch_.Count();
  if (Sink_) Sink_(Batch_);
  Batch_.Clear();
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
    return HasValidHost(Link);
  }
  if (Text.size() > MaxLinkLength) return false;
  Link = AnsiString(Text);
  // "&amp;" is the one character reference a link value may hold; it stands for "&".
  if (Link.find("&amp;") != AnsiString::npos) Link = StringReplace(Link, "&amp;", "&", rfReplaceAll);
  if (!PageDocument_.empty() && Link.starts_with('?')) Link = PageDocument_ + Link;
  bool isEmail = false;
  return ResolveUrl(Link, Base_, isEmail) && !isEmail && CollapseDotDot(Link) && HasValidHost(Link);
}

TPageParse::TJudgement TPageParse::Judge(const TLinkCandidate& Candidate) const {
  TJudgement result;
  const std::string_view raw = Candidate.Text(Content_);
  AnsiString cleaned;
  const bool hasControls = HoldsControlBytes(raw);
  if (hasControls) cleaned = AsBrowserReads(raw);
  const std::string_view text = hasControls ? std::string_view(cleaned) : raw;
  AnsiString link;
  const bool resolved = Resolve(Candidate, text, link);
  const bool translate = Settings_.DownloadMode && Settings_.TranslateLinks;
  if (resolved && translate) {
    AnsiString local;
    const bool ok = Candidate.IsBase ? Rewriter_->RewriteBase(link, local) : Rewriter_->Rewrite(link, local);
    if (ok && (hasControls || !SameText(local, link))) result.Local = std::move(local);
  }
  if (translate && result.Local.empty() && (hasControls || LeavesMirror(text))) result.Local = OnlineUrlOf(text);
  if (resolved && !(Candidate.IsBase && BaseHref_.empty()) && PassesFilters(link)) result.Link = std::move(link);
  return result;
}

bool TPageParse::PassesFilters(AnsiString& Link) const {
  if (Settings_.ExternalOnly && Settings_.Level <= 1 && LowerCase(SplitSite(Link).Site) == BaseSite_) return false;
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
  bool fileScheme = false;
  if (HasScheme(Text, fileScheme)) return fileScheme;
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
  AnsiString url;
  if (!Text.empty() && (Text[0] == '/' || Text[0] == '\\'))
    url = Base_.substr(0, Base_.find('/', SchemePrefixLength(Base_)));
  else
    url = Base_;
  url.append(Text);
  return AttributeSafe(url);
}

bool TPageParse::WriteRewritten(const std::function<void(std::string_view)>& Out) const {
  const std::string_view page = Content_;
  size_t done = 0;
  // The replacements were kept from the last in the page on; the first
  // Rewritten_ - kept ones were not.
  size_t replaced = static_cast<size_t>(Rewritten_);
  unsigned polls = 0;
  for (auto c = Candidates_.rbegin(); c != Candidates_.rend(); ++c) {
    if (!c->Replaced) continue;
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
  Out(page.substr(done));
  return true;
}

TParseResult ParseDocument(AnsiString& Content, const TParseSettings& Settings, const TScanHooks& Hooks) {
  TParseResult result;
  TLinkBatch all;
  const TLinkSink sink = [&all](TLinkBatch& Batch) {
    if (all.Empty())
      std::swap(all, Batch);
    else
      all.Merge(Batch);
  };
  TPageParse parse(Content, Settings, sink, Hooks);
  result.Base = parse.Base();
  result.Rewritten = parse.Rewritten();
  result.Links = all.ToVector();
  if (parse.Rewritten() > 0) {
    AnsiString rewritten;
    rewritten.reserve(Content.size());
    parse.WriteRewritten([&rewritten](std::string_view Piece) { rewritten.append(Piece); });
    Content = std::move(rewritten);
  }
  return result;
}

bool IsParsablePage(int StatusCode, bool HasContent, bool NoSave, const AnsiString& Location,
                    const AnsiString& LocalName, const AnsiString& ContentType, int MaxLevel, int Level) {
  if (!((StatusCode < 400 && HasContent) || NoSave)) return false;
  AnsiString ext = ExtensionOf(Location.empty() ? LocalName : Location);
  if (!ext.empty()) ext = "." + ext;
  const AnsiString type = LowerCase(ContentType);
  if (!type.empty() && AnsiString("application/zip|application/octet-stream|image/").find(type) != AnsiString::npos)
    return false;
  if (type.find("image/") != AnsiString::npos) return false;
  if (!ext.empty() && AnsiString(".gif .jpg .tif .jpeg .bmp ").find(LowerCase(ext)) != AnsiString::npos) return false;
  return MaxLevel == 0 || MaxLevel >= Level;
}
