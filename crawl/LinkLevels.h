// Found-link levels: a link to a page is one level deeper than the page that
// holds it; a link to a resource of the page (image, script, style sheet,
// archive, program) keeps the page's level, so the link-level limit never cuts
// a page off from what it shows.
#pragma once

#include <vector>

#include "platform/rtl/SysUtils.h"

// True for the extensions that keep the parent's level (without regard to
// case, with or without the leading "."): exe zip arj lzh gfx jpg jpeg gif bmp
// tif com bat js css swf png svg webp ico, and every one beginning with "js"
// but not "jsp".
bool IsLevelFreeExt(const AnsiString& Ext);

// The text after the last "." of the last path segment of Url, before any "?".
AnsiString ExtensionOf(const AnsiString& Url);

// The level of a link found on a page at PageLevel.
int FoundLinkLevel(const AnsiString& Link, int PageLevel);

struct TFoundLink {
  AnsiString Url;
  int Level = 0;
};

// The links of a page at PageLevel with their levels, in the order given,
// skipping blank links and a link equal to the one before it (without regard
// to case).
std::vector<TFoundLink> FoundLinkLevels(const std::vector<AnsiString>& Links, int PageLevel);
