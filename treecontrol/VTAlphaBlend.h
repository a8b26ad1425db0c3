// Alpha blending of 32-bit bitmaps, one pixel row at a time: constant alpha,
// per-pixel alpha, master alpha and a colour overlay. Alpha runs 0..255 as a
// fraction of 256; the bias is added after blending and the result saturated
// to 0..255. Every byte of a pixel (blue, green, red, fourth) is a channel.
// Written in plain C++ for every processor; MmxAvailable stays what the
// processor reports and callers may test it as before.
#pragma once

#include <cstdint>

#include "platform/graphics/Bitmap.h"

enum TAlphaBlendMode { abConstantAlpha, abPerPixelAlpha, abMasterAlpha, abColorOverlay };

// R is in source coordinates, target where R's top-left lands in the
// destination; in abColorOverlay only destination is used, R is in its
// coordinates and bias carries the colour (0x00BBGGRR). Rows and columns
// outside either bitmap are left out.
void AlphaBlendRect(TBitmap* source, TBitmap* destination, const TRect& r, TPoint target, TAlphaBlendMode mode,
                    int constantAlpha, int bias);

void BlendLineConstant(const uint32_t* source, uint32_t* destination, int count, int constantAlpha, int bias);
void BlendLinePerPixel(const uint32_t* source, uint32_t* destination, int count, int bias);
void BlendLineMaster(const uint32_t* source, uint32_t* destination, int count, int constantAlpha, int bias);
void BlendLineColor(uint32_t* destination, int count, int constantAlpha, TColor color);
