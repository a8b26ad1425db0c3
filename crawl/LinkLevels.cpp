#include "crawl/LinkLevels.h"

#include <string_view>

#include "crawl/LinkResolve.h"
#include "crawl/LinkText.h"

namespace {

// IsLevelFreeExt, compared in place: this runs for every link found.
bool IsLevelFreeExtension(std::string_view Ext) {
  static constexpr std::string_view levelFree[] = {"exe", "zip", "arj", "arj", "lzh", "gfx", "jpg", "jpeg",
                                                   "gif", "bmp", "tif", "com", "bat", "js", "css", "swf",
                                                   "png", "svg", "webp", "ico"};
  if (Ext.starts_with('.')) Ext.remove_prefix(1);
  for (const std::string_view entry : levelFree)
    if (SameTextView(Ext, entry)) return true;
  return StartsTextView(Ext, "js") && !StartsTextView(Ext, "jsp");
}

// ExtensionOf(Url) as a view of Url or of Buffer.
std::string_view ExtensionView(const AnsiString& Url, TUrlParts& Buffer) {
  const TUrlView parts = SplitUrlView(Url, Buffer);
  std::string_view path = parts.Scheme.empty() && parts.Path.empty() ? parts.Host : parts.Path;
  path = path.substr(0, path.find('?'));
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
