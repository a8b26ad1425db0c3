#include "crawl/LinkRewrite.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "crawl/LinkResolve.h"
#include "crawl/LinkText.h"
#include "crawl/MirrorNames.h"
#include "net/UrlUtils.h"
#include "project/TextHelpers.h"

namespace {

std::string_view HostPartOf(std::string_view S) { return S.substr(0, S.find('/')); }

// 1 + the number of "." of a host name.
size_t HostLabels(std::string_view Host) { return 1 + static_cast<size_t>(std::count(Host.begin(), Host.end(), '.')); }

// The mirror keeps a host's files in a folder named without the port and
// without a final dot, so a host part "h.:8080" is compared and written as "h".
std::string_view FolderHost(std::string_view HostPart) {
  std::string_view host = HostPart.substr(0, HostPart.rfind(':'));
  if (host.size() > 1 && host.back() == '.') host.remove_suffix(1);
  return host;
}

// "h.:8080/..." as "h/...".
void DropHostPort(AnsiString& HostAndPath) {
  const size_t hostEnd = HostPartOf(HostAndPath).size();
  const size_t host = FolderHost(std::string_view(HostAndPath).substr(0, hostEnd)).size();
  HostAndPath.erase(host, hostEnd - host);
}

// An escaped "://" near the start of a link stands for the real one.
void UnescapeSchemeSeparator(AnsiString& Local) {
  for (size_t at = Local.find('%'); at < 9 && at != AnsiString::npos; at = Local.find('%', at + 1)) {
    if (StartsTextView(std::string_view(Local).substr(at), "%3a2f2f")) {
      Local.replace(at, 7, "://");
      return;
    }
  }
}

// With the "www." option, what a link's host takes to have the form of the
// base's host, when the two differ only by "www.".
enum class TWwwAlias { None, Add, Drop };
TWwwAlias WwwAliasOf(std::string_view BaseHost, std::string_view LinkHost) {
  if (StartsTextView(BaseHost, "www.") && HostLabels(LinkHost) == 2) return TWwwAlias::Add;
  if (StartsTextView(LinkHost, "www.") && HostLabels(BaseHost) == 2) return TWwwAlias::Drop;
  return TWwwAlias::None;
}

// The link's host (the first HostLength bytes of Local) so aliased.
void AliasWwwHost(std::string_view BaseHost, size_t& HostLength, AnsiString& Local) {
  switch (WwwAliasOf(BaseHost, std::string_view(Local).substr(0, HostLength))) {
  case TWwwAlias::Add:
    Local.insert(0, "www.");
    HostLength += 4;
    break;
  case TWwwAlias::Drop:
    Local.erase(0, 4);
    HostLength -= 4;
    break;
  case TWwwAlias::None:
    break;
  }
}

// Drops the folders that Local and B (the base without scheme and host) share.
void DropCommonFolders(AnsiString& Local, std::string_view& B) {
  std::string_view rest = Local;
  bool allShared = true;
  for (size_t slash = B.find('/'); slash != std::string_view::npos; slash = B.find('/')) {
    const std::string_view folder = B.substr(0, slash + 1);
    if (!StartsTextView(rest, folder) && !SameTextView(rest, folder.substr(0, slash))) {
      allShared = false;
      break;
    }
    rest.remove_prefix(std::min(rest.size(), slash + 1));
    B.remove_prefix(slash + 1);
  }
  const size_t localSlash = rest.find('/');
  if (allShared && localSlash != std::string_view::npos && rest.substr(0, localSlash) == B)
    rest.remove_prefix(localSlash + 1);
  Local.erase(0, Local.size() - rest.size());
}

// Bytes of a mirror name that a browser would read differently in a link:
// "%" itself, "#", "?", quotes, angle brackets, blanks and control bytes.
bool NeedsHrefEscape(unsigned char c) {
  switch (c) {
  case '%': case '#': case '?': case '"': case '\'': case '<': case '>':
    return true;
  default:
    return c <= 0x20 || c == 0x7F;
  }
}

AnsiString HrefEncoded(const AnsiString& Name) {
  AnsiString out;
  for (const char c : Name) {
    const auto byte = static_cast<unsigned char>(c);
    out += NeedsHrefEscape(byte) ? "%" + IntToHex(byte, 2) : AnsiString(1, c);
  }
  return out;
}

// A name as the mirror stores it, written for a link.
AnsiString HrefOfMirrorName(const AnsiString& Name) { return HrefEncoded(MirrorComponent(Name)); }

// Bytes that make a name's form on disk or in a link differ from its URL form.
bool ChangesInMirror(char c) {
  return c == '&' || c == ':' || c == '\\' || NeedsHrefEscape(static_cast<unsigned char>(c));
}

// The link to a mirror file from its relative path in URL form: each folder
// and the file name take the form the mirror naming gives them on disk
// (escapes decoded as for folders or file names, "?" and "&" escaped) and are
// then encoded for the link, so that a browser opening the saved page, which
// decodes the link, finds that file. "." and ".." steps stay.
AnsiString HrefOfRelativePath(AnsiString Relative) {
  // ChangesInMirror for every byte, looked up: this runs over every rewritten link.
  static const struct TChanges {
    bool Byte[256];
    TChanges() : Byte() {
      for (int c = 0; c < 256; ++c) Byte[c] = ChangesInMirror(static_cast<char>(c));
    }
  } changes;
  const auto changed = [](char c) { return changes.Byte[static_cast<unsigned char>(c)]; };
  if (std::none_of(Relative.begin(), Relative.end(), changed)) return Relative;
  AnsiString href;
  size_t start = 0;
  for (;;) {
    const size_t slash = Relative.find('/', start);
    const bool isName = slash == AnsiString::npos;
    const AnsiString part = Relative.substr(start, isName ? AnsiString::npos : slash - start);
    if (part.empty() || part == "." || part == "..")
      href += part;
    else
      href += HrefOfMirrorName(EscapeNameChars(DecodePercent(part, isName)));
    if (isName) return href;
    href += '/';
    start = slash + 1;
  }
}

// The mirror saves "a//b" as "a/b" (and "//b" as "/b"); so does the link,
// which would otherwise begin with "/" and lead to the root of the disk. The
// query part, which names the file by its checksum, stays as it is.
void DropEmptyFolders(AnsiString& Local) {
  if (std::string_view(Local).find("//") == std::string_view::npos) return;
  size_t end = 0;
  while (end < Local.size() && Local[end] != '?' && Local[end] != '=' && Local[end] != ':') ++end;
  size_t out = 0;
  for (size_t i = 0; i < end; ++i)
    if (!(Local[i] == '/' && out > 0 && Local[out - 1] == '/')) Local[out++] = Local[i];
  Local.erase(out, end - out);
}

void AddDocumentName(AnsiString& Local, bool IsQuery) {
  if (Local.empty() || Local.ends_with('/'))
    Local += "index.htm";
  else if (!IsQuery && HasNoExtension(Local))
    Local += "/index.htm";
}

} // namespace

TLinkRewriter::TLinkRewriter(const AnsiString& PageHost, const AnsiString& Base, const TRewriteSettings& Settings)
    : PageHost_(PageHost), BaseFolders_(LowerCase(Base)), Settings_(Settings) {
  BaseFolders_.erase(0, SchemePrefixLength(BaseFolders_));
  DropHostPort(BaseFolders_);
  BaseHost_ = AnsiString(HostPartOf(BaseFolders_));
}

bool TLinkRewriter::Rewrite(const AnsiString& Link, AnsiString& Local) const {
  // Assigned apart: a conditional expression would copy Link to a temporary first.
  if (HasOuterBlanks(Link))
    Local = Trim(Link);
  else
    Local = Link;
  if (Link.empty()) return false;
  UnescapeSchemeSeparator(Local);
  if (Local.empty() || Local == "/" || SameTextView(Local, PageHost_)) {
    Local = "index.htm";
    return true;
  }
  const size_t hash = Local.find('#');
  const AnsiString fragment = hash == AnsiString::npos ? AnsiString() : Local.substr(hash);
  Local.resize(std::min(Local.size(), hash));
  // Blanks as the worker sends them, so the link meets the name of the file it fetched.
  if (Local.find(' ') != AnsiString::npos) Local = EncodeSpaces(Local);
  Local = Settings_.DirStructure ? DirectoryLink(std::move(Local)) : FlatLink(Local);
  if (Local.empty()) return false;
  Local += fragment;
  return Local != Link;
}

bool TLinkRewriter::RewriteBase(const AnsiString& Url, AnsiString& Local) const {
  if (!Settings_.DirStructure) {
    Local = HrefEncoded(Settings_.Folder);
    return !Local.empty();
  }
  if (!LocalPathForUrl(PageHost_, Url, Settings_.Folder, Local)) return false;
  // The download folder as it is named; the host and its folders as the mirror stores them.
  const size_t folder = StartsStr(Settings_.Folder, Local) ? Settings_.Folder.size() : 0;
  Local = HrefEncoded(Local.substr(0, folder)) + HrefOfRelativePath(Local.substr(folder));
  return true;
}

// The length of the scheme and host part (port and all) of Local, whose
// scheme is Scheme bytes long, when its host is the base's once the port
// and a final dot are dropped, and the "www." option leaves it as it is: a
// page links mostly to its own host, whose part then goes at once. 0 for
// any other host.
size_t TLinkRewriter::BaseHostPartLength(std::string_view Local, size_t Scheme) const {
  const std::string_view hostPart = HostPartOf(Local.substr(Scheme));
  const std::string_view host = FolderHost(hostPart);
  if (Settings_.WwwAlias && !BaseHost_.empty() && !host.empty() && WwwAliasOf(BaseHost_, host) != TWwwAlias::None)
    return 0;
  return SameTextView(host, BaseHost_) ? Scheme + hostPart.size() : 0;
}

AnsiString TLinkRewriter::DirectoryLink(AnsiString Local) const {
  std::string_view B = BaseFolders_;
  const size_t scheme = SchemePrefixLength(Local);
  if (const size_t hostPart = scheme > 0 ? BaseHostPartLength(Local, scheme) : 0; hostPart > 0) {
    Local.erase(0, hostPart);
    B.remove_prefix(BaseHost_.size());
  } else {
    size_t hostLength = 0; // the link's host: the first hostLength bytes of Local
    bool hasHost = false;
    if (scheme > 0) {
      Local.erase(0, scheme);
      DropHostPort(Local);
      hasHost = true;
      hostLength = HostPartOf(Local).size();
    } else if (!Local.starts_with('/')) {
      hostLength = HostPartOf(Local).size();
      hasHost = IsDomainCode(Local.substr(0, hostLength), Settings_.DomainCodes);
    }
    if (Settings_.WwwAlias && hasHost && !BaseHost_.empty() && hostLength > 0) AliasWwwHost(BaseHost_, hostLength, Local);
    if (hasHost && SameTextView(std::string_view(Local).substr(0, hostLength), BaseHost_)) {
      B.remove_prefix(BaseHost_.size());
      Local.erase(0, hostLength);
    } else if (!hasHost) {
      if (Local.empty() || Local.starts_with('/'))
        B.remove_prefix(BaseHost_.size());
      else
        B = {};
    }
  }
  DropEmptyFolders(Local);
  const bool isQuery = LocalNameForQuery(Local);
  DropCommonFolders(Local, B);
  const size_t ups = static_cast<size_t>(std::count(B.begin(), B.end(), '/'));
  AnsiString up;
  for (size_t i = 0; i < ups; ++i) up += "../";
  Local.insert(0, up);
  AddDocumentName(Local, isQuery);
  return HrefOfRelativePath(std::move(Local));
}

AnsiString TLinkRewriter::FlatLink(const AnsiString& Local) const {
  const size_t scheme = SchemePrefixLength(Local);
  if (scheme == 0) return AnsiString();
  AnsiString rest = Local.substr(scheme);
  size_t hostLength = HostPartOf(rest).size();
  if (Settings_.WwwAlias && !BaseHost_.empty() && hostLength > 0) AliasWwwHost(BaseHost_, hostLength, rest);
  const AnsiString url = Local.substr(0, scheme) + rest;
  const TMirrorName name = MirrorNameFor(MirrorRequestForUrl(url, AssumedContentType(url)), false, "");
  return HrefOfMirrorName(name.NamePart == "/" ? name.LocalName : name.NamePart + name.LocalName);
}

bool RewriteLink(const AnsiString& PageHost, const AnsiString& Base, const AnsiString& Link,
                 AnsiString& Local, const TRewriteSettings& Settings) {
  return TLinkRewriter(PageHost, Base, Settings).Rewrite(Link, Local);
}

bool RewriteBaseLink(const AnsiString& PageHost, const AnsiString& Url, AnsiString& Local,
                     const TRewriteSettings& Settings) {
  return TLinkRewriter(PageHost, AnsiString(), Settings).RewriteBase(Url, Local);
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
  return static_cast<int>(HostLabels(HostPartOf(S)));
}

bool HasNoExtension(const AnsiString& S) {
  const size_t slash = S.rfind('/');
  return S.find('.', slash == AnsiString::npos ? 0 : slash + 1) == AnsiString::npos;
}
