#include "crawl/PageParser.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>
#include <numeric>
#include <string_view>
#include <unordered_set>

#include "crawl/LinkLevels.h"
#include "crawl/LinkResolve.h"
#include "crawl/LinkText.h"
#include "net/UrlUtils.h"

namespace {

struct TReplacement {
  int Pos;
  int Length;
  AnsiString Text;
};

AnsiString HostOf(const AnsiString& Url) {
  AnsiString proto, user, pass, host, port, path, query;
  SplitUrl(Url, proto, user, pass, host, port, path, query);
  return host;
}

// Candidates from the highest position to the lowest.
std::vector<size_t> DescendingOrder(const std::vector<TLinkCandidate>& Candidates) {
  std::vector<size_t> order(Candidates.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return Candidates[a].Pos > Candidates[b].Pos; });
  return order;
}

// Sorted without regard to case; of links equal but for case the first stays.
std::vector<AnsiString> SortedUnique(std::vector<AnsiString>& Links) {
  std::deque<AnsiString> lowered; // keeps its items in place for the views on them
  std::vector<std::string_view> keys;
  keys.reserve(Links.size());
  for (const AnsiString& link : Links) {
    if (!HoldsUpperCase(link)) {
      keys.emplace_back(link);
      continue;
    }
    lowered.push_back(LowerCase(link));
    keys.emplace_back(lowered.back());
  }
  std::vector<size_t> order;
  std::unordered_set<std::string_view> seen;
  seen.reserve(Links.size());
  for (size_t i = 0; i < keys.size(); ++i)
    if (seen.insert(keys[i]).second) order.push_back(i);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
  std::vector<AnsiString> result;
  result.reserve(order.size());
  for (size_t i : order) result.push_back(std::move(Links[i]));
  return result;
}

// The page rebuilt with Replacements (in descending position order).
AnsiString Rebuilt(const AnsiString& Content, const std::vector<TReplacement>& Replacements) {
  AnsiString out;
  size_t extra = 0;
  for (const TReplacement& r : Replacements) extra += r.Text.size();
  out.reserve(Content.size() + extra);
  size_t done = 0;
  for (auto r = Replacements.rbegin(); r != Replacements.rend(); ++r) {
    out.append(Content, done, static_cast<size_t>(r->Pos - 1) - done);
    out += r->Text;
    done = static_cast<size_t>(r->Pos - 1 + r->Length);
  }
  out.append(Content, done, AnsiString::npos);
  return out;
}

// A base tag's href made absolute against the page's own base, as browsers
// do; empty when it names nothing to resolve against (a bare "#fragment").
AnsiString AbsoluteBaseHref(const AnsiString& BaseHref, const AnsiString& PageOwnBase) {
  if (BaseHref.empty() || SchemePrefixLength(BaseHref) > 0) return BaseHref;
  AnsiString href = BaseHref;
  bool isEmail = false;
  if (!ResolveUrl(href, PageOwnBase, isEmail) || isEmail || !CollapseDotDot(href)) return AnsiString();
  return BaseDirOf(href.substr(0, href.find('#')));
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

class TCandidateLoop {
public:
  TCandidateLoop(const TParseSettings& Settings, const AnsiString& BaseHref, const AnsiString& Base)
      : Settings_(Settings), BaseHref_(BaseHref), Base_(Base), Rewriter_(HostOf(Settings.PageUrl), Base, Settings.Rewrite),
        BaseSite_(LowerCase(SplitSite(Base).Site)), PageDocument_(PageDocumentUrl(Settings, BaseHref)) {}

  void Take(const TLinkCandidate& Candidate);
  std::vector<AnsiString> Links;
  std::vector<TReplacement> Replacements;

private:
  void Rewrite(const TLinkCandidate& Candidate, const AnsiString& Link);
  bool PassesFilters(AnsiString& Link) const;

  const TParseSettings& Settings_;
  const AnsiString& BaseHref_;
  const AnsiString& Base_;
  const TLinkRewriter Rewriter_;
  const AnsiString BaseSite_;
  const AnsiString PageDocument_;
  int LowestTaken_ = INT_MAX;
};

void TCandidateLoop::Take(const TLinkCandidate& Candidate) {
  if (Candidate.IsBase && BaseHref_.empty()) return;
  // A base tag's href stands for the base folder, already cut before any
  // query; turning it into a query file name would break the absolute URL.
  AnsiString link = Candidate.IsBase ? BaseHref_ : Candidate.Text;
  // "&amp;" is the one character reference a link value may hold; it stands for "&".
  if (link.find("&amp;") != AnsiString::npos) link = StringReplace(link, "&amp;", "&", rfReplaceAll);
  if (!Candidate.IsBase && !PageDocument_.empty() && link.starts_with('?')) link = PageDocument_ + link;
  bool isEmail = false;
  if (!ResolveUrl(link, Base_, isEmail) || isEmail) return;
  if (!CollapseDotDot(link)) return;
  if (Settings_.DownloadMode && Settings_.TranslateLinks) Rewrite(Candidate, link);
  if (PassesFilters(link)) Links.push_back(std::move(link));
}

void TCandidateLoop::Rewrite(const TLinkCandidate& Candidate, const AnsiString& Link) {
  if (int64_t{Candidate.Pos} + Candidate.Length > LowestTaken_) return;
  AnsiString local;
  const bool ok = Candidate.IsBase ? Rewriter_.RewriteBase(Link, local) : Rewriter_.Rewrite(Link, local);
  if (!ok || SameText(local, Link)) return;
  Replacements.push_back({Candidate.Pos, Candidate.Length, std::move(local)});
  LowestTaken_ = Candidate.Pos;
}

bool TCandidateLoop::PassesFilters(AnsiString& Link) const {
  if (Settings_.ExternalOnly && Settings_.Level <= 1 && LowerCase(SplitSite(Link).Site) == BaseSite_) return false;
  Link.resize(std::min(Link.size(), Link.find('#')));
  if (Link.empty()) return false;
  if (!Settings_.DownloadMode || Settings_.DomainFilter.empty()) return true;
  const AnsiString code = LowerCase(TopLevelLabel(Link));
  return code == "1" || code.empty() || Settings_.DomainFilter.find(code) != AnsiString::npos;
}

} // namespace

TParseResult ParseDocument(AnsiString& Content, const TParseSettings& Settings, const TScanHooks& Hooks) {
  TParseResult result;
  if (Hooks.IsStopped() || EndsText(".js", Settings.PageUrl) || Content.empty()) return result;
  const TPageScan scan = EndsText(".css", Settings.PageUrl) ? ScanCss(Content, Hooks) : ScanHtml(Content, Hooks);
  const AnsiString baseHref =
      AbsoluteBaseHref(scan.BaseHref, PageBase(Settings.PageUrl, Settings.BaseOverride, "", scan.BaseTarget));
  result.Base = PageBase(Settings.PageUrl, Settings.BaseOverride, baseHref, scan.BaseTarget);
  TCandidateLoop loop(Settings, baseHref, result.Base);
  int taken = 0;
  for (size_t index : DescendingOrder(scan.Candidates)) {
    if (Hooks.IsStopped()) break;
    const TLinkCandidate& candidate = scan.Candidates[index];
    if (!IsNotScriptLink(candidate.Text)) continue;
    if (++taken % 100 == 0) Hooks.Report(Format("%10d", taken));
    loop.Take(candidate);
  }
  Hooks.Report("");
  if (!loop.Replacements.empty()) Content = Rebuilt(Content, loop.Replacements);
  result.Rewritten = static_cast<int>(loop.Replacements.size());
  result.Links = SortedUnique(loop.Links);
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
