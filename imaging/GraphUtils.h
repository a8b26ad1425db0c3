// Transparent drawing of bitmaps: pixels of one colour are left out while the
// rest is stretched into the destination (a mask is "and"-ed in, then the
// masked picture is "or"-ed over it).
#pragma once

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"

// Stretches the source rectangle into the destination rectangle, leaving out
// the source pixels of transparentColor (an RGB value).
void TransparentStretchBlt(HDC destDC, int x, int y, int w, int h, HDC sourceDC, int sx, int sy,
                           int sw, int sh, TColor transparentColor);

// Draws the bitmap's source rectangle into the destination rectangle with
// transparentColor left out. A destination width or height below 1 means the
// bitmap's own; a source width or height below 1 means the whole bitmap.
// clNone draws opaque (with the canvas's copy mode); clDefault means the
// colour of the bitmap's bottom-left pixel; a monochrome bitmap leaves out
// its white whatever the colour given. The bitmap's canvas is locked and its
// change event held back while it is drawn.
void DrawTransparentBitmapRect(TCanvas& canvas, TBitmap& bitmap, int x, int y, int w, int h,
                               int srcX, int srcY, int srcW, int srcH, TColor transparentColor);
void DrawTransparentBitmapRect(TCanvas& canvas, TBitmap& bitmap, const TRect& dest,
                               const TRect& source, TColor transparentColor);
