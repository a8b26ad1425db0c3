#include "crawl/LinkResolve.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "crawl/LinkText.h"
#include "net/UrlUtils.h"
#include "project/TextHelpers.h"

namespace {

// Link prefixes recognised as absolute, compared exactly (letter case counts).
const char* const SchemeTable[] = {"http://", "www.", "https://", "ftp://", "mailto:"};

// Length of "scheme://host/" (or of the whole text plus one when the host has
// no "/" after it), the part that "../" steps never remove.
size_t RootLength(const AnsiString& Url) {
  const size_t at = Url.find("://");
  const size_t hostStart = at == AnsiString::npos ? 0 : at + 3;
  const size_t slash = Url.find('/', hostStart);
  return slash == AnsiString::npos ? Url.size() + 1 : slash + 1;
}

AnsiString WithTrailingSlash(const AnsiString& Url) { return EndsStr("/", Url) ? Url : Url + "/"; }

// Base with Steps trailing folders removed, never above its host.
AnsiString StepUp(const AnsiString& Base, int Steps) {
  AnsiString copy = Base;
  if (EndsStr("/", copy)) copy.pop_back();
  const size_t root = RootLength(Base);
  size_t cut = copy.size();
  for (int i = 0; i < Steps; ++i) {
    const size_t slash = copy.rfind('/', cut == 0 ? 0 : cut - 1);
    if (slash == AnsiString::npos || slash + 1 < root || cut == 0) {
      cut = root;
      break;
    }
    cut = slash;
  }
  if (cut < root) cut = root;
  return WithTrailingSlash(copy.substr(0, cut));
}

bool ResolveRelativeSteps(AnsiString& Link, const AnsiString& Base, const AnsiString& Fragment) {
  int steps = 0;
  size_t skip = 0;
  if (!Link.starts_with("./")) {
    while (Link.compare(skip, 3, "../") == 0) {
      skip += 3;
      ++steps;
    }
  }
  while (Link.compare(skip, 2, "./") == 0) skip += 2;
  Link.erase(0, skip);
  const AnsiString base = steps > 0 ? StepUp(Base, steps) : Base;
  Link = JoinWithSep(base, Link, "/") + Fragment;
  return true;
}

bool IsStopChar(char c) { return c == '*' || c == '=' || c == '?'; }

} // namespace

bool ResolveUrl(AnsiString& Link, const AnsiString& Base, bool& IsEmail) {
  IsEmail = false;
  AnsiString fragment;
  const size_t hash = Link.find('#');
  if (hash != AnsiString::npos) {
    fragment = Link.substr(hash);
    Link.resize(hash);
  }
  if (Link.empty()) return false;
  if (Link.starts_with("//")) {
    Link = "http:" + Link + fragment;
    return true;
  }
  std::replace(Link.begin(), Link.end(), '\\', '/');
  if (Link.starts_with("../") || Link.starts_with("./")) return ResolveRelativeSteps(Link, Base, fragment);
  for (const char* scheme : SchemeTable) {
    if (!Link.starts_with(scheme)) continue;
    const AnsiString entry = scheme;
    if (entry == "mailto:") return false;
    if (entry == "www.") Link = "http://" + Link;
    Link += fragment;
    return true;
  }
  if (Link.find('@') != AnsiString::npos) {
    IsEmail = true;
    Link += fragment;
    return true;
  }
  if (!Link.starts_with('/')) {
    Link = JoinWithSep(Base, Link, "/") + fragment;
    return true;
  }
  AnsiString host = Base.substr(SchemePrefixLength(Base));
  host = host.substr(0, host.find('/'));
  Link = "http://" + JoinWithSep(host, Link, "/") + fragment;
  return true;
}

bool CollapseDotDot(AnsiString& Link) {
  if (HasOuterBlanks(Link)) Link = Trim(Link);
  if (Link.find("/../") == AnsiString::npos) return !Link.empty();
  // One pass over the "/"-separated parts after the scheme: a ".." part
  // between two "/" takes back the part before it when that one follows a
  // "/"; right after the host it is dropped; anywhere else it ends the work.
  const size_t scheme = SchemePrefixLength(Link);
  const std::string_view rest = std::string_view(Link).substr(scheme);
  std::vector<std::string_view> kept;
  bool stopped = false;
  size_t start = 0;
  for (bool first = true;; first = false) {
    const size_t slash = rest.find('/', start);
    const std::string_view part = rest.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    const bool isStep = !stopped && !first && part == ".." && slash != std::string_view::npos;
    if (isStep && kept.size() >= 2) {
      kept.pop_back();
    } else if (!(isStep && scheme > 0 && kept.size() == 1)) {
      stopped = stopped || isStep;
      kept.push_back(part);
    }
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  AnsiString result = Link.substr(0, scheme);
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) result += '/';
    result.append(kept[i]);
  }
  Link = std::move(result);
  return !Link.empty();
}

void DirectoryUrl(AnsiString& Url) {
  AnsiString result, segment;
  bool slashSeen = false, inHost = true;
  for (size_t i = 0; i < Url.size(); ++i) {
    const char c = Url[i];
    if (c == ':' && !slashSeen && Url.compare(i + 1, 2, "//") == 0) {
      result += segment + "://";
      segment.clear();
      i += 2;
      continue;
    }
    if (c == '/') {
      result += segment + "/";
      segment.clear();
      slashSeen = true;
      inHost = false;
      continue;
    }
    if (IsStopChar(c)) {
      if (inHost && !segment.empty()) result += segment + "/";
      Url = result;
      return;
    }
    segment += c;
  }
  if (!segment.empty() && !(segment.find('.') != AnsiString::npos && slashSeen)) result += segment + "/";
  Url = result;
}

void NormalizeBase(AnsiString& Url) {
  AnsiString proto, user, pass, host, port, path, query;
  SplitUrl(Url, proto, user, pass, host, port, path, query);
  // A port other than the default stays: links of a site served on another
  // port must resolve to that port, not to 80.
  const AnsiString hostPort = port.empty() || port == "80" ? host : host + ":" + port;
  Url = (proto.empty() ? AnsiString("http") : proto) + "://" + hostPort + path.substr(0, path.find('?'));
}

AnsiString BaseDirOf(const AnsiString& Href) {
  AnsiString prefix, rest = Href;
  const size_t scheme = Href.find("://");
  if (scheme != AnsiString::npos) {
    prefix = Href.substr(0, scheme + 3);
    rest = Href.substr(scheme + 3);
  }
  size_t stop = AnsiString::npos;
  for (size_t i = 0; i < rest.size(); ++i)
    if (IsStopChar(rest[i])) {
      stop = i;
      break;
    }
  if (stop != AnsiString::npos) {
    const size_t slash = stop == 0 ? AnsiString::npos : rest.rfind('/', stop - 1);
    if (slash != AnsiString::npos) return prefix + rest.substr(0, slash + 1);
    return prefix + rest.substr(0, stop);
  }
  const size_t slash = rest.rfind('/');
  return slash == AnsiString::npos ? Href : prefix + rest.substr(0, slash + 1);
}

AnsiString PageBase(const AnsiString& PageUrl, const AnsiString& BaseOverride,
                    const AnsiString& BaseHref, const AnsiString& BaseTarget) {
  if (!BaseOverride.empty()) return BaseOverride;
  if (!BaseHref.empty()) return BaseHref;
  AnsiString base = PageUrl;
  if (SameText(BaseTarget, "_self")) {
    const size_t slash = base.rfind('/');
    if (slash != AnsiString::npos) base.resize(slash + 1);
  } else {
    DirectoryUrl(base);
  }
  NormalizeBase(base);
  return WithTrailingSlash(base);
}

size_t SchemePrefixLength(const AnsiString& Url) {
  const size_t at = Url.find("://");
  return at != AnsiString::npos && at < 9 ? at + 3 : 0;
}

bool IsNotScriptLink(std::string_view Link) {
  size_t start = 0;
  while (start < Link.size() && static_cast<unsigned char>(Link[start]) <= 0x20) ++start;
  return !Link.empty() && !StartsTextView(Link.substr(start), "javascript:");
}
AnsiString CollapsedBase(const AnsiString& Base) {
  const size_t scheme = SchemePrefixLength(Base);
  const size_t hostEnd = std::min(Base.find('/', scheme), Base.size());
  std::vector<std::string_view> folders;
  const std::string_view path = std::string_view(Base).substr(hostEnd);
  for (size_t start = 0; start < path.size();) {
    const size_t slash = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, slash - start);
    if (part == "..") {
      if (!folders.empty()) folders.pop_back();
    } else if (!part.empty() && part != ".") {
      folders.push_back(part);
    }
    start = slash + 1;
  }
  AnsiString result = Base.substr(0, hostEnd) + "/";
  for (const std::string_view folder : folders) {
    result.append(folder);
    result += '/';
  }
  return result;
}

bool IsValidHostName(std::string_view Host) {
  // One dot may end the name, as in "example.org." (the root of the names).
  if (Host.size() > 1 && Host.back() == '.') Host.remove_suffix(1);
  if (Host.empty() || Host.size() > 253) return false;
  size_t label = 0;
  char last = '.';
  for (const char c : Host) {
    if (c == '.') {
      if (label == 0 || last == '-') return false;
      label = 0;
      last = c;
      continue;
    }
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!allowed || ++label > 63 || (label == 1 && c == '-')) return false;
    last = c;
  }
  return label > 0 && last != '-';
}

bool HasValidHost(const AnsiString& Url) {
  // The common form "http://host[:port]/..." without user information is
  // split here as SplitUrl splits it, without copying its parts.
  if (StartsText("http://", Url)) {
    const std::string_view rest = std::string_view(Url).substr(7);
    const std::string_view hostPart = rest.substr(0, FindAnyOf(rest, "/?"));
    if (hostPart.find('@') == std::string_view::npos) {
      const size_t colon = hostPart.rfind(':');
      return IsValidHostName(colon == std::string_view::npos ? hostPart : hostPart.substr(0, colon));
    }
  }
  AnsiString proto, user, pass, host, port, path, query;
  SplitUrl(Url, proto, user, pass, host, port, path, query);
  return IsValidHostName(host);
}

AnsiString TopLevelLabel(const AnsiString& Url) {
  AnsiString proto, user, pass, host, port, path, query;
  SplitUrl(Url, proto, user, pass, host, port, path, query);
  const size_t dot = host.rfind('.');
  return dot == AnsiString::npos ? AnsiString() : host.substr(dot + 1);
}

TSplitSite SplitSite(const AnsiString& Url) {
  TSplitSite site;
  AnsiString rest = Url;
  const size_t first = Url.find_first_of(":./? ");
  if (first != AnsiString::npos && Url[first] == ':' && Url.compare(first + 1, 2, "//") == 0) {
    site.Scheme = Url.substr(0, first);
    rest = Url.substr(first + 3);
  }
  if (site.Scheme.empty()) site.Scheme = "http";
  const size_t slash = rest.find('/');
  site.Host = rest.substr(0, slash);
  rest = slash == AnsiString::npos ? AnsiString() : rest.substr(slash + 1);
  const size_t colon = site.Host.find(':');
  if (colon != AnsiString::npos) {
    int port = 0;
    if (TryStrToInt(site.Host.substr(colon + 1), port)) site.Port = port;
    site.Host.resize(colon);
  }
  const size_t question = rest.find('?');
  const AnsiString pathPart = rest.substr(0, question);
  if (question != AnsiString::npos) site.Query = rest.substr(question + 1);
  const size_t lastSlash = pathPart.rfind('/');
  const size_t nameStart = lastSlash == AnsiString::npos ? 0 : lastSlash + 1;
  if (pathPart.find('.', nameStart) != AnsiString::npos) {
    site.File = pathPart.substr(nameStart);
    site.Dir = pathPart.substr(0, nameStart == 0 ? 0 : nameStart - 1);
  } else {
    site.Dir = pathPart;
  }
  if (EndsStr("/", site.Dir)) site.Dir.pop_back();
  const size_t lastDot = site.Host.rfind('.');
  const size_t secondDot = lastDot == AnsiString::npos || lastDot == 0 ? AnsiString::npos
                                                                       : site.Host.rfind('.', lastDot - 1);
  site.Site = secondDot == AnsiString::npos ? site.Host : site.Host.substr(secondDot + 1);
  return site;
}
