#include "crawl/SavePaths.h"

#include <vector>

#include "crawl/MirrorNames.h"
#include "platform/rtl/FileUtils.h"
#include "platform/rtl/FolderEntries.h"
#include "project/TextHelpers.h"

namespace {

constexpr size_t MaxComponentLength = 255;

std::vector<AnsiString> Components(const AnsiString& Text) {
  std::vector<AnsiString> parts;
  size_t start = 0;
  while (start <= Text.size()) {
    size_t end = Text.find('/', start);
    if (end == AnsiString::npos) end = Text.size();
    if (end > start) parts.push_back(Text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool Creatable(const AnsiString& Part) {
  if (Part.empty() || Part.size() > MaxComponentLength) return false;
  if (Part.find_first_of(":*?\"<>|") != AnsiString::npos) return false;
  return Part.back() != '.' && Part.back() != ' ';
}

// A resolved folder that is the download folder (root, without its '/') or
// lies below it, the download folder's name matched without regard to case
// as its resolution may have changed the case.
bool InsideFolder(const AnsiString& Root, const AnsiString& Dir) {
  return Dir.size() >= Root.size() && SameText(Dir.substr(0, Root.size()), Root) &&
         (Dir.size() == Root.size() || Dir[Root.size()] == '/');
}

} // namespace

TMirrorPath MapMirrorPath(const AnsiString& Folder, const AnsiString& LocalDir, const AnsiString& NamePart,
                          const AnsiString& LocalName) {
  TMirrorPath path;
  if (Folder.empty() || Folder.front() != '/' || Folder.back() != '/' || !StartsStr(Folder, LocalDir)) return path;
  for (const AnsiString& part : Components(Folder))
    if (part == "." || part == "..") return path;

  const AnsiString whole = EscapeUrlChars(LocalDir.substr(Folder.size())) + NamePart + LocalName;
  const size_t lastSlash = whole.rfind('/');
  const AnsiString name = MirrorComponent(lastSlash == AnsiString::npos ? whole : whole.substr(lastSlash + 1));
  const std::vector<AnsiString> parts = Components(lastSlash == AnsiString::npos ? AnsiString() : whole.substr(0, lastSlash));
  const AnsiString root = ExcludeTrailingPathDelimiter(Folder);
  AnsiString dir = root;
  for (const AnsiString& part : parts) {
    const AnsiString encoded = MirrorComponent(part);
    if (!Creatable(encoded)) {
      path.Result = TMirrorPathResult::DirNotCreatable;
      return path;
    }
    dir += "/" + encoded;
  }
  if (!Creatable(name)) {
    path.Dir = ResolvePath(dir);
    if (InsideFolder(root, path.Dir)) path.Result = TMirrorPathResult::NameNotCreatable;
    else path.Dir.clear();
    return path;
  }
  // The folder and the file are resolved in one pass: a case variant is as
  // long as its name, so the resolved folder is the front of the resolved file.
  bool missing = false;
  const AnsiString file = ResolvePath(dir + "/" + name, missing);
  if (file.size() <= dir.size() + 1 || file[dir.size()] != '/' || !InsideFolder(root, file.substr(0, dir.size())))
    return path;
  path.Dir = file.substr(0, dir.size());
  path.File = file;
  path.FileMissing = missing;
  path.Result = TMirrorPathResult::Ok;
  return path;
}

bool FallbackBase(const AnsiString& LocalName, AnsiString& Base) {
  const size_t stop = LocalName.find_first_of(".?=*");
  if (stop == AnsiString::npos) return false;
  Base = LocalName.substr(0, stop);
  return true;
}

AnsiString FallbackName(const AnsiString& Base, int N) { return Format("%s-%d.htm", Base, N); }
