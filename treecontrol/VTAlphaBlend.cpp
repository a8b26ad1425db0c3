// Row blending of 32-bit pixels.
#include "treecontrol/VTAlphaBlend.h"

#include <algorithm>

namespace {

uint32_t BlendByte(uint32_t d, uint32_t s, uint32_t a, int bias) {
  int t = int((d * (256 - a) + s * a) >> 8);
  return uint32_t(std::clamp(t + bias, 0, 255));
}

uint32_t BlendPixel(uint32_t d, uint32_t s, uint32_t a, int bias) {
  uint32_t result = 0;
  for (int shift = 0; shift < 32; shift += 8)
    result |= BlendByte((d >> shift) & 0xFF, (s >> shift) & 0xFF, a, bias) << shift;
  return result;
}

}  // namespace

void BlendLineConstant(const uint32_t* source, uint32_t* destination, int count, int constantAlpha, int bias) {
  uint32_t a = uint32_t(constantAlpha) & 0xFF;
  for (int i = 0; i < count; ++i) destination[i] = BlendPixel(destination[i], source[i], a, bias);
}

void BlendLinePerPixel(const uint32_t* source, uint32_t* destination, int count, int bias) {
  for (int i = 0; i < count; ++i) destination[i] = BlendPixel(destination[i], source[i], source[i] >> 24, bias);
}

void BlendLineMaster(const uint32_t* source, uint32_t* destination, int count, int constantAlpha, int bias) {
  uint32_t master = uint32_t(constantAlpha) & 0xFF;
  for (int i = 0; i < count; ++i)
    destination[i] = BlendPixel(destination[i], source[i], ((source[i] >> 24) * master) >> 8, bias);
}

void BlendLineColor(uint32_t* destination, int count, int constantAlpha, TColor color) {
  // 0x00BBGGRR becomes the pixel layout 0x00RRGGBB (blue in the low byte).
  uint32_t pixel = uint32_t(GetBValue(color)) | uint32_t(GetGValue(color)) << 8 | uint32_t(GetRValue(color)) << 16;
  uint32_t a = uint32_t(constantAlpha) & 0xFF;
  for (int i = 0; i < count; ++i) destination[i] = BlendPixel(destination[i], pixel, a, 0);
}

void AlphaBlendRect(TBitmap* source, TBitmap* destination, const TRect& r, TPoint target, TAlphaBlendMode mode,
                    int constantAlpha, int bias) {
  if (IsRectEmpty(r) || !destination) return;
  if (mode == abColorOverlay) {
    int left = std::max(0, r.Left), right = std::min(destination->Width(), r.Right);
    for (int y = std::max(0, r.Top); y < std::min(destination->Height(), r.Bottom); ++y)
      if (right > left)
        BlendLineColor(static_cast<uint32_t*>(destination->ScanLine(y)) + left, right - left, constantAlpha, bias);
    return;
  }
  if (!source || mode > abMasterAlpha) return;
  for (int y = 0; y < r.Height(); ++y) {
    int sy = r.Top + y, dy = target.Y + y;
    if (sy < 0 || sy >= source->Height() || dy < 0 || dy >= destination->Height()) continue;
    int sx = r.Left, dx = target.X, count = r.Width();
    if (sx < 0) { dx -= sx; count += sx; sx = 0; }
    if (dx < 0) { sx -= dx; count += dx; dx = 0; }
    count = std::min({count, source->Width() - sx, destination->Width() - dx});
    if (count <= 0) continue;
    auto* s = static_cast<const uint32_t*>(source->ScanLine(sy)) + sx;
    auto* d = static_cast<uint32_t*>(destination->ScanLine(dy)) + dx;
    switch (mode) {
      case abConstantAlpha: BlendLineConstant(s, d, count, constantAlpha, bias); break;
      case abPerPixelAlpha: BlendLinePerPixel(s, d, count, bias); break;
      default: BlendLineMaster(s, d, count, constantAlpha, bias);
    }
  }
}
