// Colour reduction: turns a bitmap into an indexed picture of at most 256
// palette colours by one of six mappings (histogram, median cut, two fixed
// palettes, channel ramps, grey levels), and writes such a picture as a
// device-independent bitmap file ("BM" header, 40-byte information header,
// palette, rows bottom-up padded to 4 bytes).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/Bitmap.h"

enum TColorMapping : uint8_t {
  cmHistogram,
  cmMedianCut,
  cmFixed7x8x4,
  cmFixed6x6x6,
  cmChannelRamps,
  cmGrayscale
};
constexpr TColorMapping DefaultColorMapping = cmHistogram;

struct TPaletteEntry {
  uint8_t Blue = 0, Green = 0, Red = 0, Reserved = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// An indexed picture: one palette index per pixel, rows top to bottom.
struct TReducedBitmap {
  int Width = 0;
  int Height = 0;
  int BitCount = 8;    // 1, 4 or 8
  int ColorsUsed = 0;  // meaningful palette entries
  std::array<TPaletteEntry, 256> Palette{};
  std::vector<uint8_t> Indexes;

  uint8_t At(int x, int y) const { return Indexes[size_t(y) * size_t(Width) + size_t(x)]; }
};

// Reduces the bitmap to 2 (pf1bit), 16 (pf4bit) or 256 (pf8bit) colours.
// EInvalidGraphic "Bitmap image is not valid" for an empty bitmap; formats
// that the mapping cannot give show the not-implemented message and abort.
TReducedBitmap ReduceBitmap(TBitmap& bitmap, TPixelFormat format, TColorMapping mapping);

// The reduced bitmap as a bitmap file in a memory stream positioned at 0. A
// 24- or 32-bit target saves the bitmap as it is.
std::unique_ptr<TMemoryStream> ReduceBitmapToStream(TBitmap& bitmap, TPixelFormat format,
                                                    TColorMapping mapping);
// 1 bit for up to 2 colours, 4 bits up to 16, 8 bits up to 256, else 24 bits.
std::unique_ptr<TMemoryStream> BitmapToReducedStream(TBitmap& bitmap, int colors);
// Paints the reduced picture's colours back into a bitmap of its size.
void ReducedToBitmap(const TReducedBitmap& reduced, TBitmap& bitmap);

// Bytes of one DIB row of the given width and depth, aligned to alignBits (8, 16 or 32).
int BytesPerScanLine(int pixels, int bitsPerPixel, int alignBits = 32);
void SaveDibFile(const TReducedBitmap& reduced, TStream& stream);

[[noreturn]] void RaiseInvalidBitmap();
