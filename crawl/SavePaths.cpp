#include "crawl/SavePaths.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "crawl/MirrorNames.h"
#include "platform/rtl/FileUtils.h"
#include "platform/rtl/FolderEntries.h"
#include "project/TextHelpers.h"

namespace {

constexpr size_t MaxComponentLength = 255;

// Calls Take with each non-empty "/"-separated component of Text, in order,
// while it returns true; false when it stopped.
template <class Take>
bool ForEachComponent(std::string_view Text, Take take) {
  size_t start = 0;
  while (start <= Text.size()) {
    const size_t end = std::min(Text.find('/', start), Text.size());
    if (end > start && !take(Text.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

bool Creatable(const AnsiString& Part) {
  if (Part.empty() || Part.size() > MaxComponentLength) return false;
  // The bytes no component may hold, looked up: this runs for every
  // component of every name mapped.
  static constexpr auto refused = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view(":*?\"<>|")) table[static_cast<unsigned char>(c)] = true;
    return table;
  }();
  if (std::any_of(Part.begin(), Part.end(), [](char c) { return refused[static_cast<unsigned char>(c)]; })) return false;
  return Part.back() != '.' && Part.back() != ' ';
}

// A resolved folder that is the download folder (root, without its '/') or
// lies below it, the download folder's name matched without regard to case
// as its resolution may have changed the case.
bool InsideFolder(std::string_view Root, std::string_view Dir) {
  if (Dir.size() < Root.size() || (Dir.size() > Root.size() && Dir[Root.size()] != '/')) return false;
  const std::string_view front = Dir.substr(0, Root.size());
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return front == Root ||
         std::equal(Root.begin(), Root.end(), front.begin(), [&](char a, char b) { return fold(a) == fold(b); });
}

} // namespace

TMirrorPath MapMirrorPath(const AnsiString& Folder, const AnsiString& LocalDir, const AnsiString& NamePart,
                          const AnsiString& LocalName) {
  TMirrorPath path;
  if (Folder.empty() || Folder.front() != '/' || Folder.back() != '/' || !StartsStr(Folder, LocalDir)) return path;
  if (!ForEachComponent(Folder, [](std::string_view part) { return part != "." && part != ".."; })) return path;

  const AnsiString whole = EscapeNameChars(LocalDir.substr(Folder.size())) + NamePart + LocalName;
  const size_t lastSlash = whole.rfind('/');
  const std::string_view wholeView = whole;
  const AnsiString name = MirrorComponent(lastSlash == AnsiString::npos ? whole : whole.substr(lastSlash + 1));
  const AnsiString root = ExcludeTrailingPathDelimiter(Folder);
  AnsiString dir;
  dir.reserve(Folder.size() + whole.size() + 1);
  dir.append(root);
  const bool creatable = ForEachComponent(wholeView.substr(0, lastSlash == AnsiString::npos ? 0 : lastSlash),
                                          [&dir](std::string_view part) {
                                            const AnsiString encoded = MirrorComponent(AnsiString(part));
                                            dir.append(1, '/').append(encoded);
                                            return Creatable(encoded);
                                          });
  if (!creatable) {
    path.Result = TMirrorPathResult::DirNotCreatable;
    return path;
  }
  if (!Creatable(name)) {
    path.Dir = ResolvePath(dir);
    if (InsideFolder(root, path.Dir)) path.Result = TMirrorPathResult::NameNotCreatable;
    else path.Dir.clear();
    return path;
  }
  // The folder and the file are resolved in one pass: a case variant is as
  // long as its name, so the resolved folder is the front of the resolved file.
  const size_t dirSize = dir.size();
  dir.append(1, '/').append(name);
  bool missing = false, dirMissing = false;
  AnsiString file = ResolvePath(dir, missing, dirMissing);
  if (file.size() <= dirSize + 1 || file[dirSize] != '/' || !InsideFolder(root, std::string_view(file).substr(0, dirSize)))
    return path;
  path.Dir = file.substr(0, dirSize);
  path.File = std::move(file);
  path.FileMissing = missing;
  path.DirMissing = dirMissing;
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
