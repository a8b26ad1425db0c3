// Reading and writing icon and cursor files (the ".ico"/".cur" layout: a
// directory of images, each a DIB with an AND mask or a PNG), and making an
// icon from 32-bit ARGB pixels. Every size and offset of a file is checked:
// a short file raises EReadError, a malformed one EInvalidGraphic.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/Icon.h"
#include "platform/graphics/Types.h"

struct TIconFileImage {
  bool IsIcon = true;          // directory type 1 (icon) rather than 2 (cursor)
  TPoint HotSpot;              // a cursor's hot spot; 0, 0 for icons
  uint32_t ResourceSize = 0;   // byte count of the chosen image, from its directory entry
  uint32_t ImageOffset = 0;    // offset of the chosen image, from its directory entry
  int ColorCount = 0;          // largest colour count among the images (65535 above 8 bits)
  std::unique_ptr<TIcon> Icon;
};

// Reads the largest image of an icon or cursor file.
TIconFileImage ReadIconFile(const AnsiString& bytes);
// The icon as an icon file holding one PNG image; empty for an empty icon.
AnsiString IconToIconFile(const TIcon& icon);
// An icon of the given ARGB pixels (0xAARRGGBB, rows top to bottom).
std::unique_ptr<TIcon> IconFromPixels(int width, int height, const std::vector<uint32_t>& argb);
// Encodes ARGB pixels as an uncompressed PNG file.
AnsiString EncodePng(int width, int height, const std::vector<uint32_t>& argb);
// Gives dest the pixels of source; an empty source empties dest. Dest's
// change event fires. The two share the pixels until one of them takes a new
// picture, so copies cost no memory of their own.
void AssignIcon(TIcon& dest, const TIcon& source);
// A copy of the icon (an empty icon for an empty source), sharing its pixels.
std::unique_ptr<TIcon> CopyIcon(const TIcon& icon);
