// Small objects a tree owns and publishes: TScrollBarOptions (which scroll
// bars, always visible, increments), TVTColors (the fifteen colours of the
// tree's painting; a new BorderColor repaints only the window's frame),
// TClipboardFormats (the names of the clipboard formats the tree offers; only
// names registered for the tree's class) and TVTBevel (the bevel and border
// between the window's frame and the client area).
#pragma once

#include <cstdint>

#include "platform/controls/StdCtrls.h"
#include "platform/graphics/Colors.h"
#include "platform/rtl/Classes.h"
#include "treecontrol/VTTypes.h"

class TBaseVirtualTree;

enum TScrollBarStyle { sbmRegular, sbmFlat, sbm3D };

class TScrollBarOptions : public TObject {
 public:
  explicit TScrollBarOptions(TBaseVirtualTree* owner) : owner_(owner) {}
  AnsiString ClassName() const override { return "TScrollBarOptions"; }
  bool AlwaysVisible() const { return alwaysVisible_; }
  void SetAlwaysVisible(bool value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  TScrollBarStyle ScrollBarStyle() const { return style_; }
  // Only sbmRegular is accepted; other styles fail an assertion.
  void SetScrollBarStyle(TScrollBarStyle value);
  int HorizontalIncrement() const { return horizontalIncrement_; }
  void SetHorizontalIncrement(int value) { horizontalIncrement_ = uint16_t(value); }
  int VerticalIncrement() const { return verticalIncrement_; }
  void SetVerticalIncrement(int value) { verticalIncrement_ = uint16_t(value); }
  void Assign(const TScrollBarOptions& source);

 private:
  void Changed();
  TBaseVirtualTree* owner_;
  bool alwaysVisible_ = false;
  TScrollStyle scrollBars_ = ssBoth;
  TScrollBarStyle style_ = sbmRegular;
  uint16_t horizontalIncrement_ = 20;
  uint16_t verticalIncrement_ = 20;
};

enum TVTColorIndex {
  DisabledColorIndex, DropMarkColorIndex, DropTargetColorIndex, FocusedSelectionColorIndex,
  GridLineColorIndex, TreeLineColorIndex, UnfocusedSelectionColorIndex, BorderColorIndex,
  HotColorIndex, FocusedSelectionBorderColorIndex, UnfocusedSelectionBorderColorIndex,
  DropTargetBorderColorIndex, SelectionRectangleBlendColorIndex,
  SelectionRectangleBorderColorIndex, HeaderHotColorIndex, VTColorCount
};

class TVTColors : public TObject {
 public:
  explicit TVTColors(TBaseVirtualTree* owner);
  AnsiString ClassName() const override { return "TVTColors"; }
  TColor Color(TVTColorIndex index) const { return colors_[index]; }
  void SetColor(TVTColorIndex index, TColor value);
  TColor DisabledColor() const { return colors_[DisabledColorIndex]; }
  TColor DropMarkColor() const { return colors_[DropMarkColorIndex]; }
  TColor DropTargetColor() const { return colors_[DropTargetColorIndex]; }
  TColor FocusedSelectionColor() const { return colors_[FocusedSelectionColorIndex]; }
  TColor GridLineColor() const { return colors_[GridLineColorIndex]; }
  TColor TreeLineColor() const { return colors_[TreeLineColorIndex]; }
  TColor UnfocusedSelectionColor() const { return colors_[UnfocusedSelectionColorIndex]; }
  TColor BorderColor() const { return colors_[BorderColorIndex]; }
  TColor HotColor() const { return colors_[HotColorIndex]; }
  TColor FocusedSelectionBorderColor() const { return colors_[FocusedSelectionBorderColorIndex]; }
  TColor UnfocusedSelectionBorderColor() const { return colors_[UnfocusedSelectionBorderColorIndex]; }
  TColor DropTargetBorderColor() const { return colors_[DropTargetBorderColorIndex]; }
  TColor SelectionRectangleBlendColor() const { return colors_[SelectionRectangleBlendColorIndex]; }
  TColor SelectionRectangleBorderColor() const { return colors_[SelectionRectangleBorderColorIndex]; }
  TColor HeaderHotColor() const { return colors_[HeaderHotColorIndex]; }
  void Assign(const TVTColors& source);

 private:
  TBaseVirtualTree* owner_;
  TColor colors_[VTColorCount];
};

class TClipboardFormats : public TStringList {
 public:
  explicit TClipboardFormats(TBaseVirtualTree* owner);
  AnsiString ClassName() const override { return "TClipboardFormats"; }
  // Adds a name registered for the owner's class; -1 (and nothing added) otherwise.
  int AddFormat(const AnsiString& name);
  void InsertFormat(int index, const AnsiString& name);
  TBaseVirtualTree* Owner() const { return owner_; }

 private:
  bool Accepts(const AnsiString& name) const;
  TBaseVirtualTree* owner_;
};

enum TBevelKind { bkNone, bkTile, bkSoft, bkFlat };
enum TBevelEdge : uint8_t { beLeft, beTop, beRight, beBottom };
using TBevelEdges = TEnumSet<TBevelEdge, uint8_t>;

// The bevel (an inner and an outer cut, each Width pixels on every edge in
// Edges, drawn only with a Kind other than bkNone) and the BorderWidth ring
// filled with the BorderColor, from the frame inwards.
struct TVTBevel {
  TBevelKind Kind = bkNone;
  TPanelBevel Inner = bvRaised;
  TPanelBevel Outer = bvLowered;
  TBevelEdges Edges = {beLeft, beTop, beRight, beBottom};
  int Width = 1;
  int BorderWidth = 0;
  bool Ctl3D = true;
  // The room bevel and ring take at each side, as widths in a rectangle.
  TRect Sizes() const;
  bool operator==(const TVTBevel&) const = default;
};
