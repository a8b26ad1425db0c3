#include "ui/main/uMainFilter.h"

#include <algorithm>

#include "project/SiteTree.h"

namespace {

constexpr int SearchedTypeLists = 6;  // Text .. Video; "Other" is not searched

// The file name the masks see for a folder (and an unknown file type).
constexpr std::string_view DefaultFileName = "index.htm";

// The enabled pattern of a mask entry ("+pattern"), or false.
bool EnabledPattern(std::string_view Entry, std::string_view& Pattern) {
  if (Entry.size() < 2 || Entry[0] != '+') return false;
  Pattern = Entry.substr(1);
  return true;
}

bool AnyPatternIn(const TStrings& List, std::string_view Text, bool& HasEnabled) {
  std::string_view pattern;
  HasEnabled = false;
  for (int i = 0; i < List.Count(); ++i) {
    if (!EnabledPattern(List.Strings(i), pattern)) continue;
    HasEnabled = true;
    if (Text.find(pattern) != std::string_view::npos) return true;
  }
  return false;
}

bool DomainModesPass(const TParamProObj& Params, const TListObj& Store, const AnsiString& Url, bool Resume,
                     bool Strict) {
  const int32_t options = Params.Project.Options;
  if (!(options & (poInDomainList | poInSubDomain | poInUrlDirectory))) return true;
  const int markSet = Resume ? 1 : 0;
  const bool lenient = Resume && !Strict;
  bool hostOk = true;
  if (options & (poInDomainList | poInSubDomain))
    hostOk = lenient || Store.IsHostMarked(Url, (options & poInSubDomain) != 0, markSet);
  if (!hostOk) return false;
  if (options & poInUrlDirectory) return lenient || Store.IsPathMarked(Url, markSet);
  return true;
}

bool MasksPass(const TParamProObj& Params, const TLinkParts& Parts) {
  auto passes = [&](int kind, std::string_view text) {
    const TStrings& include = Params.IncludeMasks[size_t(kind)];
    const TStrings& exclude = Params.ExcludeMasks[size_t(kind)];
    if (include.Count() > 0 && !PassesIncludeMasks(include, text)) return false;
    return exclude.Count() == 0 || PassesExcludeMasks(exclude, text);
  };
  if (!Parts.Host.empty() && !passes(0, Parts.Host)) return false;
  if (!passes(1, Parts.Directory)) return false;
  return SameFolded(Parts.FileName, DefaultFileName) || passes(2, Parts.FileName);
}

}  // namespace

bool PassesIncludeMasks(const TStrings& List, std::string_view Text) {
  bool hasEnabled = false;
  const bool found = AnyPatternIn(List, LowerCase(AnsiString(Text)), hasEnabled);
  return found || !hasEnabled;
}

bool PassesExcludeMasks(const TStrings& List, std::string_view Text) {
  bool hasEnabled = false;
  return !AnyPatternIn(List, Text, hasEnabled);
}

bool IsKnownFileType(const TParamProObj& Params, std::string_view Ext) {
  if (Ext.empty()) return false;
  // Most extensions are written in lower case: those are searched as they stand.
  AnsiString lowered;
  std::string_view wanted = Ext;
  if (std::any_of(Ext.begin(), Ext.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
    lowered = LowerCase(AnsiString(Ext));
    wanted = lowered;
  }
  // A list's text is its items, each ended by CR LF: text without those
  // bytes occurs in it only inside an item, so the items are searched as
  // they stand instead of joining them for every link.
  const bool acrossItems = wanted.find_first_of("\r\n") != AnsiString::npos;
  for (int list = 0; list < SearchedTypeLists; ++list) {
    const TStringList& types = Params.FileTypes[size_t(list)];
    if (acrossItems) {
      if (types.Text().find(wanted) != AnsiString::npos) return true;
      continue;
    }
    for (int i = 0; i < types.Count(); ++i)
      if (types.Strings(i).find(wanted) != AnsiString::npos) return true;
  }
  return false;
}

bool FileTypeLoads(const TParamProObj& Params, std::string_view Ext) {
  const AnsiString ext(Ext);
  for (const TStringList& list : Params.FileTypes) {
    if (list.Count() == 0) continue;
    const int index = list.IndexOf(ext);
    if (index < 0) continue;
    const auto* rule = dynamic_cast<const TSizerObj*>(list.Objects(index));
    return !rule || rule->Load;
  }
  return true;
}

TLinkParts SplitLinkForFilter(const TParamProObj& Params, std::string_view Url) {
  constexpr auto npos = std::string_view::npos;
  TLinkParts parts;
  std::string_view rest = Url;
  const size_t scheme = rest.find("://");
  if (scheme != npos && scheme < 9) rest.remove_prefix(scheme + 3);
  const size_t slash = rest.find('/');
  if (slash == npos) {
    parts.Host = rest;
    return parts;
  }
  parts.Host = rest.substr(0, slash);
  rest.remove_prefix(slash + 1);
  rest = rest.substr(0, rest.find('?'));
  const size_t lastSlash = rest.rfind('/');
  const size_t segment = lastSlash == npos ? 0 : lastSlash + 1;
  const size_t dot = rest.rfind('.');
  if (dot != npos && dot >= segment && dot + 1 < rest.size()) parts.Ext = rest.substr(dot + 1);
  if (IsKnownFileType(Params, parts.Ext)) {
    parts.Directory = lastSlash == npos ? std::string_view() : rest.substr(0, lastSlash);
    parts.FileName = rest.substr(segment);
  } else {
    parts.Directory = rest;
    parts.FileName = DefaultFileName;
  }
  return parts;
}

bool AcceptLinkBy(const TParamProObj& Params, const TListObj& Store, const AnsiString& Url, bool Resume,
                  int Level, bool Strict) {
  if (!DomainModesPass(Params, Store, Url, Resume, Strict)) return false;
  if (Level < 1) return true;
  const TLinkParts parts = SplitLinkForFilter(Params, Url);
  if (!MasksPass(Params, parts)) return false;
  return parts.Ext.empty() || FileTypeLoads(Params, parts.Ext);
}
