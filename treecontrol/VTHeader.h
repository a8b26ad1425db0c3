// The header of a tree and its columns. TVirtualTreeColumn is one column
// (caption, width within its limits, display position, options, colour);
// TVirtualTreeColumns is the collection with its display order (position to
// index), hit tests and left edges; TVTHeader owns the columns, knows the
// main and sort columns and handles the mouse in the header band, which lies
// in the tree window's non-client area above the client area. A tree without
// columns works with the single pseudo-column -1.
#pragma once

#include <memory>
#include <vector>

#include "platform/controls/Controls.h"
#include "platform/graphics/ImageList.h"
#include "treecontrol/VTTypes.h"

class TBaseVirtualTree;
class TVirtualTreeColumn;
class TVirtualTreeColumns;
class TVTHeader;
class TPopupMenu;

enum TVTColumnOption : uint8_t {
  coAllowClick, coDraggable, coEnabled, coParentBidiMode, coParentColor, coResizable,
  coShowDropMark, coVisible, coAutoSpring, coFixed
};
using TVTColumnOptions = TEnumSet<TVTColumnOption, uint16_t>;
constexpr TVTColumnOptions DefaultColumnOptions = TVTColumnOptions::FromBits(0xFF);

enum TVirtualTreeColumnStyle { vsText, vsOwnerDraw };
enum TVTHeaderColumnLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

enum TVTHeaderOption : uint8_t {
  hoAutoResize, hoColumnResize, hoDblClickResize, hoDrag, hoHotTrack, hoOwnerDraw, hoRestrictDrag,
  hoShowHint, hoShowImages, hoShowSortGlyphs, hoVisible, hoAutoSpring
};
using TVTHeaderOptions = TEnumSet<TVTHeaderOption, uint16_t>;
enum TVTHeaderStyle { hsThickButtons, hsFlatButtons, hsPlates, hsXPStyle };

// The parts of a header button an owner-drawing application may paint
// itself (hoOwnerDraw with OnHeaderDrawQueryElements and
// OnAdvancedHeaderDraw); the header paints the parts it is not asked for.
enum THeaderPaintElement : uint8_t { hpeBackground, hpeHeaderGlyph, hpeSortGlyph, hpeText };
using THeaderPaintElements = TEnumSet<THeaderPaintElement, uint8_t>;

// One header button as the header lays it out: its rectangle, the caption's
// rectangle and where the glyph and the sort glyph go. Column is null for
// the band right of the last column.
struct THeaderPaintInfo {
  TCanvas* TargetCanvas = nullptr;
  TVirtualTreeColumn* Column = nullptr;
  TRect PaintRectangle;
  TRect TextRectangle;
  bool IsHoverIndex = false;
  bool IsDownIndex = false;
  bool IsEnabled = true;
  bool ShowHeaderGlyph = false;
  bool ShowSortGlyph = false;
  TPoint GlyphPos;
  TPoint SortGlyphPos;
};

// Header states.
enum : uint8_t { hsDragging = 2, hsDragPending = 4, hsLoading = 8, hsTracking = 16, hsTrackPending = 32 };

class TVirtualTreeColumn : public TObject {
 public:
  explicit TVirtualTreeColumn(TVirtualTreeColumns* owner);
  ~TVirtualTreeColumn() override;
  AnsiString ClassName() const override { return "TVirtualTreeColumn"; }

  int Index() const { return index_; }
  const WideString& Text() const { return text_; }
  void SetText(const WideString& value);
  const WideString& Hint() const { return hint_; }
  void SetHint(const WideString& value) { hint_ = value; }
  int Width() const { return width_; }
  void SetWidth(int value);
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int value);
  int MaxWidth() const { return maxWidth_; }
  void SetMaxWidth(int value);
  TColumnPosition Position() const { return position_; }
  void SetPosition(TColumnPosition value);
  TVirtualTreeColumnStyle Style() const { return style_; }
  void SetStyle(TVirtualTreeColumnStyle value) { style_ = value; Changed(false); }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value) { imageIndex_ = value; Changed(false); }
  TBiDiMode BiDiMode() const { return biDiMode_; }
  void SetBiDiMode(TBiDiMode value);
  TVTHeaderColumnLayout Layout() const { return layout_; }
  void SetLayout(TVTHeaderColumnLayout value) { layout_ = value; Changed(false); }
  int Margin() const { return margin_; }
  void SetMargin(int value) { margin_ = value < 0 ? 4 : value; Changed(false); }
  int Spacing() const { return spacing_; }
  void SetSpacing(int value) { spacing_ = value; Changed(false); }
  TVTColumnOptions Options() const { return options_; }
  void SetOptions(TVTColumnOptions value);
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t value) { tag_ = value; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);

  int Left() const { return left_; }
  int LastWidth() const { return lastWidth_; }
  // The caption, or "Column %d" when it holds a character above 255.
  AnsiString GetDisplayName() const;
  // Left edge for painting: scrolled unless the column is a visible fixed one.
  int GetRect_Left() const;
  bool Equals(const TVirtualTreeColumn& other) const;
  void Assign(const TVirtualTreeColumn& source);
  void RestoreLastWidth();
  TVirtualTreeColumns* Owner() const { return owner_; }

 private:
  friend class TVirtualTreeColumns;
  friend class TVTHeader;
  void Changed(bool all);
  TBaseVirtualTree* Tree() const;

  TVirtualTreeColumns* owner_;
  int index_ = 0;
  WideString text_, hint_;
  int width_ = 50;
  int minWidth_ = 10;
  int maxWidth_ = 10000;
  TColumnPosition position_ = 0;
  TVirtualTreeColumnStyle style_ = vsText;
  int imageIndex_ = -1;
  TBiDiMode biDiMode_ = bdLeftToRight;
  TVTHeaderColumnLayout layout_ = blGlyphLeft;
  int margin_ = 4;
  int spacing_ = 4;
  TVTColumnOptions options_ = DefaultColumnOptions;
  intptr_t tag_ = 0;
  TAlignment alignment_ = taLeftJustify;
  TColor color_ = clWindow;
  int left_ = 0;
  int lastWidth_ = 50;
  double springRest_ = 0;
};

class TVirtualTreeColumns : public TObject {
 public:
  explicit TVirtualTreeColumns(TVTHeader* header);
  ~TVirtualTreeColumns() override;
  AnsiString ClassName() const override { return "TVirtualTreeColumns"; }

  int Count() const { return int(items_.size()); }
  TVirtualTreeColumn* Items(TColumnIndex index) const;
  TVirtualTreeColumn* operator[](TColumnIndex index) const { return Items(index); }
  TVirtualTreeColumn* Add();
  void Delete(TColumnIndex index);
  void Clear();
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  bool IsValidColumn(TColumnIndex column) const { return column >= 0 && column < Count(); }

  TColumnIndex ColumnFromPosition(TColumnPosition position) const;
  // The column under a point of the header band / client area; -2 outside.
  TColumnIndex ColumnFromPoint(TPoint p, bool relative = true) const;
  TColumnIndex GetFirstVisibleColumn() const;
  TColumnIndex GetLastVisibleColumn() const;
  TColumnIndex GetNextColumn(TColumnIndex column) const;
  TColumnIndex GetPreviousColumn(TColumnIndex column) const;
  TColumnIndex GetNextVisibleColumn(TColumnIndex column) const;
  TColumnIndex GetPreviousVisibleColumn(TColumnIndex column) const;
  std::vector<TColumnIndex> GetVisibleColumns() const;
  int GetVisibleFixedWidth() const;
  // Scrolled left and right edges of a column (0 and the client width for -1).
  void GetColumnBounds(TColumnIndex column, int& left, int& right) const;
  int TotalWidth() const;
  void AdjustAutoSize(bool force = false);
  void AnimatedResize(TColumnIndex column, int newWidth);
  void UpdatePositions(bool force = false);
  void InitializePositionArray();
  // Display order by index: ascending, or descending for right-to-left.
  void ResetPositionArray(bool rightToLeft);
  // Columns with coParentBidiMode take the tree's reading order.
  void TreeBiDiModeChanged();
  void Assign(const TVirtualTreeColumns& source);
  bool Equals(const TVirtualTreeColumns& other) const;
  TVTHeader* Header() const { return header_; }
  // Paints the header buttons into canvas at the band rectangle r.
  void PaintHeader(TCanvas* canvas, const TRect& r, int horizontalOffset);
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream, int version);

  // Mouse tracking indexes (-1 when idle).
  TColumnIndex HoverIndex = NoColumn, DownIndex = NoColumn, TrackIndex = NoColumn,
               ClickIndex = NoColumn, DropTarget = NoColumn;
  bool DropBefore = false;

  // A column was added, removed or changed.
  void Update(TVirtualTreeColumn* item);
  // Whether the hover column changed for the point (band coordinates).
  bool DetermineHoverIndex(TPoint p);
  void HandleClick(TPoint p, TMouseButton button, bool dblClick, bool force);

 private:
  friend class TVirtualTreeColumn;
  void ColumnDestroying(TVirtualTreeColumn* column);
  void Reindex();
  THeaderPaintInfo ButtonLayout(TCanvas* canvas, TVirtualTreeColumn* column, const TRect& r) const;
  // The elements the application paints itself (empty unless it draws the
  // header through the advanced events).
  THeaderPaintElements OwnerPaintedElements(THeaderPaintInfo& info) const;
  void PaintButton(TCanvas* canvas, TVirtualTreeColumn* column, const TRect& r);
  void PaintCaption(TCanvas* canvas, TVirtualTreeColumn* column, const THeaderPaintInfo& info);
  void PaintBand(TCanvas* canvas, const TRect& band);

  TVTHeader* header_;
  std::vector<std::unique_ptr<TVirtualTreeColumn>> items_;
  std::vector<TColumnIndex> positionToIndex_;
  int updateCount_ = 0;
  bool clearing_ = false;
};

class TVTHeader : public TObject {
 public:
  explicit TVTHeader(TBaseVirtualTree* owner);
  ~TVTHeader() override;
  AnsiString ClassName() const override { return "TVTHeader"; }

  TBaseVirtualTree* Treeview() const { return owner_; }
  TVirtualTreeColumns& Columns() { return *columns_; }
  const TVirtualTreeColumns& Columns() const { return *columns_; }
  int Height() const { return height_; }
  void SetHeight(int value);
  TFont& Font() { return font_; }
  // Takes the font's values; the header no longer follows the tree's font.
  void SetFont(const TFont& value);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);
  TVTHeaderOptions Options() const { return options_; }
  void SetOptions(TVTHeaderOptions value);
  TVTHeaderStyle Style() const { return style_; }
  void SetStyle(TVTHeaderStyle value);
  TColor Background() const { return background_; }
  void SetBackground(TColor value);
  TColumnIndex AutoSizeIndex() const { return autoSizeIndex_; }
  void SetAutoSizeIndex(TColumnIndex value);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }
  TColumnIndex MainColumn() const;
  void SetMainColumn(TColumnIndex value);
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* value);
  TColumnIndex SortColumn() const { return sortColumn_; }
  void SetSortColumn(TColumnIndex value);
  TSortDirection SortDirection() const { return sortDirection_; }
  void SetSortDirection(TSortDirection value);
  uint8_t States() const { return states_; }

  bool UseColumns() const { return columns_->Count() > 0; }
  // The header band's visible height (0 without hoVisible).
  int BandHeight() const;
  virtual bool DetermineSplitterIndex(TPoint p);
  virtual bool HandleMessage(TMessage& message);
  // The cursor over the header band (split cursor over a splitter); false
  // when the header has no say (outside the band).
  bool HeaderCursor(TCursor& cursor);
  virtual void RecalculateHeader();
  virtual void Invalidate(TColumnIndex column = InvalidColumn, bool expandToBorder = false);
  // Whether a client point (negative Y: above the client area) lies in the band.
  virtual bool InHeader(TPoint p) const;
  virtual void SaveToStream(TStream& stream) const;
  virtual void LoadFromStream(TStream& stream);
  void AutoFitColumns(bool animated = false);
  void RestoreColumns();
  void Assign(const TVTHeader& source);
  // Fits the spring columns after the tree's width changed.
  void ResizeSpring();
  void ChangeScale(int m, int d);

  // Internal: the header's own states and press points.
  int TrackStart = 0;
  TPoint DragStart;
  TColumnIndex DragColumn = NoColumn;

 private:
  void ApplyHeaderMouseMove(TPoint client);
  void StopHeaderTimer();
  // The mouse left the header band or the pressed column: hover and press end.
  bool HandleHeaderTimer();
  // A right click in the band: the click, then the header's popup menu.
  bool HandleRightUp(TPoint client, TPoint screen, TShiftState shift);
  bool HandleLeftUp(TMessage& message, bool nonClient);
  TPoint ClientPointOf(const TMessage& message) const;
  TPoint BandPoint(TPoint client) const;
  // Ends any drag or track of a column (pending or running) and repaints.
  void CancelDragAndTrack();

  TBaseVirtualTree* owner_;
  std::unique_ptr<TVirtualTreeColumns> columns_;
  int height_ = 17;
  TFont font_;
  bool parentFont_ = false;
  TVTHeaderOptions options_{hoColumnResize, hoDrag};
  uint8_t states_ = 0;
  TVTHeaderStyle style_ = hsThickButtons;
  TColor background_ = clBtnFace;
  TColumnIndex autoSizeIndex_ = 0;
  TPopupMenu* popupMenu_ = nullptr;
  TColumnIndex mainColumn_ = NoColumn;
  TImageList* images_ = nullptr;
  TColumnIndex sortColumn_ = NoColumn;
  TSortDirection sortDirection_ = sdAscending;
  int lastWidth_ = 0;
};
