#include "crawl/LinkRewrite.h"

#include <algorithm>

#include "crawl/LinkResolve.h"
#include "crawl/MirrorNames.h"
#include "net/UrlUtils.h"
#include "project/TextHelpers.h"

namespace {

AnsiString HostPartOf(const AnsiString& S) { return S.substr(0, S.find('/')); }

// An escaped "://" near the start of a link stands for the real one.
void UnescapeSchemeSeparator(AnsiString& Local) {
  const size_t at = LowerCase(Local).find("%3a2f2f");
  if (at != AnsiString::npos && at < 9) Local.replace(at, 7, "://");
}

// With the "www." option, the link's host takes the form of the base's host
// when the two differ only by "www.". Local starts with LinkHost.
void AliasWwwHost(const AnsiString& BaseHost, AnsiString& LinkHost, AnsiString& Local) {
  if (StartsText("www.", BaseHost) && CountHostLabels(LinkHost) == 2) {
    LinkHost = "www." + LinkHost;
    Local = "www." + Local;
  } else if (StartsText("www.", LinkHost) && CountHostLabels(BaseHost) == 2) {
    LinkHost.erase(0, 4);
    Local.erase(0, 4);
  }
}

// Drops the folders that Local and B (the base without scheme and host) share.
void DropCommonFolders(AnsiString& Local, AnsiString& B) {
  for (size_t slash = B.find('/'); slash != AnsiString::npos; slash = B.find('/')) {
    const bool samePrefix = Local.size() > slash && SameText(Local.substr(0, slash + 1), B.substr(0, slash + 1));
    if (!samePrefix && !SameText(Local, B.substr(0, slash))) return;
    Local.erase(0, std::min(Local.size(), slash + 1));
    B.erase(0, slash + 1);
  }
  const size_t localSlash = Local.find('/');
  if (localSlash != AnsiString::npos && Local.compare(0, localSlash, B) == 0) Local.erase(0, localSlash + 1);
}

void AddDocumentName(AnsiString& Local, bool IsQuery) {
  if (Local.empty() || EndsStr("/", Local))
    Local += "index.htm";
  else if (!IsQuery && HasNoExtension(Local))
    Local += "/index.htm";
}

AnsiString DirectoryLink(AnsiString Local, const AnsiString& Base, const TRewriteSettings& Settings) {
  AnsiString B = LowerCase(Base);
  B.erase(0, SchemePrefixLength(B));
  const AnsiString baseHost = HostPartOf(B);
  AnsiString linkHost;
  bool hasHost = false;
  if (const size_t scheme = SchemePrefixLength(Local); scheme > 0) {
    Local.erase(0, scheme);
    hasHost = true;
    linkHost = HostPartOf(Local);
  } else if (!StartsStr("/", Local)) {
    linkHost = HostPartOf(Local);
    hasHost = IsDomainCode(linkHost, Settings.DomainCodes);
  }
  if (Settings.WwwAlias && hasHost && !baseHost.empty() && !linkHost.empty())
    AliasWwwHost(baseHost, linkHost, Local);
  if (hasHost && SameText(linkHost, baseHost)) {
    B.erase(0, baseHost.size());
    Local.erase(0, linkHost.size());
  } else if (!hasHost) {
    if (Local.empty() || StartsStr("/", Local))
      B.erase(0, baseHost.size());
    else
      B.clear();
  }
  const bool isQuery = LocalNameForQuery(Local);
  DropCommonFolders(Local, B);
  AnsiString ups;
  for (char c : B)
    if (c == '/') ups += "../";
  Local = ups + Local;
  AddDocumentName(Local, isQuery);
  return EscapeUrlChars(Local);
}

// The flat file name of an absolute link; empty when the link has no scheme.
AnsiString FlatLink(const AnsiString& Local, const AnsiString& Base, const TRewriteSettings& Settings) {
  const size_t scheme = SchemePrefixLength(Local);
  if (scheme == 0) return AnsiString();
  AnsiString B = LowerCase(Base);
  B.erase(0, SchemePrefixLength(B));
  const AnsiString baseHost = HostPartOf(B);
  AnsiString rest = Local.substr(scheme);
  AnsiString linkHost = HostPartOf(rest);
  if (Settings.WwwAlias && !baseHost.empty() && !linkHost.empty()) AliasWwwHost(baseHost, linkHost, rest);
  const AnsiString url = Local.substr(0, scheme) + rest;
  const TMirrorName name = MirrorNameFor(MirrorRequestForUrl(url, AssumedContentType(url)), false, "");
  return name.NamePart + name.LocalName;
}

} // namespace

bool RewriteLink(const AnsiString& PageHost, const AnsiString& Base, const AnsiString& Link,
                 AnsiString& Local, const TRewriteSettings& Settings) {
  Local = Trim(Link);
  if (Link.empty()) return false;
  UnescapeSchemeSeparator(Local);
  if (Local.empty() || Local == "/" || SameText(Local, PageHost)) {
    Local = "index.htm";
    return true;
  }
  const size_t hash = Local.find('#');
  const AnsiString fragment = hash == AnsiString::npos ? AnsiString() : Local.substr(hash);
  Local.resize(std::min(Local.size(), hash));
  Local = Settings.DirStructure ? DirectoryLink(Local, Base, Settings) : FlatLink(Local, Base, Settings);
  if (Local.empty()) return false;
  Local += fragment;
  return Local != Link;
}

bool RewriteBaseLink(const AnsiString& PageHost, const AnsiString& Url, AnsiString& Local,
                     const TRewriteSettings& Settings) {
  if (Settings.DirStructure) return LocalPathForUrl(PageHost, Url, Settings.Folder, Local);
  Local = Settings.Folder;
  return !Local.empty();
}

bool LocalPathForUrl(const AnsiString& PageHost, const AnsiString& Url, const AnsiString& Folder,
                     AnsiString& Path) {
  AnsiString proto, user, pass, host, port, path, query;
  SplitUrl(Url, proto, user, pass, host, port, path, query);
  if (host.empty()) host = PageHost;
  if (host.empty()) return false;
  Path = JoinWithSep(JoinWithSep(Folder, host, "/"), path, "/");
  return true;
}

bool IsDomainCode(const AnsiString& Name, const AnsiString& DomainCodes) {
  const size_t dot = Name.rfind('.');
  if (dot == AnsiString::npos || dot + 1 == Name.size()) return false;
  return DomainCodes.find(Name.substr(dot + 1)) != AnsiString::npos;
}

int CountHostLabels(const AnsiString& S) {
  int labels = 1;
  for (char c : HostPartOf(S)) labels += c == '.';
  return labels;
}

bool HasNoExtension(const AnsiString& S) {
  const size_t slash = S.rfind('/');
  return S.find('.', slash == AnsiString::npos ? 0 : slash + 1) == AnsiString::npos;
}
