// The drawing tools of a canvas: font, pen and brush. Each tool notifies its
// owner through OnChange whenever one of its properties changes. Font sizes
// are in points at 96 pixels per inch; Height is the negative pixel height.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/graphics/Colors.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

class QFont;
class QImage;
class TBitmap;

constexpr int ScreenPixelsPerInch = 96;

class TGraphicsObject : public TObject {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

// Sizes beyond MaxFontPoints (either sign) are held to it, so that no size
// or height overflows in the conversions between the two.
constexpr int MaxFontPoints = 10000;

class TFont : public TGraphicsObject {
 public:
  TFont();
  ~TFont() override;
  AnsiString ClassName() const override { return "TFont"; }

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& name);
  int Size() const { return size_; }
  void SetSize(int points);
  int Height() const;
  void SetHeight(int height);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch pitch);
  int Charset() const { return charset_; }
  void SetCharset(int charset);
  void Assign(const TFont& other);

  // The Qt font this font stands for (platform code only).
  const QFont& NativeFont() const;

 private:
  void Rebuild();

  AnsiString name_ = "DejaVu Sans";
  int size_ = 8;
  TColor color_ = clWindowText;
  TFontStyles style_ = 0;
  TFontPitch pitch_ = fpDefault;
  int charset_ = 1;
  std::unique_ptr<QFont> native_;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode { pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
                pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor,
                pmNotXor };

class TPen : public TGraphicsObject {
 public:
  AnsiString ClassName() const override { return "TPen"; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  int Width() const { return width_; }
  void SetWidth(int width);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle style);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode mode);
  void Assign(const TPen& other);

 private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross,
                   bsDiagCross };

// A brush paints a solid colour, nothing (bsClear), a hatch, or an 8x8 pattern
// that repeats from the canvas origin.
class TBrush : public TGraphicsObject {
 public:
  TBrush();
  ~TBrush() override;
  AnsiString ClassName() const override { return "TBrush"; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle style);
  // A colour pattern: the top-left 8x8 pixels of the bitmap (copied); nullptr
  // returns to the solid colour.
  void SetBitmap(const TBitmap* bitmap);
  // A monochrome pattern: row y's bit (7 - x) set paints oneColor, clear paints
  // zeroColor (as a monochrome brush uses the text and background colours).
  void SetPattern(const uint8_t rows[8], TColor zeroColor, TColor oneColor);
  bool HasPattern() const;
  // The pattern pixel (0x00BBGGRR) at canvas position x, y.
  TColor PatternPixel(int x, int y) const;
  void Assign(const TBrush& other);

  const QImage* PatternImage() const { return pattern_.get(); }

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
  std::unique_ptr<QImage> pattern_;
};
