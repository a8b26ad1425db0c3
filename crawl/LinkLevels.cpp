#include "crawl/LinkLevels.h"

#include <algorithm>

#include "net/UrlUtils.h"

bool IsLevelFreeExt(const AnsiString& Ext) {
  static const char* const levelFree[] = {"exe", "zip", "arj", "arj", "lzh", "gfx", "jpg", "jpeg",
                                          "gif", "bmp", "tif", "com", "bat", "js", "css", "swf",
                                          "png", "svg", "webp", "ico"};
  const AnsiString ext = StartsStr(".", Ext) ? Ext.substr(1) : Ext;
  for (const char* entry : levelFree)
    if (SameText(ext, entry)) return true;
  return StartsText("js", ext) && !StartsText("jsp", ext);
}

AnsiString ExtensionOf(const AnsiString& Url) {
  AnsiString proto, user, pass, host, port, path, query;
  SplitUrl(Url, proto, user, pass, host, port, path, query);
  if (proto.empty() && path.empty()) path = host;
  path.resize(std::min(path.size(), path.find('?')));
  const size_t slash = path.rfind('/');
  const AnsiString segment = slash == AnsiString::npos ? path : path.substr(slash + 1);
  const size_t dot = segment.rfind('.');
  return dot == AnsiString::npos ? AnsiString() : segment.substr(dot + 1);
}

int FoundLinkLevel(const AnsiString& Link, int PageLevel) {
  return PageLevel + (IsLevelFreeExt(ExtensionOf(Link)) ? 0 : 1);
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
