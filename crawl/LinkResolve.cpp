#include "crawl/LinkResolve.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "crawl/LinkText.h"
#include "net/UrlUtils.h"

namespace {

// Link prefixes recognised as absolute, compared exactly (letter case counts).
constexpr std::string_view SchemeTable[] = {"http://", "www.", "https://", "ftp://", "mailto:"};

// Length of "scheme://host/" (or of the whole text plus one when the host has
// no "/" after it), the part that "../" steps never remove.
size_t RootLength(const AnsiString& Url) {
  const size_t at = Url.find("://");
  const size_t hostStart = at == AnsiString::npos ? 0 : at + 3;
  const size_t slash = Url.find('/', hostStart);
  return slash == AnsiString::npos ? Url.size() + 1 : slash + 1;
}

AnsiString WithTrailingSlash(const AnsiString& Url) { return EndsStr("/", Url) ? Url : Url + "/"; }

// Link := Scheme, then Prefix and Link joined by exactly one "/" (as
// JoinWithSep joins them), then Fragment; built in one piece, as this runs
// for every link.
void JoinToLink(std::string_view Scheme, std::string_view Prefix, AnsiString& Link, const AnsiString& Fragment) {
  AnsiString joined;
  joined.reserve(Scheme.size() + Prefix.size() + 1 + Link.size() + Fragment.size());
  joined.append(Scheme);
  joined.append(Prefix);
  std::string_view rest = Link;
  if (!Prefix.empty() && !rest.empty()) {
    const bool prefixEnds = Prefix.ends_with('/');
    const bool restBegins = rest.starts_with('/');
    if (prefixEnds && restBegins) rest.remove_prefix(1);
    if (!prefixEnds && !restBegins) joined += '/';
  }
  joined.append(rest);
  joined.append(Fragment);
  Link = std::move(joined);
}

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
  JoinToLink("", base, Link, Fragment);
  return true;
}

bool IsStopChar(char c) { return c == '*' || c == '=' || c == '?'; }

// SplitUrl of a URL holding "://", as views of it: the scheme before the
// first "://"; the host part after it up to the first "/" or "?", split at
// its last "@" and its last ":"; the path from there on.
bool SplitSchemeUrl(std::string_view Url, TUrlView& Parts) {
  const size_t separator = Url.find("://");
  if (separator == std::string_view::npos) return false;
  Parts.Scheme = Url.substr(0, separator);
  const std::string_view rest = Url.substr(separator + 3);
  // One pass over the host part finds its end and, as positions after
  // them (0 without one), its last ":" and its last "@": every URL found
  // is split so, mostly more than once. The bytes are told apart by a
  // table, so that a byte of none of the four costs one test.
  enum : unsigned char { Other, End, Colon, At };
  static constexpr auto kinds = [] {
    std::array<unsigned char, 256> table{};
    table['/'] = table['?'] = End;
    table[':'] = Colon;
    table['@'] = At;
    return table;
  }();
  size_t hostEnd = 0, colon = 0, at = 0;
  for (; hostEnd < rest.size(); ++hostEnd) {
    const unsigned char kind = kinds[static_cast<unsigned char>(rest[hostEnd])];
    if (kind == Other) continue;
    if (kind == End) break;
    (kind == Colon ? colon : at) = hostEnd + 1;
  }
  Parts.Path = rest.substr(hostEnd);
  const std::string_view hostPart = rest.substr(0, hostEnd);
  Parts.Port = colon > at ? hostPart.substr(colon) : std::string_view();
  Parts.Host = colon > at ? hostPart.substr(at, colon - at - 1) : hostPart.substr(at);
  return true;
}

// A base that ends with "/" after its host and has no empty, "." or ".."
// folder, which CollapsedBase gives back as it is.
bool IsCollapsedBase(std::string_view Base, size_t HostEnd) {
  if (HostEnd >= Base.size() || !Base.ends_with('/')) return false;
  const std::string_view path = Base.substr(HostEnd);
  return path.find("//") == std::string_view::npos && path.find("/./") == std::string_view::npos &&
         path.find("/../") == std::string_view::npos;
}

} // namespace

void DecodeDotSegments(AnsiString& Link) {
  const size_t end = std::min(Link.find('?'), Link.size());
  AnsiString out;
  for (size_t start = 0; start <= end;) {
    const size_t slash = std::min(Link.find('/', start), end);
    const std::string_view segment = std::string_view(Link).substr(start, slash - start);
    out.append(IsDotSegment(segment, 2) ? std::string_view("..") : IsDotSegment(segment, 1) ? std::string_view(".") : segment);
    if (slash < end) out += '/';
    start = slash + 1;
  }
  Link = out + Link.substr(end);
}

namespace {

// Named character references a link value may hold: the ASCII punctuation
// and Latin-1 ones, sorted by name (letter case counts).
struct TNamedRef {
  std::string_view Name;
  char32_t Code;
};
constexpr TNamedRef NamedRefs[] = {
    {"AElig", 198}, {"AMP", 38}, {"Aacute", 193}, {"Acirc", 194}, {"Agrave", 192}, {"Aring", 197}, {"Atilde", 195},
    {"Auml", 196}, {"Ccedil", 199}, {"ETH", 208}, {"Eacute", 201}, {"Ecirc", 202}, {"Egrave", 200}, {"Euml", 203},
    {"GT", 62}, {"Hat", 94}, {"Iacute", 205}, {"Icirc", 206}, {"Igrave", 204}, {"Iuml", 207}, {"LT", 60},
    {"NewLine", 10}, {"Ntilde", 209}, {"Oacute", 211}, {"Ocirc", 212}, {"Ograve", 210}, {"Oslash", 216},
    {"Otilde", 213}, {"Ouml", 214}, {"QUOT", 34}, {"THORN", 222}, {"Tab", 9}, {"Uacute", 218}, {"Ucirc", 219},
    {"Ugrave", 217}, {"Uuml", 220}, {"Yacute", 221}, {"aacute", 225}, {"acirc", 226}, {"acute", 180}, {"aelig", 230},
    {"agrave", 224}, {"amp", 38}, {"apos", 39}, {"aring", 229}, {"ast", 42}, {"atilde", 227}, {"auml", 228},
    {"brvbar", 166}, {"bsol", 92}, {"ccedil", 231}, {"cedil", 184}, {"cent", 162}, {"colon", 58}, {"comma", 44},
    {"commat", 64}, {"copy", 169}, {"curren", 164}, {"deg", 176}, {"divide", 247}, {"dollar", 36}, {"eacute", 233},
    {"ecirc", 234}, {"egrave", 232}, {"equals", 61}, {"eth", 240}, {"euml", 235}, {"excl", 33}, {"frac12", 189},
    {"frac14", 188}, {"frac34", 190}, {"grave", 96}, {"gt", 62}, {"iacute", 237}, {"icirc", 238}, {"iexcl", 161},
    {"igrave", 236}, {"iquest", 191}, {"iuml", 239}, {"laquo", 171}, {"lcub", 123}, {"lowbar", 95}, {"lpar", 40},
    {"lsqb", 91}, {"lt", 60}, {"macr", 175}, {"micro", 181}, {"middot", 183}, {"nbsp", 160}, {"not", 172},
    {"ntilde", 241}, {"num", 35}, {"oacute", 243}, {"ocirc", 244}, {"ograve", 242}, {"ordf", 170}, {"ordm", 186},
    {"oslash", 248}, {"otilde", 245}, {"ouml", 246}, {"para", 182}, {"percnt", 37}, {"period", 46}, {"plus", 43},
    {"plusmn", 177}, {"pound", 163}, {"quest", 63}, {"quot", 34}, {"raquo", 187}, {"rcub", 125}, {"reg", 174},
    {"rpar", 41}, {"rsqb", 93}, {"sect", 167}, {"semi", 59}, {"shy", 173}, {"sol", 47}, {"sup1", 185}, {"sup2", 178},
    {"sup3", 179}, {"szlig", 223}, {"thorn", 254}, {"times", 215}, {"uacute", 250}, {"ucirc", 251}, {"ugrave", 249},
    {"uml", 168}, {"uuml", 252}, {"verbar", 124}, {"vert", 124}, {"yacute", 253}, {"yen", 165}, {"yuml", 255},
};

void AppendUtf8(std::string& Out, char32_t Code) {
  if (Code < 0x80) {
    Out += static_cast<char>(Code);
  } else if (Code < 0x800) {
    Out += static_cast<char>(0xC0 | (Code >> 6));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else if (Code < 0x10000) {
    Out += static_cast<char>(0xE0 | (Code >> 12));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Code >> 18));
    Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  }
}

int DigitValue(char c, int Radix) {
  const int value = c >= '0' && c <= '9' ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : 99;
  return value < Radix ? value : -1;
}

// A numeric reference at Text[At] ("&#..."): its code and length, 0 when
// no digit follows. Codes a browser refuses (0, surrogates, beyond the last
// code point) read as U+FFFD.
size_t ReadNumericRef(std::string_view Text, size_t At, char32_t& Code) {
  size_t i = At + 2;
  const bool hex = i < Text.size() && (Text[i] == 'x' || Text[i] == 'X');
  const int radix = hex ? 16 : 10;
  if (hex) ++i;
  const size_t digits = i;
  uint32_t value = 0;
  for (; i < Text.size() && DigitValue(Text[i], radix) >= 0; ++i)
    value = std::min<uint32_t>(value * radix + static_cast<uint32_t>(DigitValue(Text[i], radix)), 0x110000);
  if (i == digits) return 0;
  if (i < Text.size() && Text[i] == ';') ++i;
  const bool refused = value == 0 || value >= 0x110000 || (value >= 0xD800 && value <= 0xDFFF);
  Code = refused ? 0xFFFD : value;
  return i - At;
}

// A named reference at Text[At] ("&name;"): its code and length, 0 when the
// table does not know it.
size_t ReadNamedRef(std::string_view Text, size_t At, char32_t& Code) {
  const size_t semicolon = Text.find(';', At + 1);
  if (semicolon == std::string_view::npos || semicolon - At > 8) return 0;
  const std::string_view name = Text.substr(At + 1, semicolon - At - 1);
  const auto found = std::lower_bound(std::begin(NamedRefs), std::end(NamedRefs), name,
                                      [](const TNamedRef& Ref, std::string_view Name) { return Ref.Name < Name; });
  if (found == std::end(NamedRefs) || found->Name != name) return 0;
  Code = found->Code;
  return semicolon - At + 1;
}

} // namespace

std::string DecodeCharRefs(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (size_t i = 0; i < Text.size();) {
    char32_t code = 0;
    const size_t length = Text[i] != '&'                               ? 0
                          : i + 1 < Text.size() && Text[i + 1] == '#' ? ReadNumericRef(Text, i, code)
                                                                      : ReadNamedRef(Text, i, code);
    if (length == 0) {
      out += Text[i++];
      continue;
    }
    AppendUtf8(out, code);
    i += length;
  }
  return out;
}

bool IsDotSegment(std::string_view Segment, int Dots) {
  int found = 0;
  for (size_t i = 0; i < Segment.size(); ++i, ++found) {
    if (Segment[i] == '.') continue;
    if (!StartsTextView(Segment.substr(i), "%2e")) return false;
    i += 2;
  }
  return found == Dots;
}

std::string_view LinkScheme(std::string_view Link) {
  const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (Link.empty() || !isLetter(Link[0])) return {};
  for (size_t i = 1; i < Link.size(); ++i) {
    const char c = Link[i];
    if (c == ':') return Link.substr(0, i);
    if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
  }
  return {};
}

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
  if (Link.find('\\') != AnsiString::npos) std::replace(Link.begin(), Link.end(), '\\', '/');
  if (Link.find('%') != AnsiString::npos) DecodeDotSegments(Link);
  if (Link.starts_with("../") || Link.starts_with("./")) return ResolveRelativeSteps(Link, Base, fragment);
  for (const std::string_view scheme : SchemeTable) {
    if (!Link.starts_with(scheme)) continue;
    if (scheme == "mailto:") return false;
    if (scheme == "www.") Link.insert(0, "http://");
    Link += fragment;
    return true;
  }
  if (Link.find('@') != AnsiString::npos) {
    IsEmail = true;
    Link += fragment;
    return true;
  }
  if (!Link.starts_with('/')) {
    JoinToLink("", Base, Link, fragment);
    return true;
  }
  std::string_view host = std::string_view(Base).substr(SchemePrefixLength(Base));
  host = host.substr(0, host.find('/'));
  JoinToLink("http://", host, Link, fragment);
  return true;
}

bool CollapseDotDot(AnsiString& Link) {
  if (HasOuterBlanks(Link)) Link = Trim(Link);
  // Only the path has steps: a "/../" in the query or the fragment is the
  // server's data, and taking it as a step would request another document.
  const size_t step = Link.find("/../");
  if (step == AnsiString::npos) return !Link.empty();
  const size_t scheme = SchemePrefixLength(Link);
  const size_t pathEnd = std::min(FindAnyOf(Link, "?#", scheme), Link.size());
  if (step >= pathEnd) return true;
  // One pass over the "/"-separated parts after the scheme: a ".." part
  // between two "/" takes back the part before it when that one follows a
  // "/"; right after the host it is dropped; anywhere else it ends the work.
  const std::string_view rest = std::string_view(Link).substr(scheme, pathEnd - scheme);
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
  result.append(Link, pathEnd);
  Link = std::move(result);
  return !Link.empty();
}

// The URL is cut where its last segment starts (after "://" or a "/"); a
// host cut short by a stop character, or a last segment without "." (or the
// host itself), stays as a folder.
void DirectoryUrl(AnsiString& Url) {
  size_t segment = 0;
  bool slashSeen = false;
  for (size_t i = 0; i < Url.size(); ++i) {
    const char c = Url[i];
    if (c == ':' && !slashSeen && Url.compare(i + 1, 2, "//") == 0) {
      i += 2;
      segment = i + 1;
    } else if (c == '/') {
      segment = i + 1;
      slashSeen = true;
    } else if (IsStopChar(c)) {
      const bool hostFolder = !slashSeen && i > segment;
      Url.resize(hostFolder ? i : segment);
      if (hostFolder) Url += '/';
      return;
    }
  }
  const bool folder = segment < Url.size() && !(slashSeen && Url.find('.', segment) != AnsiString::npos);
  if (folder)
    Url += '/';
  else
    Url.resize(segment);
}

void NormalizeBase(AnsiString& Url) {
  TUrlParts buffer;
  const TUrlView parts = SplitUrlView(Url, buffer);
  // A port other than the default stays: links of a site served on another
  // port must resolve to that port, not to 80.
  const bool keepsPort = !parts.Port.empty() && parts.Port != "80";
  const std::string_view folders = parts.Path.substr(0, parts.Path.find('?'));
  // The parts split where they stand follow one another in the URL: when
  // with a scheme of their own they are as long as the URL, nothing lies
  // between them to drop, and the URL is its own normal form.
  const size_t length = parts.Scheme.size() + 3 + parts.Host.size() + (keepsPort ? 1 + parts.Port.size() : 0) + folders.size();
  if (!parts.Scheme.empty() && parts.Scheme.data() == Url.data() && length == Url.size()) return;
  AnsiString normal;
  normal.reserve(length + 4);
  normal.append(parts.Scheme.empty() ? "http" : parts.Scheme).append("://").append(parts.Host);
  if (keepsPort) normal.append(":").append(parts.Port);
  normal.append(folders);
  Url = std::move(normal);
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
  if (!base.ends_with('/')) base += '/';
  return base;
}

TUrlView SplitUrlView(const AnsiString& Url, TUrlParts& Buffer) {
  TUrlView parts;
  if (SplitSchemeUrl(Url, parts)) return parts;
  TUrlParts& b = Buffer;
  SplitUrl(Url, b.Scheme, b.User, b.Pass, b.Host, b.Port, b.Path, b.Query);
  return {b.Scheme, b.Host, b.Port, b.Path};
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
AnsiString CollapsedBase(AnsiString Base) {
  const size_t scheme = SchemePrefixLength(Base);
  const size_t hostEnd = std::min(Base.find('/', scheme), Base.size());
  if (IsCollapsedBase(Base, hostEnd)) return Base;
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
  TUrlParts buffer;
  return IsValidHostName(SplitUrlView(Url, buffer).Host);
}

AnsiString TopLevelLabel(const AnsiString& Url) {
  TUrlParts buffer;
  const std::string_view host = SplitUrlView(Url, buffer).Host;
  const size_t dot = host.rfind('.');
  return dot == std::string_view::npos ? AnsiString() : AnsiString(host.substr(dot + 1));
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
