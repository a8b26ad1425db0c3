#include "crawl/LinkLevels.h"

#include <cstdint>
#include <string_view>

#include "crawl/LinkResolve.h"
#include "crawl/LinkText.h"

namespace {

// A name of at most LongestKeyed bytes, lower-cased, as one number: its
// length, then its bytes.
constexpr size_t LongestKeyed = 4;
constexpr uint64_t NameKey(std::string_view Name) {
  uint64_t key = Name.size();
  for (const char c : Name) key = key << 8 | FoldAsciiByte(c);
  return key;
}

// IsLevelFreeExt, compared as numbers: this runs for every link found.
bool IsLevelFreeExtension(std::string_view Ext) {
  static constexpr uint64_t levelFree[] = {
      NameKey("exe"), NameKey("zip"), NameKey("arj"), NameKey("lzh"), NameKey("gfx"), NameKey("jpg"), NameKey("jpeg"),
      NameKey("gif"), NameKey("bmp"), NameKey("tif"), NameKey("com"), NameKey("bat"), NameKey("js"), NameKey("css"),
      NameKey("swf"), NameKey("png"), NameKey("svg"), NameKey("webp"), NameKey("ico")};
  if (Ext.starts_with('.')) Ext.remove_prefix(1);
  if (Ext.size() <= LongestKeyed) {
    const uint64_t key = NameKey(Ext);
    for (const uint64_t entry : levelFree)
      if (key == entry) return true;
  }
  return StartsTextView(Ext, "js") && !StartsTextView(Ext, "jsp");
}

// ExtensionOf(Url) as a view of Url or of Buffer. A URL with a scheme
// ("scheme://", the form of every link found) is read in place: its host
// part ends at the first "/" or "?", so the path before any "?" is what
// follows the first "/" before the first "?" after "://", and empty
// without one.
std::string_view ExtensionView(const AnsiString& Url, TUrlParts& Buffer) {
  std::string_view path;
  if (const size_t separator = Url.find("://"); separator != AnsiString::npos && separator > 0) {
    std::string_view rest = std::string_view(Url).substr(separator + 3);
    rest = rest.substr(0, rest.find('?'));
    const size_t slash = rest.rfind('/');
    if (slash != std::string_view::npos) path = rest.substr(slash);
  } else if (!HoldsAnyOf(Url, ":/?@")) {
    // A bare name (a local file's) is its own last segment.
    path = Url;
  } else {
    const TUrlView parts = SplitUrlView(Url, Buffer);
    path = parts.Scheme.empty() && parts.Path.empty() ? parts.Host : parts.Path;
    path = path.substr(0, path.find('?'));
  }
  const std::string_view segment = path.substr(path.rfind('/') + 1);
  const size_t dot = segment.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : segment.substr(dot + 1);
}

} // namespace

bool IsLevelFreeExt(const AnsiString& Ext) { return IsLevelFreeExtension(Ext); }

AnsiString ExtensionOf(const AnsiString& Url) {
  TUrlParts buffer;
  return AnsiString(ExtensionView(Url, buffer));
}

int FoundLinkLevel(const AnsiString& Link, int PageLevel) {
  TUrlParts buffer;
  return PageLevel + (IsLevelFreeExtension(ExtensionView(Link, buffer)) ? 0 : 1);
}

std::vector<TFoundLink> FoundLinkLevels(const std::vector<AnsiString>& Links, int PageLevel) {
  std::vector<TFoundLink> found;
  AnsiString previous;
  for (const AnsiString& link : Links) {
    if (!SameText(link, previous) && !Trim(link).empty()) found.push_back({link, FoundLinkLevel(link, PageLevel)});
    previous = link;
  }
  return found;
}
