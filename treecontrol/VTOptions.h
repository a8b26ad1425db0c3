// The option sets of a tree (TCustomVirtualTreeOptions and the string tree's
// variants). Reading an option is a membership test; assigning a set on a
// live tree applies the change at once (repaint, selection reset, focused
// column, themed state, drop-target registration, repaint on resize). An
// unchanged assignment does nothing.
#pragma once

#include <cstdint>

#include "treecontrol/VTTypes.h"

enum TVTPaintOption : uint8_t {
  toHideFocusRect, toHideSelection, toHotTrack, toPopupMode, toShowBackground, toShowButtons,
  toShowDropmark, toShowHorzGridLines, toShowRoot, toShowTreeLines, toShowVertGridLines,
  toThemeAware, toUseBlendedImages, toGhostedIfUnfocused, toFullVertGridLines,
  toAlwaysHideSelection, toUseBlendedSelection, toStaticBackground
};
using TVTPaintOptions = TEnumSet<TVTPaintOption, uint32_t>;

enum TVTAnimationOption : uint8_t { toAnimatedToggle };
using TVTAnimationOptions = TEnumSet<TVTAnimationOption, uint8_t>;

enum TVTAutoOption : uint8_t {
  toAutoDropExpand, toAutoExpand, toAutoScroll, toAutoScrollOnExpand, toAutoSort,
  toAutoSpanColumns, toAutoTristateTracking, toAutoHideButtons, toAutoDeleteMovedNodes,
  toDisableAutoscrollOnFocus, toAutoChangeScale, toAutoFreeOnCollapse, toDisableAutoscrollOnEdit,
  toAutoBidiColumnOrdering
};
using TVTAutoOptions = TEnumSet<TVTAutoOption, uint16_t>;

enum TVTSelectionOption : uint8_t {
  toDisableDrawSelection, toExtendedFocus, toFullRowSelect, toLevelSelectConstraint,
  toMiddleClickSelect, toMultiSelect, toRightClickSelect, toSiblingSelectConstraint,
  toCenterScrollIntoView, toSimpleDrawSelection
};
using TVTSelectionOptions = TEnumSet<TVTSelectionOption, uint16_t>;

enum TVTMiscOption : uint8_t {
  toAcceptOLEDrop, toCheckSupport, toEditable, toFullRepaintOnResize, toGridExtensions,
  toInitOnSave, toReportMode, toToggleOnDblClick, toWheelPanning, toReadOnly,
  toVariableNodeHeight, toFullRowDrag
};
using TVTMiscOptions = TEnumSet<TVTMiscOption, uint16_t>;

enum TVTStringOption : uint8_t { toSaveCaptions, toShowStaticText, toAutoAcceptEditChange };
using TVTStringOptions = TEnumSet<TVTStringOption, uint8_t>;

constexpr TVTPaintOptions DefaultPaintOptions = TVTPaintOptions::FromBits(0x1B60);
constexpr TVTAutoOptions DefaultAutoOptions = TVTAutoOptions::FromBits(0x0149);
constexpr TVTMiscOptions DefaultMiscOptions = TVTMiscOptions::FromBits(0x01A9);
constexpr TVTStringOptions DefaultStringOptions = TVTStringOptions::FromBits(5);

class TBaseVirtualTree;

class TCustomVirtualTreeOptions : public TObject {
 public:
  explicit TCustomVirtualTreeOptions(TBaseVirtualTree* owner) : owner_(owner) {}
  AnsiString ClassName() const override { return "TCustomVirtualTreeOptions"; }

  TVTPaintOptions PaintOptions() const { return paint_; }
  TVTAnimationOptions AnimationOptions() const { return animation_; }
  TVTAutoOptions AutoOptions() const { return auto_; }
  TVTSelectionOptions SelectionOptions() const { return selection_; }
  TVTMiscOptions MiscOptions() const { return misc_; }
  void SetPaintOptions(TVTPaintOptions value);
  void SetAnimationOptions(TVTAnimationOptions value) { animation_ = value; }
  void SetAutoOptions(TVTAutoOptions value);
  void SetSelectionOptions(TVTSelectionOptions value);
  void SetMiscOptions(TVTMiscOptions value);
  // Copies every set through the destination's setters.
  virtual void AssignTo(TCustomVirtualTreeOptions& dest) const;
  TBaseVirtualTree* Owner() const { return owner_; }

 protected:
  bool OwnerIsLive() const;

 private:
  TBaseVirtualTree* owner_;
  TVTPaintOptions paint_ = DefaultPaintOptions;
  TVTAnimationOptions animation_;
  TVTAutoOptions auto_ = DefaultAutoOptions;
  TVTSelectionOptions selection_;
  TVTMiscOptions misc_ = DefaultMiscOptions;
};

class TCustomStringTreeOptions : public TCustomVirtualTreeOptions {
 public:
  using TCustomVirtualTreeOptions::TCustomVirtualTreeOptions;
  AnsiString ClassName() const override { return "TCustomStringTreeOptions"; }
  TVTStringOptions StringOptions() const { return string_; }
  void SetStringOptions(TVTStringOptions value) { string_ = value; }
  void AssignTo(TCustomVirtualTreeOptions& dest) const override;

 private:
  TVTStringOptions string_ = DefaultStringOptions;
};

class TStringTreeOptions : public TCustomStringTreeOptions {
 public:
  using TCustomStringTreeOptions::TCustomStringTreeOptions;
  AnsiString ClassName() const override { return "TStringTreeOptions"; }
};
