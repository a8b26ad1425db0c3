#include "crawl/MirrorNames.h"

#include <algorithm>
#include <string_view>

#include "crawl/LinkText.h"
#include "net/UrlUtils.h"
#include "platform/rtl/AtomicFile.h"
#include "project/TextHelpers.h"

namespace {

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool KeepEscaped(char first, char second, int code, bool FileNameMode) {
  if (FileNameMode) return code == '/' || code == 0;
  return first == '2' || second == '0';
}

AnsiString QuerySum(const AnsiString& Tail) { return "_" + IntToHex(StrCRC32(Tail), 8); }

// Host and folders as "host/a/b" with "." dropped and ".." taking back one
// folder below the host at most. The parts are joined as they come, a ".."
// cutting the last one off again: this runs for every document named.
AnsiString ResolvedLocalDir(std::string_view Dir) {
  AnsiString result;
  result.reserve(Dir.size());
  size_t parts = 0;
  size_t start = 0;
  while (start <= Dir.size()) {
    const size_t end = std::min(Dir.find('/', start), Dir.size());
    const std::string_view part = Dir.substr(start, end - start);
    if (part == "..") {
      if (parts > 1) {
        result.resize(result.rfind('/'));
        --parts;
      }
    } else if (!part.empty() && part != ".") {
      if (parts++ > 0) result += '/';
      result.append(part);
    }
    start = end + 1;
  }
  return result;
}

void ApplyQueryToPath(TMirrorRequest& R, const TNameExt& NameExt) {
  if (EndsStr("/", R.Path)) {
    if (!NameExt.Name.empty()) R.DocName = NameExt.Name + "." + NameExt.Ext;
    return;
  }
  if (!R.Query.empty()) LocalNameForQuery(R.Path);
  const size_t slash = R.Path.rfind('/');
  if (slash == AnsiString::npos) {
    R.DocName = R.Path;
    R.Path = "/";
  } else {
    R.DocName = R.Path.substr(slash + 1);
    R.Path = R.Path.substr(0, slash + 1);
  }
  R.Query.clear();
}

AnsiString LocalDirOf(const TMirrorRequest& R) {
  std::string_view dir = R.Path;
  if (dir.size() > R.DocName.size() && EndsTextView(dir, R.DocName) && dir[dir.size() - R.DocName.size() - 1] == '/')
    dir.remove_suffix(R.DocName.size());
  // "h." names the same host as "h" and shares its folder.
  std::string_view host = R.Host;
  if (host.size() > 1 && host.ends_with('.')) host.remove_suffix(1);
  if (dir.empty()) return ResolvedLocalDir(host);
  // Host and folders joined by a "/": the empty parts a doubled one makes
  // are dropped by the resolution.
  AnsiString joined;
  joined.reserve(host.size() + 1 + dir.size());
  joined.append(host).append(1, '/').append(dir);
  return ResolvedLocalDir(joined);
}

AnsiString LocalNameOf(const TMirrorRequest& R, bool EndsWithSlash) {
  AnsiString name;
  if (R.DocName.empty())
    name = R.Query.empty() ? "index.htm" : "query";
  else
    name = R.DocName + (R.DocName.find('.') == AnsiString::npos && EndsWithSlash ? ".htm" : "");
  if (!R.Query.empty()) {
    if (SameText(name, "index.htm")) name = "query";
    name += QuerySum(R.Query.substr(1));
  }
  return name;
}

} // namespace

AnsiString EscapeNameChars(AnsiString S) {
  return HoldsAnyOf(S, "?:&") ? EscapeUrlChars(S) : S;
}

AnsiString EncodeSpaces(const AnsiString& S) {
  return S.find(' ') == AnsiString::npos ? S : StringReplace(S, " ", "%20", rfReplaceAll);
}

AnsiString DecodePercent(const AnsiString& S, bool FileNameMode) {
  AnsiString result;
  result.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == '%' && i + 2 < S.size()) {
      const int high = HexValue(static_cast<unsigned char>(S[i + 1]));
      const int low = HexValue(static_cast<unsigned char>(S[i + 2]));
      const int code = high * 16 + low;
      if (high >= 0 && low >= 0 && !KeepEscaped(S[i + 1], S[i + 2], code, FileNameMode)) {
        result += static_cast<char>(code);
        i += 2;
        continue;
      }
    }
    result += S[i];
  }
  return result;
}

bool LocalNameForQuery(AnsiString& Path) {
  if (!HoldsAnyOf(Path, ":?=")) return false;
  AnsiString path = EncodeSpaces(Path);
  size_t dot = 0, slash = 0, q = 0, eq = 0;
  for (size_t i = 1; i <= path.size(); ++i) {
    const char c = path[i - 1];
    if (c == ':' || c == '?') {
      q = i;
      break;
    }
    if (c == '=') {
      eq = i;
      break;
    }
    if (c == '/') {
      slash = i;
      dot = 0;
    } else if (c == '.') {
      dot = i;
    }
  }
  if (q == 0 && eq == 0) return false;
  AnsiString tail;
  if (q != 0) {
    tail = path.substr(q);
    path.resize(q - 1);
    if (slash == 0 || q == slash + 1) path = JoinWithSep(path, "query", "/");
    if (dot >= 1) {
      const AnsiString ext = path.substr(dot - 1);
      if (StartsText(".aspx", ext))
        path.replace(dot - 1, 5, ".htm");
      else if (StartsText(".asp", ext))
        path.replace(dot - 1, 4, ".htm");
    }
  } else if (slash >= 1) {
    tail = path.substr(slash);
    path.resize(slash);
    path += "query";
  } else {
    tail = path.substr(eq);
    path.resize(eq);
    path += "query";
  }
  if (q != 0 && dot >= 1)
    path.insert(dot - 1, QuerySum(tail));
  else
    path += QuerySum(tail);
  Path = path;
  return true;
}

TNameExt SplitNameExt(AnsiString& DocName, const AnsiString& Path, const AnsiString& ContentType) {
  if (Path.size() > 1 && EndsStr("/", Path)) return {"index", "htm"};
  TNameExt result{DocName, ""};
  if (result.Name.empty()) return result;
  const size_t dot = result.Name.rfind('.');
  if (dot != AnsiString::npos) {
    result.Ext = result.Name.substr(dot + 1);
    result.Name.resize(dot);
  }
  if (dot == AnsiString::npos && ContainsText(ContentType, "text/html")) {
    result = {"index", "htm"};
    DocName = "index.htm";
  }
  return result;
}

AnsiString MirrorComponent(const AnsiString& Part) {
  if (Part == "." || Part == "..") return StringReplace(Part, ".", "%2E", rfReplaceAll);
  // A site's file spelt as a temporary file of a whole-file writer would be
  // taken for one left by a crash and removed when the project opens.
  if (AtomicFile::TemporaryFileOwner(Part) != 0) return "%2E" + MirrorComponent(Part.substr(1));
  const auto encoded = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == 0x7F; };
  // Names are mostly written as they stand: copied whole, not byte by byte.
  if (std::none_of(Part.begin(), Part.end(), encoded)) return Part;
  AnsiString result;
  result.reserve(Part.size() + 8);
  for (const char c : Part) {
    if (encoded(c))
      result += "%" + IntToHex(static_cast<unsigned char>(c), 2);
    else
      result += c;
  }
  return result;
}

bool IsDefaultDocName(const AnsiString& Name) {
  for (const char* name : {"index.htm", "index.html", "default.html", "document.htm", "document.html"})
    if (SameText(Name, name)) return true;
  return false;
}

TMirrorName MirrorNameFor(TMirrorRequest R, bool DirStructure, const AnsiString& Folder) {
  const TNameExt nameExt = SplitNameExt(R.DocName, R.Path, R.ContentType);
  if (!R.Query.empty() && R.Path == "/" + R.Query) R.Path = "/";
  const bool endsWithSlash = EndsStr("/", R.Path);
  if ((R.Redirected || !R.Query.empty()) && !R.Path.empty()) ApplyQueryToPath(R, nameExt);

  TMirrorName name;
  name.LocalDir = LocalDirOf(R);
  name.LocalName = LocalNameOf(R, endsWithSlash);
  if (DirStructure) {
    name.NamePart = "/";
  } else {
    name.NamePart = StringReplace(name.LocalDir, "/", "_", rfReplaceAll);
    name.LocalDir.clear();
    name.NamePart = name.NamePart.empty() ? "/" : name.NamePart + "_";
  }
  name.LocalDir = Folder + DecodePercent(name.LocalDir, false);
  name.NamePart = DecodePercent(name.NamePart, false);
  name.LocalName = EscapeNameChars(DecodePercent(name.LocalName, true));
  return name;
}

TMirrorRequest MirrorRequestForUrl(const AnsiString& Url, const AnsiString& ContentType) {
  AnsiString proto, user, pass, port;
  TMirrorRequest R;
  // The URL in its one form, so that a redirect target the server wrote
  // percent-encoded is named as the same address found in a page.
  SplitUrl(IsInOneForm(Url) ? Url : OneFormUrl(Url), proto, user, pass, R.Host, port, R.Path, R.Query);
  if (!StartsStr("/", R.Path)) R.Path = "/" + R.Path;
  const AnsiString plainPath = R.Path.substr(0, R.Path.find('?'));
  R.DocName = EndsStr("/", plainPath) ? AnsiString("index.htm") : plainPath.substr(plainPath.rfind('/') + 1);
  R.ContentType = ContentType;
  return R;
}

AnsiString AssumedContentType(const AnsiString& Url) {
  AnsiString proto, user, pass, host, port, path, query;
  SplitUrl(Url, proto, user, pass, host, port, path, query);
  const AnsiString plainPath = path.substr(0, path.find('?'));
  const size_t slash = plainPath.rfind('/');
  const AnsiString last = slash == AnsiString::npos ? plainPath : plainPath.substr(slash + 1);
  return last.find('.') == AnsiString::npos ? "text/html" : "";
}
