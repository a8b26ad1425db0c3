// Pictures and files made in code for the image library's tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "tests/platform/rtl/TestHelpers.h"

// A bitmap whose pixel (x, y) is colour(x, y) as 0xRRGGBB.
std::unique_ptr<TBitmap> MakeBitmap(int w, int h, const std::function<uint32_t(int, int)>& colour);
// Pixel (x, y) as 0xRRGGBB.
uint32_t PixelAt(TBitmap& bitmap, int x, int y);
// Packs (code, width) pairs least significant bit first into GIF sub-blocks
// after the minimum code size byte, with the terminator.
AnsiString PackCodes(int minCodeSize, const std::vector<std::pair<int, int>>& codes);
// A RIFF chunk: identifier, 32-bit size, data, pad byte.
AnsiString Chunk(const AnsiString& id, const AnsiString& data);
AnsiString DWords(const std::vector<uint32_t>& values);
// An animated cursor file: the RIFF "ACON" form around the given chunks.
AnsiString AniFile(const AnsiString& chunks);
// An icon (type 1) or cursor (type 2) file with one 4-bit DIB image of the given size.
AnsiString SmallIconFile(int type, int size, uint8_t colourIndex, int hotX = 0, int hotY = 0);
