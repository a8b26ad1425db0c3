#include "platform/graphics/Colors.h"

#include <array>
#include <cstddef>

namespace {

constexpr std::array<TColor, 31> kSystemPalette = {
    RGB(200, 200, 200), RGB(58, 110, 165), RGB(10, 36, 106),   RGB(128, 128, 128),
    RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(0, 120, 215),  RGB(255, 255, 255), RGB(240, 240, 240),
    RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 102, 204),   RGB(166, 202, 240),
    RGB(192, 192, 192), RGB(51, 153, 255),  RGB(240, 240, 240)};

}  // namespace

TColor GetSysColor(int index) {
  if (index < 0 || index >= int(kSystemPalette.size())) return clBlack;
  return kSystemPalette[std::size_t(index)];
}

TColor ColorToRGB(TColor color) {
  if (color == clNone) return clBlack;
  if (color == clDefault) return clWhite;
  if (color < 0) return GetSysColor(color & 0xFF);
  return color & 0xFFFFFF;
}
