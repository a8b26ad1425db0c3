// Fuzz target for the page parser, the link resolver, the rewriter and the
// mirror naming. The first byte chooses the settings, the first line is the
// page URL, the rest is the page. Every line of the input is also fed to the
// URL routines as a link. Built by `make fuzz` with libFuzzer.
#include <cstddef>
#include <cstdint>

#include "crawl/LinkLevels.h"
#include "crawl/LinkResolve.h"
#include "crawl/LinkRewrite.h"
#include "crawl/MirrorNames.h"
#include "crawl/PageParser.h"

namespace {

TParseSettings SettingsFrom(uint8_t Bits, const AnsiString& PageUrl) {
  TParseSettings settings;
  settings.PageUrl = PageUrl;
  settings.TranslateLinks = (Bits & 1) != 0;
  settings.Rewrite.DirStructure = (Bits & 2) == 0;
  settings.Rewrite.WwwAlias = (Bits & 4) != 0;
  settings.ExternalOnly = (Bits & 8) != 0;
  settings.DownloadMode = (Bits & 16) == 0;
  settings.Level = (Bits >> 5) & 3;
  if (Bits & 128) {
    settings.BaseOverride = "http://base.org/x/";
    settings.DomainFilter = "com;org;";
  }
  settings.Rewrite.DomainCodes = "com\r\norg\r\nnet\r\n";
  settings.Rewrite.Folder = "/dl/";
  return settings;
}

void ExerciseUrlRoutines(const AnsiString& Link, const TParseSettings& Settings) {
  AnsiString resolved = Link;
  bool isEmail = false;
  if (ResolveUrl(resolved, "http://h/a/b/", isEmail)) CollapseDotDot(resolved);
  AnsiString dir = Link;
  DirectoryUrl(dir);
  AnsiString base = Link;
  NormalizeBase(base);
  BaseDirOf(Link);
  SplitSite(Link);
  TopLevelLabel(Link);
  ExtensionOf(Link);
  AnsiString local;
  RewriteLink("h", "http://h/a/b/", Link, local, Settings.Rewrite);
  RewriteBaseLink("h", Link, local, Settings.Rewrite);
  AnsiString path = Link;
  LocalNameForQuery(path);
  DecodePercent(Link, true);
  MirrorNameFor(MirrorRequestForUrl(Link, AssumedContentType(Link)), Settings.Rewrite.DirStructure, "/dl/");
}

// What holds for every page: without rewriting the page is untouched; the
// links are not empty, carry no fragment, and are sorted without regard to
// case with no two equal.
void CheckResult(const TParseSettings& Settings, const AnsiString& Original, const AnsiString& Content,
                 const TParseResult& Result) {
  if (!(Settings.TranslateLinks && Settings.DownloadMode) && Content != Original) __builtin_trap();
  if (Result.Rewritten == 0 && Content != Original) __builtin_trap();
  for (size_t i = 0; i < Result.Links.size(); ++i) {
    if (Result.Links[i].empty() || Result.Links[i].find('#') != AnsiString::npos) __builtin_trap();
    if (i > 0 && LowerCase(Result.Links[i - 1]) >= LowerCase(Result.Links[i])) __builtin_trap();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  const AnsiString input(reinterpret_cast<const char*>(Data + 1), Size - 1);
  const size_t newline = input.find('\n');
  const AnsiString pageUrl = input.substr(0, newline);
  AnsiString content = newline == AnsiString::npos ? AnsiString() : input.substr(newline + 1);
  const TParseSettings settings = SettingsFrom(Data[0], pageUrl);

  for (size_t start = 0; start <= input.size();) {
    size_t end = input.find('\n', start);
    if (end == AnsiString::npos) end = input.size();
    if (end - start < 4096) ExerciseUrlRoutines(input.substr(start, end - start), settings);
    start = end + 1;
  }
  const AnsiString original = content;
  const TParseResult result = ParseDocument(content, settings);
  FoundLinkLevels(result.Links, settings.Level);
  CheckResult(settings, original, content, result);
  return 0;
}
