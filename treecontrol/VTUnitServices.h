// Process-wide services every tree shares: the registry of clipboard formats
// trees can offer, the tree error with its codes, the wide-text drawing and
// shortening routines, the check-box image sets and the one-time set-up the
// first tree runs. Format numbers come from the platform clipboard.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Cursors.h"
#include "platform/graphics/ImageList.h"
#include "treecontrol/VTTypes.h"

class TBaseVirtualTree;

// The system's format description record (number, device, aspect, page, medium).
struct TFormatEtc {
  uint16_t cfFormat = 0;
  void* ptd = nullptr;
  uint32_t dwAspect = 1;
  int32_t lindex = -1;
  uint32_t tymed = 1;
};

struct TClipboardFormatEntry {
  AnsiString Description;
  AnsiString TreeClass;
  uint32_t Priority = 0;
  TFormatEtc FormatEtc;
};

class TClipboardFormatList : public TObject {
 public:
  AnsiString ClassName() const override { return "TClipboardFormatList"; }
  void AddFormat(TClipboardFormatEntry entry);
  void ClearFormats() { entries_.clear(); }
  // The formats offered by a tree (ascending priority), optionally only the
  // names in allowed.
  std::vector<TFormatEtc> EnumerateTreeFormats(const TBaseVirtualTree& tree,
                                               const std::vector<AnsiString>* allowed = nullptr) const;
  // The tree class the name is registered for (the last registration wins,
  // case-insensitively); empty when unknown.
  AnsiString FindFormatByName(const AnsiString& description, uint16_t& format) const;
  int Count() const { return int(entries_.size()); }

 private:
  void SortByPriority();
  std::vector<TClipboardFormatEntry> entries_;
};

// The global list (created on the first registration).
TClipboardFormatList* ClipboardFormatList();
uint16_t RegisterTreeClipboardFormat(const AnsiString& description, const AnsiString& treeClass,
                                     uint32_t priority, uint32_t tymed = 1, void* ptd = nullptr,
                                     uint32_t aspect = 1, int32_t lindex = -1);
// A standard format number (1..16 from the fixed table, nothing for others).
uint16_t RegisterTreeClipboardFormat(uint16_t format, const AnsiString& treeClass, uint32_t priority);
extern uint16_t ReferenceClipboardFormat;

[[noreturn]] void RaiseTreeError(const WideString& message, int code);

// The tree owning a node (follows Parent links up to the hidden root).
TBaseVirtualTree* GetTreeOfNode(PVirtualNode node);
TRect NormalizeRect(const TRect& r);
// value x m / d rounded to the nearest whole number (halves away from zero),
// so that scaling up and back gives the value again; value itself when d is 0.
int ScaleRounded(int value, int m, int d);
void SortCardinals(std::vector<uint32_t>& values, int l, int r);
// Draws (or with DT_CALCRECT measures) UTF-16 text line by line.
void DrawWideText(TCanvas* canvas, const WideString& text, TRect& bounds, unsigned flags, bool adjustRight);
// Shortens text to the width with "..." appended (always shortens).
WideString EllipsizeWideText(TCanvas* canvas, const WideString& text, int width, int ellipsisWidth = 0);
TColor ColorToImageListColor(TColor color);
bool DetectMmx();

extern bool MmxAvailable;
bool TreeGlobalsInitialized();
void InitializeTreeGlobals();
void FinalizeTreeGlobals();
// The shared check image list of a kind (nullptr for ckCustom), 25 images:
// 0 blank; 1 to 4 radio button unchecked (normal, hot, pressed, disabled),
// 5 to 8 checked; 9 to 12 check box unchecked, 13 to 16 checked, 17 to 20
// mixed; 21 to 24 push button (normal, hot, pressed, disabled).
TImageList* SharedCheckImages(int kind);
// The tree's utility images: the header's hot bar (left, middle, right piece).
TImageList* UtilityImages();
// Fills list with the square images of the named strip (VT_CHECK_LIGHT,
// VT_CHECK_DARK, VT_TICK_LIGHT, VT_TICK_DARK, VT_FLAT, VT_XP, VT_UTILITIES),
// transparent where the strip's top-left colour is; with mapColors white,
// silver and grey become the window, button face and button shadow colours.
// An unknown name fails an assertion.
void LoadImageStrip(TImageList& list, const AnsiString& resourceName, bool mapColors);
// A check image set drawn by the desktop's visual style (the system's check
// boxes and radio buttons; flat: without hot and pressed shading).
void BuildSystemCheckImages(std::unique_ptr<TImageList>& list, bool flat);
// The screen cursor slot of the header splitter's cursor.
constexpr TCursor HeaderSplitCursor = 63;
// The rectangles a drag image needs to move its picture of width x height
// by (deltaX, deltaY): clip and scroll for the picture's own bitmap, and the
// strips (as rectangles) to sample from the screen before and to draw after;
// outputs a case does not use are left unchanged.
void ComputeDragRects(int dragWidth, int dragHeight, int deltaX, int deltaY, TRect& clip, TRect& scroll,
                      TRect& firstSample, TRect& secondSample, TRect& firstDraw, TRect& secondDraw);
