// TExplorerButton: a flat toolbar button painted through the canvas. Without
// the mouse over it, it shows its picture (with boMonoDisplay a grey one) and
// its caption in UnselectedFontColor; with the mouse over it, a bevel
// (boShowBevel) and the coloured picture; pressed or Down, it sinks by one
// pixel. Buttons of one parent with the same non-zero GroupIndex act like
// radio buttons (a down button is released by a click only with
// AllowAllUp). A DropDownMenu opens on the press instead of a click, marked
// by a small arrow (boPopupMark). With boIconOnly no caption is drawn and
// the caption, without its accelerator marks, becomes the hint.
//
// The grey picture is made from Bitmap (its top-left colour is transparent
// and kept) whenever Bitmap, NoFocusBitmap or ShadingType change or loading
// ends, while NoFocusBitmap is empty. Pictures are drawn transparently, the
// colour of their top-left pixel being transparent. A click fires on the
// release of the left button inside the button; Alt and the caption's
// accelerator press and release it as the mouse would.
#pragma once

#include <functional>
#include <memory>

#include "platform/controls/Controls.h"
#include "platform/controls/Menus.h"
#include "platform/controls/StdCtrls.h"
#include "platform/graphics/Bitmap.h"

enum TExplorerButtonLayout { blBitmapTop, blBitmapBottom, blBitmapLeft, blBitmapRight };
enum TExplorerButtonOption : unsigned { boMonoDisplay = 1, boIconOnly = 2, boPopupMark = 4, boShowBevel = 8 };
using TExplorerButtonOptions = unsigned;
enum TExplorerButtonShadingType { stLight, stMedium, stDark };

class TExplorerButton : public TGraphicControl {
public:
  explicit TExplorerButton(TComponent* AOwner);
  ~TExplorerButton() override;
  AnsiString ClassName() const override { return "TExplorerButton"; }
  bool PublishesCaption() const override { return true; }

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  bool AllowAllUp() const { return FAllowAllUp; }
  // Copied to the other buttons of the group.
  void SetAllowAllUp(bool Value);
  TBevelStyle BevelStyle() const { return FBevelStyle; }
  void SetBevelStyle(TBevelStyle Value);
  // The pictures; changing them through these setters repaints.
  TBitmap* Bitmap() { return &FBitmap; }
  void SetBitmap(const TBitmap& Value);
  TBitmap* NoFocusBitmap() { return &FNoFocusBitmap; }
  void SetNoFocusBitmap(const TBitmap& Value);
  TBitmap* DisabledBitmap() { return &FDisabledBitmap; }
  void SetDisabledBitmap(const TBitmap& Value);
  // The generated grey picture.
  const TBitmap& MonoBitmap() const { return FMonoBitmap; }
  bool Down() const { return FDown; }
  // No effect without a GroupIndex; going down releases the group's other
  // down button.
  void SetDown(bool Value);
  TPopupMenu* DropDownMenu() const { return FDropDownMenu; }
  void SetDropDownMenu(TPopupMenu* Value);
  int GroupIndex() const { return FGroupIndex; }
  // 0 releases a down button.
  void SetGroupIndex(int Value);
  TExplorerButtonLayout Layout() const { return FLayout; }
  void SetLayout(TExplorerButtonLayout Value);
  TExplorerButtonOptions Options() const { return FOptions; }
  void SetOptions(TExplorerButtonOptions Value);
  TExplorerButtonShadingType ShadingType() const { return FShadingType; }
  void SetShadingType(TExplorerButtonShadingType Value);
  bool ShowDownPattern() const { return FShowDownPattern; }
  void SetShowDownPattern(bool Value);
  TColor UnselectedFontColor() const { return FUnselectedFontColor; }
  void SetUnselectedFontColor(TColor Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  // Clears the pressed and mouse-inside state (and Down outside a group).
  void SetEnabled(bool Value) override;

  // Where the picture (including the room for the arrow mark) and the
  // caption are placed in the button's current state.
  void GetLayoutRects(TRect& Picture, TRect& Caption);
  bool MouseInside() const { return FMouseInside; }

  TNotifyEvent OnEnter, OnExit;

  void WndProc(TMessage& Message) override;
  void Loaded() override;

protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool ClicksOnMouseUp() const override { return false; }
  void TextChanged() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  struct TPlacement {
    TRect Picture;
    TRect Caption;
    bool ShowMark = false;
  };
  TPlacement Place(TCanvas& Canvas);
  TSize MeasureCaption(TCanvas& Canvas);
  unsigned TextFlags() const;
  bool HasCaption() const;
  bool ShowsMark() const;
  void PaintNormal(TCanvas& Canvas, const TPlacement& Place);
  void PaintSunk(TCanvas& Canvas, const TPlacement& Place);
  void PaintDisabled(TCanvas& Canvas, const TPlacement& Place);
  void PaintBevel(TCanvas& Canvas, bool Sunk);
  void PaintCaption(TCanvas& Canvas, TRect Rect);
  void PaintArrowMark(TCanvas& Canvas, int X, int Y);
  const TBitmap* UnfocusedPicture() const;
  void PicturesChanged();
  void DropDown();
  void PressByAccelerator();
  void ForEachInGroup(const std::function<void(TExplorerButton*)>& Action);
  void SetMouseInside(bool Value);
  bool CursorInside() const;

  TAlignment FAlignment = taCenter;
  bool FAllowAllUp = false;
  TBevelStyle FBevelStyle = bsRaised;
  TBitmap FBitmap;
  TBitmap FNoFocusBitmap;
  TBitmap FDisabledBitmap;
  TBitmap FMonoBitmap;
  bool FDown = false;
  TPopupMenu* FDropDownMenu = nullptr;
  int FGroupIndex = 0;
  TExplorerButtonLayout FLayout = blBitmapTop;
  TExplorerButtonOptions FOptions = boMonoDisplay | boPopupMark | boShowBevel;
  TExplorerButtonShadingType FShadingType = stMedium;
  bool FShowDownPattern = true;
  TColor FUnselectedFontColor = clWindowText;
  bool FWordWrap = false;
  bool FMouseInside = false;
  bool FPressed = false;
  // Cleared on destruction; a drop-down menu's loop checks it.
  std::shared_ptr<bool> FAlive;
};

// The grey picture of a bitmap for a shading type (see TExplorerButton).
void MakeMonoBitmap(const TBitmap& Source, TExplorerButtonShadingType Shading, TBitmap& Mono);
