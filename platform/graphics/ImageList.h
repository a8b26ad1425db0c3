// TImageList: a list of same-sized pictures with masks, drawn transparently,
// optionally blended with a highlight colour (selected or focused look),
// greyed when disabled, and with an overlay picture on top. Overlay indexes
// 0..14 name list images through Overlay(). Any number of change links
// hear of every change (OnChange serves one listener only); a link that is
// destroyed leaves its list, and a list that is destroyed leaves its links
// without a Sender.
#pragma once

#include <memory>
#include <vector>

#include "platform/graphics/Canvas.h"
#include "platform/rtl/Component.h"

class QImage;
class TBitmap;
class TIcon;

class TImageList;

class TChangeLink {
 public:
  TChangeLink() = default;
  TChangeLink(const TChangeLink&) = delete;
  TChangeLink& operator=(const TChangeLink&) = delete;
  ~TChangeLink();
  TImageList* Sender() const { return sender_; }
  TNotifyEvent OnChange;

 private:
  friend class TImageList;
  TImageList* sender_ = nullptr;
};

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType { itImage, itMask };

class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner = nullptr);
  ~TImageList() override;
  AnsiString ClassName() const override { return "TImageList"; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Changing the size empties the list.
  void SetSize(int width, int height);
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  int Count() const { return int(images_.size()); }
  TColor BkColor() const { return bkColor_; }
  void SetBkColor(TColor c) { bkColor_ = c; }
  TColor BlendColor() const { return blendColor_; }
  void SetBlendColor(TColor c) { blendColor_ = c; }
  TDrawingStyle DrawingStyle() const { return drawingStyle_; }
  void SetDrawingStyle(TDrawingStyle s) { drawingStyle_ = s; }

  // Adds an image; a mask pixel that is white (non-black) is transparent.
  // A picture wider than Width adds one image per Width-wide strip. Returns
  // the index of the first image added.
  int Add(const TBitmap* image, const TBitmap* mask);
  // Adds an image whose pixels of maskColor are transparent.
  int AddMasked(const TBitmap* image, TColor maskColor);
  int AddIcon(const TIcon* icon);
  void Replace(int index, const TBitmap* image, const TBitmap* mask);
  void Delete(int index);
  void Clear();
  // Makes overlay index 0..14 show image imageIndex.
  bool Overlay(int imageIndex, int overlayIndex);
  int OverlayImage(int overlayIndex) const;

  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true) const;
  // overlay is an overlay index (0..14) or -1 for none; style one of the
  // drawing styles.
  void DrawOverlay(TCanvas* canvas, int x, int y, int index, int overlay, bool enabled = true) const;
  void DrawEx(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, int overlay,
              bool enabled) const;
  // Copies image index (on the background colour, or white) into bitmap.
  bool GetBitmap(int index, TBitmap* bitmap) const;

  TNotifyEvent OnChange;
  // A link hears of changes until it is unregistered or destroyed; it can
  // belong to one list at a time.
  void RegisterChanges(TChangeLink* link);
  void UnRegisterChanges(TChangeLink* link);

 private:
  void CheckIndex(int index) const;
  void Changed();
  // Add's work on the pictures' pixels; mask may be null.
  int AddCells(const QImage& image, const QImage* mask);

  int width_ = 16;
  int height_ = 16;
  TColor bkColor_ = clNone;
  TColor blendColor_ = clNone;
  TDrawingStyle drawingStyle_ = dsNormal;
  std::vector<std::unique_ptr<QImage>> images_;
  int overlays_[15];
  std::vector<TChangeLink*> links_;
};
