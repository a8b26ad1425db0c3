// TBaseVirtualTree: a self-painted tree list control that holds no texts of
// its own. Every node is a small fixed record made zeroed and on demand;
// what the application shows is asked for through events when a node is
// first touched (initialised), painted, measured or compared, so a tree can
// hold millions of nodes of which only those on screen were initialised.
//
// Contract
// - Nodes come into being only through child counts (RootNodeCount,
//   SetChildCount, OnInitChildren); the hidden root is never handed out.
// - Every structural change halts the shared validation thread first; the
//   position cache is an acceleration only (see VTWorkerThread.h).
// - Events are method pointers; every event goes through a virtual Do*
//   dispatcher that sets the default answer and calls the handler only when
//   it is assigned.
// - Assertions (EAssertionFailed) report broken caller contracts; run-time
//   errors of the tree are EVirtualTreeError with codes 2000 to 2007.
// The string tree (texts, editing) is in VirtualStringTree.h.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "platform/controls/Controls.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/ImageList.h"
#include "platform/ole/ObjIdl.h"
#include "treecontrol/VTHeader.h"
#include "treecontrol/VTNodePool.h"
#include "treecontrol/VTMiscObjects.h"
#include "treecontrol/VTOptions.h"
#include "treecontrol/VTTypes.h"

class TBaseVirtualTree;
class TPopupMenu;
class IVTDragManager;
class TVTDragImage;

// Posted by a paint that met rows wider than the horizontal range.
constexpr UINT CM_UPDATEHORZSCROLLBAR = 0x8000 + 33;

enum TVTNodeAlignment { naFromBottom, naFromTop, naProportional };
enum TVTButtonStyle { bsRectangle, bsTriangle };
enum TVTButtonFillMode { fmTreeColor, fmWindowColor, fmShaded, fmTransparent };
enum TVTLineStyle { lsCustomStyle, lsDotted, lsSolid };
enum TVTLineMode { lmNormal, lmBands };
enum TCheckImageKind { ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick, ckFlat, ckXP, ckCustom,
                       ckSystem, ckSystemFlat };
enum TVTDrawSelectionMode { smDottedRectangle, smBlendedRectangle };
enum TVTIncrementalSearch { isAll, isNone, isInitializedOnly, isVisibleOnly };
enum TVTSearchDirection { sdForward, sdBackward };
enum TVTSearchStart { ssAlwaysStartOver, ssLastHit, ssFocusedNode };
enum TVTDragImageKind { diComplete, diMainColumnOnly, diNoImage };
enum TVTDragType { dtOLE, dtVCL };
enum TDragOperation : uint8_t { doCopy, doMove, doLink };
using TDragOperations = TEnumSet<TDragOperation, uint8_t>;
enum THintAnimationType { hatNone, hatFade, hatSlide, hatSystemDefault };
enum TVTHintMode { hmDefault, hmHint, hmHintAndDefault, hmTooltip };
enum TItemEraseAction { eaColor, eaDefault, eaNone };

// Bits of a PaintTree call.
enum TVTInternalPaintOption : uint8_t { poBackground, poColumnColor, poDrawFocusRect, poDrawSelection,
                                        poDrawDropMark, poGridLines, poMainOnly, poSelectedOnly };
using TVTInternalPaintOptions = TEnumSet<TVTInternalPaintOption, uint8_t>;
constexpr TVTInternalPaintOptions DefaultPaintTreeOptions = TVTInternalPaintOptions::FromBits(0x3F);

// Line images of one indent level.
enum TVTLineType : uint8_t { ltNone, ltBottomRightCorner, ltTopDown, ltTopDownRight, ltRight,
                             ltTopRight, ltLeft, ltLeftBottom };

// Where an image of a cell lies while painting.
struct TVTImageInfo {
  int Index = -1;
  TImageList* Images = nullptr;
  bool Ghosted = false;
  int XPos = 0;
  int YPos = 0;
};

// What the element painters get for one cell.
struct TVTPaintInfo {
  TCanvas* Canvas = nullptr;
  TBitmap* RowBitmap = nullptr;  // the row being composed (null when painting elsewhere)
  int WindowLeft = 0;            // tree x of the row bitmap's first pixel
  TVTInternalPaintOptions PaintOptions;
  PVirtualNode Node = nullptr;
  TColumnIndex Column = NoColumn;
  bool IsMainColumn = true;
  TRect CellRect;
  TRect ContentRect;
  int NodeWidth = 0;
  TAlignment Alignment = taLeftJustify;
  TBiDiMode BidiMode = bdLeftToRight;
  TVTImageInfo ImageInfo[4];  // check, state, normal, overlay
  int Level = 0;
  std::vector<TVTLineType> LineImage;
};

// The in-place editor a string tree uses (Part of the string tree).
class IVTEditLink {
 public:
  virtual ~IVTEditLink() = default;
  virtual bool BeginEdit() = 0;
  virtual bool CancelEdit() = 0;
  virtual bool EndEdit() = 0;
  virtual bool PrepareEdit(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column) = 0;
  virtual TRect GetBounds() = 0;
  virtual void SetBounds(const TRect& r) = 0;
  virtual void ProcessMessage(TMessage& message) = 0;
};
using IVTEditLinkPtr = std::shared_ptr<IVTEditLink>;

// Events.
using TVTChangeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node)>;
using TVTChangingEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, bool& Allowed)>;
using TVTCheckChangingEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TCheckState& NewState, bool& Allowed)>;
using TVTStructureChangeEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TChangeReason Reason)>;
using TVTInitNodeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode ParentNode,
                                            PVirtualNode Node, TVirtualNodeInitStates& InitialStates)>;
using TVTInitChildrenEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, uint32_t& ChildCount)>;
using TVTFocusChangeEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column)>;
using TVTFocusChangingEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode OldNode, PVirtualNode NewNode,
                       TColumnIndex OldColumn, TColumnIndex NewColumn, bool& Allowed)>;
using TVTGetImageEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TVTImageKind Kind,
                                            TColumnIndex Column, bool& Ghosted, int& ImageIndex)>;
using TVTGetImageExEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TVTImageKind Kind, TColumnIndex Column,
                       bool& Ghosted, int& ImageIndex, TImageList*& ImageList)>;
using TVTCompareEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node1, PVirtualNode Node2,
                                           TColumnIndex Column, int& Result)>;
using TVTIncrementalSearchEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node,
                                                     const WideString& SearchText, int& Result)>;
using TVTKeyActionEvent =
    std::function<void(TBaseVirtualTree* Sender, uint16_t& CharCode, TShiftState& Shift, bool& DoDefault)>;
using TVTMeasureItemEvent =
    std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas, PVirtualNode Node, int& NodeHeight)>;
using TVTScrollEvent = std::function<void(TBaseVirtualTree* Sender, int DeltaX, int DeltaY)>;
using TVTStateChangeEvent =
    std::function<void(TBaseVirtualTree* Sender, TVirtualTreeStates Enter, TVirtualTreeStates Leave)>;
using TVTUpdatingEvent = std::function<void(TBaseVirtualTree* Sender, TVTUpdateState State)>;
using TVTGetNodeDataSizeEvent = std::function<void(TBaseVirtualTree* Sender, int& NodeDataSize)>;
using TVTHotNodeChangeEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode OldNode, PVirtualNode NewNode)>;
using TVTPaintEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas)>;
using TVTBeforeItemEraseEvent =
    std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas, PVirtualNode Node, TRect ItemRect,
                       TColor& ItemColor, TItemEraseAction& EraseAction)>;
using TVTAfterItemEraseEvent =
    std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas, PVirtualNode Node, TRect ItemRect)>;
using TVTBeforeItemPaintEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas,
                                                   PVirtualNode Node, TRect ItemRect, bool& CustomDraw)>;
using TVTAfterItemPaintEvent = TVTAfterItemEraseEvent;
using TVTBeforeCellPaintEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas,
                                                   PVirtualNode Node, TColumnIndex Column, TRect CellRect)>;
using TVTAfterCellPaintEvent = TVTBeforeCellPaintEvent;
using TVTBackgroundPaintEvent =
    std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas, TRect R, bool& Handled)>;
using TVTColumnClickEvent = std::function<void(TBaseVirtualTree* Sender, TColumnIndex Column, TShiftState Shift)>;
using TVTHeaderNotifyEvent = std::function<void(TVTHeader* Sender, TColumnIndex Column)>;
using TVTHeaderClickEvent = std::function<void(TVTHeader* Sender, TColumnIndex Column, TMouseButton Button,
                                               TShiftState Shift, int X, int Y)>;
using TVTHeaderMouseEvent =
    std::function<void(TVTHeader* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TVTHeaderMouseMoveEvent = std::function<void(TVTHeader* Sender, TShiftState Shift, int X, int Y)>;
using TVTHeaderDraggedEvent = std::function<void(TVTHeader* Sender, TColumnIndex Column, int OldPosition)>;
using TVTHeaderDraggedOutEvent =
    std::function<void(TVTHeader* Sender, TColumnIndex Column, TPoint DropPosition)>;
using TVTHeaderDraggingEvent = std::function<void(TVTHeader* Sender, TColumnIndex Column, bool& Allowed)>;
using TVTHeaderPaintEvent = std::function<void(TVTHeader* Sender, TCanvas* HeaderCanvas,
                                               TVirtualTreeColumn* Column, TRect R, bool Hover, bool Pressed)>;
using TVTHeaderPaintQueryElementsEvent =
    std::function<void(TVTHeader* Sender, THeaderPaintInfo& PaintInfo, THeaderPaintElements& Elements)>;
using TVTAdvancedHeaderPaintEvent =
    std::function<void(TVTHeader* Sender, THeaderPaintInfo& PaintInfo, THeaderPaintElements Elements)>;
using TVTGetCursorEvent = std::function<void(TBaseVirtualTree* Sender, TCursor& Cursor)>;
using TVTGetHeaderCursorEvent = std::function<void(TVTHeader* Sender, TCursor& Cursor)>;
using TVTPopupEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column,
                                         TPoint P, bool& AskParent, TPopupMenu*& PopupMenu)>;
using TVTDragAllowedEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column, bool& Allowed)>;
using TVTEditChangingEvent = TVTDragAllowedEvent;
using TVTEditChangeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column)>;
using TVTEditCancelEvent = std::function<void(TBaseVirtualTree* Sender, TColumnIndex Column)>;
using TVTCreateEditorEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node,
                                                TColumnIndex Column, IVTEditLinkPtr& EditLink)>;
using TVTNodeMovingEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, PVirtualNode Target, bool& Allowed)>;
using TVTHelpContextEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node,
                                               TColumnIndex Column, int& HelpContext)>;
using TVTGetLineStyleEvent = std::function<void(TBaseVirtualTree* Sender, const uint8_t*& Bits)>;
using TVTSaveNodeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TStream& Stream)>;
using TVTGetCellIsEmptyEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column, bool& IsEmpty)>;
using TVTScrollbarShowEvent = std::function<void(TBaseVirtualTree* Sender, int Bar, bool Show)>;
// An application's own drag manager (empty: the tree makes a TVTDragManager).
using TVTCreateDragManagerEvent =
    std::function<void(TBaseVirtualTree* Sender, TComPtr<IVTDragManager>& DragManager)>;
// Formats the tree's data objects offer after the registered ones.
using TVTGetUserClipboardFormatsEvent =
    std::function<void(TBaseVirtualTree* Sender, std::vector<FORMATETC>& Formats)>;

class TBaseVirtualTree : public TCustomControl {
 public:
  explicit TBaseVirtualTree(TComponent* owner);
  ~TBaseVirtualTree() override;
  AnsiString ClassName() const override { return "TBaseVirtualTree"; }
  // Whether this tree's class is or derives from the named tree class.
  virtual bool InheritsFromClass(const AnsiString& className) const;

  // ---- Node model -------------------------------------------------------
  PVirtualNode RootNode() const { return root_; }
  uint32_t RootNodeCount() const { return root_->ChildCount; }
  void SetRootNodeCount(uint32_t value);
  void SetChildCount(PVirtualNode node, uint32_t newCount);
  uint32_t ChildCount(PVirtualNode node) const { return (node ? node : root_)->ChildCount; }
  uint32_t TotalCount() const { return root_->TotalCount - 1; }
  uint32_t VisibleCount() const { return visibleCount_; }
  int NodeDataSize() const { return nodeDataSize_; }
  void SetNodeDataSize(int value);
  // The user data area of a node (nullptr without user data or for the root).
  void* GetNodeData(PVirtualNode node) const;
  template <class T>
  T* GetNodeDataAs(PVirtualNode node) const { return static_cast<T*>(GetNodeData(node)); }
  int DefaultNodeHeight() const { return defaultNodeHeight_; }
  void SetDefaultNodeHeight(int value);
  int Indent() const { return indent_; }
  void SetIndent(int value);
  int Margin() const { return margin_; }
  void SetMargin(int value);
  int TextMargin() const { return textMargin_; }
  void SetTextMargin(int value);
  PVirtualNode GetNodeParent(PVirtualNode node) const;
  int NodeHeightOf(PVirtualNode node);
  void SetNodeHeight(PVirtualNode node, int value);
  bool IsVisible(PVirtualNode node);
  void SetIsVisible(PVirtualNode node, bool value);
  bool HasVisiblePath(PVirtualNode node) const;
  bool IsShown(PVirtualNode node) const;
  int ComparePositions(PVirtualNode node1, PVirtualNode node2) const;
  bool Selected(PVirtualNode node) const { return node && (node->States & nsSelected); }
  void SetSelected(PVirtualNode node, bool value);
  bool Expanded(PVirtualNode node) const { return node && (node->States & nsExpanded); }
  void SetExpanded(PVirtualNode node, bool value);
  bool HasChildren(PVirtualNode node) const { return node && (node->States & nsHasChildren); }
  void SetHasChildren(PVirtualNode node, bool value);
  bool IsDisabled(PVirtualNode node) const { return node && (node->States & nsDisabled); }
  void SetDisabled(PVirtualNode node, bool value);
  bool MultiLine(PVirtualNode node) const { return node && (node->States & nsMultiline); }
  void SetMultiLine(PVirtualNode node, bool value);
  TCheckState CheckState(PVirtualNode node) const { return TCheckState(node->CheckState); }
  void SetCheckState(PVirtualNode node, TCheckState value);
  TCheckType CheckType(PVirtualNode node) const { return TCheckType(node->CheckType); }
  void SetCheckType(PVirtualNode node, TCheckType value);
  PVirtualNode FocusedNode() const { return focusedNode_; }
  void SetFocusedNode(PVirtualNode node);
  TColumnIndex FocusedColumn() const { return focusedColumn_; }
  void SetFocusedColumn(TColumnIndex column);
  // Focuses the cell; a refused focus change keeps the previous column.
  virtual void SetFocusedNodeAndColumn(PVirtualNode node, TColumnIndex column);
  PVirtualNode TopNode();
  void SetTopNode(PVirtualNode node);
  int OffsetX() const { return offsetX_; }
  int OffsetY() const { return offsetY_; }
  void SetOffsetX(int value);
  void SetOffsetY(int value);
  TPoint OffsetXY() const { return {offsetX_, offsetY_}; }
  void SetOffsetXY(TPoint value);
  bool IsFirstVisibleChild(PVirtualNode parent, PVirtualNode node) const;
  bool IsLastVisibleChild(PVirtualNode parent, PVirtualNode node) const;
  // Drops the entries tagged with bit 0; returns the new count, -1 when empty.
  static int CompactNodeArray(std::vector<PVirtualNode>& nodes, int count);
  PVirtualNode HotNode() const { return hotNode_; }
  PVirtualNode DropTargetNode() const { return dropTargetNode_; }
  TDropMode LastDropMode() const { return lastDropMode_; }
  // Marks the node a drag hovers over and where a drop would go (repaints both rows).
  void SetDropTarget(PVirtualNode node, TDropMode mode);
  int RangeX() const { return rangeX_; }
  int RangeY() const { return rangeY_; }
  uint32_t BottomSpace() const { return bottomSpace_; }
  void SetBottomSpace(uint32_t value);

  // ---- Appearance -------------------------------------------------------
  TVTNodeAlignment NodeAlignment() const { return nodeAlignment_; }
  void SetNodeAlignment(TVTNodeAlignment value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TBiDiMode BiDiMode() const { return biDiMode_; }
  // Changing the reading order mirrors the rows, the keys and horizontal
  // scrolling; columns that follow the tree take the new mode.
  void SetBiDiMode(TBiDiMode value);
  // Any mode but left-to-right reads from the right: rows are indented from
  // the right edge and the horizontal offset counts from the right end.
  bool UseRightToLeftReading() const { return biDiMode_ != bdLeftToRight; }
  // Columns narrower than the visible area sit flush right when reading from
  // the right: the width of the gap left of them (0 otherwise). The visible
  // area counts the vertical scroll bar's width while the content is taller
  // than the client area and the scroll bar style has a vertical bar;
  // excludeScrollBar measures the gap inside the client area only.
  int RightToLeftOffset(bool excludeScrollBar) const;
  // The reading order of a cell: its column's, or the tree's without columns.
  TBiDiMode CellBiDiMode(TColumnIndex column) const;
  // Client x to tree x (the scrolled content's own coordinates).
  int TreeX(int clientX) const { return clientX + EffectiveOffsetX(); }
  // 1, or -1 for right-to-left reading: the sign by which an OffsetX
  // change shows more of the content's left side.
  int HorizontalDirection() const { return UseRightToLeftReading() ? -1 : 1; }
  int AnimationDuration() const { return animationDuration_; }
  void SetAnimationDuration(int value);
  TVTButtonStyle ButtonStyle() const { return buttonStyle_; }
  void SetButtonStyle(TVTButtonStyle value);
  TVTButtonFillMode ButtonFillMode() const { return buttonFillMode_; }
  void SetButtonFillMode(TVTButtonFillMode value);
  TVTLineStyle LineStyle() const { return lineStyle_; }
  void SetLineStyle(TVTLineStyle value);
  TVTLineMode LineMode() const { return lineMode_; }
  void SetLineMode(TVTLineMode value);
  TCheckImageKind CheckImageKind() const { return checkImageKind_; }
  void SetCheckImageKind(TCheckImageKind value);
  TImageList* CustomCheckImages() const { return customCheckImages_; }
  void SetCustomCheckImages(TImageList* value);
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* value);
  TImageList* StateImages() const { return stateImages_; }
  void SetStateImages(TImageList* value);
  TImageList* CheckImages() const;
  TVTColors& Colors() { return *colors_; }
  TVTHeader& Header() { return *header_; }
  const TVTHeader& Header() const { return *header_; }
  TCustomVirtualTreeOptions& TreeOptions() { return *options_; }
  const TCustomVirtualTreeOptions& TreeOptions() const { return *options_; }
  TScrollBarOptions& ScrollBarOptions() { return *scrollBarOptions_; }
  TClipboardFormats& ClipboardFormats() { return *clipboardFormats_; }
  int SelectionCurveRadius() const { return selectionCurveRadius_; }
  void SetSelectionCurveRadius(int value);
  int SelectionBlendFactor() const { return selectionBlendFactor_; }
  void SetSelectionBlendFactor(int value) { selectionBlendFactor_ = uint8_t(value); }
  TVTDrawSelectionMode DrawSelectionMode() const { return drawSelectionMode_; }
  void SetDrawSelectionMode(TVTDrawSelectionMode value) { drawSelectionMode_ = value; }
  TBitmap* Background() { return background_.get(); }
  int BackgroundOffsetX() const { return backgroundOffsetX_; }
  int BackgroundOffsetY() const { return backgroundOffsetY_; }
  void SetBackgroundOffsetX(int v) { backgroundOffsetX_ = v; RepaintIfLive(); }
  void SetBackgroundOffsetY(int v) { backgroundOffsetY_ = v; RepaintIfLive(); }

  // ---- Behaviour settings -----------------------------------------------
  TVTIncrementalSearch IncrementalSearch() const { return incrementalSearch_; }
  void SetIncrementalSearch(TVTIncrementalSearch value);
  TVTSearchDirection IncrementalSearchDirection() const { return searchDirection_; }
  void SetIncrementalSearchDirection(TVTSearchDirection v) { searchDirection_ = v; }
  TVTSearchStart IncrementalSearchStart() const { return searchStart_; }
  void SetIncrementalSearchStart(TVTSearchStart v) { searchStart_ = v; }
  int IncrementalSearchTimeout() const { return searchTimeout_; }
  void SetIncrementalSearchTimeout(int v) { searchTimeout_ = v; }
  int AutoExpandDelay() const { return autoExpandDelay_; }
  void SetAutoExpandDelay(int v) { autoExpandDelay_ = v; }
  int AutoScrollDelay() const { return autoScrollDelay_; }
  void SetAutoScrollDelay(int v) { autoScrollDelay_ = v; }
  int AutoScrollInterval() const { return autoScrollInterval_; }
  void SetAutoScrollInterval(int v) { autoScrollInterval_ = v < 1 ? 1 : v; }
  int ChangeDelay() const { return changeDelay_; }
  void SetChangeDelay(int v) { changeDelay_ = v; }
  int EditDelay() const { return editDelay_; }
  void SetEditDelay(int v) { editDelay_ = v; }
  TVTNodeAttachMode DefaultPasteMode() const { return defaultPasteMode_; }
  void SetDefaultPasteMode(TVTNodeAttachMode v) { defaultPasteMode_ = v; }
  TDragOperations DragOperations() const { return dragOperations_; }
  void SetDragOperations(TDragOperations v) { dragOperations_ = v; }
  TVTDragImageKind DragImageKind() const { return dragImageKind_; }
  void SetDragImageKind(TVTDragImageKind v) { dragImageKind_ = v; }
  TVTDragType DragType() const { return dragType_; }
  void SetDragType(TVTDragType v) { dragType_ = v; }
  int DragWidth() const { return dragWidth_; }
  void SetDragWidth(int v) { dragWidth_ = v; }
  int DragHeight() const { return dragHeight_; }
  void SetDragHeight(int v) { dragHeight_ = v; }
  THintAnimationType HintAnimation() const { return hintAnimation_; }
  void SetHintAnimation(THintAnimationType v) { hintAnimation_ = v; }
  TVTHintMode HintMode() const { return hintMode_; }
  void SetHintMode(TVTHintMode v) { hintMode_ = v; }
  TCursor HotCursor() const { return hotCursor_; }
  void SetHotCursor(TCursor v) { hotCursor_ = v; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool v) { wantTabs_ = v; }
  const AnsiString& AccessibleName() const { return accessibleName_; }
  void SetAccessibleName(const AnsiString& v) { accessibleName_ = v; }

  // ---- Tree states ------------------------------------------------------
  TVirtualTreeStates TreeStates() const { return TVirtualTreeStates::FromBits(states_.load()); }
  bool HasState(TVirtualTreeState s) const { return TreeStates().Contains(s); }
  void ChangeStates(TVirtualTreeStates enter, TVirtualTreeStates leave);

  // ---- Node operations and update bracket --------------------------------
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  virtual void Clear();
  void DeleteChildren(PVirtualNode node, bool resetHasChildren = false);
  void DeleteNode(PVirtualNode node, bool reindex = true);
  virtual void DeleteSelectedNodes();
  void MoveTo(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode, bool childrenOnly);
  void MoveTo(PVirtualNode source, TBaseVirtualTree* tree, TVTNodeAttachMode mode, bool childrenOnly);
  virtual void InitNode(PVirtualNode node);
  virtual void InitChildren(PVirtualNode node);
  virtual void ReinitNode(PVirtualNode node, bool recursive);
  virtual void ReinitChildren(PVirtualNode node, bool recursive);
  virtual void ResetNode(PVirtualNode node);
  virtual void StructureChange(PVirtualNode node, TChangeReason reason);
  void InvalidateCache();
  virtual void ValidateCache();
  void Loaded() override;
  // With toAutoChangeScale, scaling the tree scales DefaultNodeHeight and
  // the header's font too (while loading only once a node height was set).
  void ChangeScale(int m, int d) override;
  virtual void Assign(const TBaseVirtualTree& source);
  // Claims size bytes of internal data in every node (before any node
  // exists) and returns their offset from the node's start: the first claim
  // of at most two bytes gets the header's TVirtualNode::HeaderInternal.
  int ReserveInternalData(int size);
  int InternalDataSize() const { return internalDataSize_; }

  // ---- Tree stream (VTStream.h) --------------------------------------------
  void SaveToStream(TStream& stream, PVirtualNode node = nullptr);
  void SaveToFile(const AnsiString& fileName, PVirtualNode node = nullptr);
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const AnsiString& fileName);
  // Stream hooks (VTStream.cpp), overridable so that a descendant can write
  // and read chunk types of its own. ReadChunk answers whether it used the
  // chunk; InternalAddFromStream reads one node chunk into a connected node
  // and brings counts, heights and selection up to date, also when reading fails.
  virtual void WriteNode(TStream& stream, PVirtualNode node);
  virtual void WriteChunks(TStream& stream, PVirtualNode node);
  virtual void ReadNode(TStream& stream, int version, PVirtualNode node);
  virtual bool ReadChunk(TStream& stream, int version, PVirtualNode node, int chunkType, int chunkSize);
  virtual void SkipNode(TStream& stream);
  virtual void FinishChunkHeader(TStream& stream, int64_t startPos, int64_t endPos);
  virtual void InternalAddFromStream(TStream& stream, int version, PVirtualNode node);

  // ---- Iteration --------------------------------------------------------
  PVirtualNode GetFirst();
  PVirtualNode GetFirstNoInit() const;
  PVirtualNode GetFirstChild(PVirtualNode node);
  PVirtualNode GetFirstInitialized() const;
  PVirtualNode GetFirstSelected() const { return GetNextSelected(nullptr); }
  PVirtualNode GetFirstCutCopy() const { return GetNextCutCopy(nullptr); }
  PVirtualNode GetFirstVisible();
  PVirtualNode GetFirstVisibleNoInit() const;
  PVirtualNode GetFirstVisibleChild(PVirtualNode node);
  PVirtualNode GetLastChild(PVirtualNode node);
  PVirtualNode GetLastChildNoInit(PVirtualNode node) const;
  PVirtualNode GetLast(PVirtualNode node = nullptr);
  PVirtualNode GetLastNoInit(PVirtualNode node = nullptr) const;
  PVirtualNode GetLastVisibleChild(PVirtualNode node);
  PVirtualNode GetLastVisibleChildNoInit(PVirtualNode node) const;
  PVirtualNode GetLastVisible(PVirtualNode node = nullptr);
  PVirtualNode GetLastVisibleNoInit(PVirtualNode node = nullptr) const;
  PVirtualNode GetNext(PVirtualNode node);
  PVirtualNode GetNextNoInit(PVirtualNode node) const;
  PVirtualNode GetNextInitialized(PVirtualNode node) const;
  PVirtualNode GetNextSelected(PVirtualNode node) const;
  PVirtualNode GetNextCutCopy(PVirtualNode node) const;
  PVirtualNode GetNextSibling(PVirtualNode node);
  PVirtualNode GetNextVisibleSibling(PVirtualNode node);
  PVirtualNode GetNextVisibleSiblingNoInit(PVirtualNode node) const;
  PVirtualNode GetNextVisible(PVirtualNode node);
  PVirtualNode GetNextVisibleNoInit(PVirtualNode node) const;
  PVirtualNode GetPrevious(PVirtualNode node);
  PVirtualNode GetPreviousNoInit(PVirtualNode node) const;
  PVirtualNode GetPreviousSibling(PVirtualNode node);
  PVirtualNode GetPreviousVisibleSibling(PVirtualNode node);
  PVirtualNode GetPreviousVisibleSiblingNoInit(PVirtualNode node) const;
  PVirtualNode GetPreviousVisible(PVirtualNode node);
  PVirtualNode GetPreviousVisibleNoInit(PVirtualNode node) const;
  PVirtualNode GetVisibleParent(PVirtualNode node) const;
  int GetNodeLevel(PVirtualNode node) const;
  bool HasAsParent(PVirtualNode node, PVirtualNode potentialParent) const;

  // ---- Selection --------------------------------------------------------
  int SelectedCount() const { return selectionCount_; }
  bool AddToSelection(PVirtualNode node);
  void AddToSelection(const std::vector<PVirtualNode>& nodes, bool forceInsert);
  virtual void RemoveFromSelection(PVirtualNode node);
  void ClearSelection();
  virtual void SelectNodes(PVirtualNode startNode, PVirtualNode endNode, bool addOnly);
  virtual void ToggleSelection(PVirtualNode startNode, PVirtualNode endNode);
  virtual void UnselectNodes(PVirtualNode startNode, PVirtualNode endNode);
  void SelectAll(bool visibleOnly);
  virtual void ResetRangeAnchor();
  PVirtualNode RangeAnchor() const { return rangeAnchor_; }
  std::vector<PVirtualNode> GetSortedSelection(bool resolve) const;
  std::vector<PVirtualNode> GetSortedCutCopySet(bool resolve) const;
  virtual void MarkCutCopyNodes();
  bool FindNodeInSelection(PVirtualNode node, int& index, int lowBound = -1, int highBound = -1) const;

  // ---- Expand, collapse, scroll, geometry, sort ---------------------------
  void ToggleNode(PVirtualNode node);
  virtual void FullExpand(PVirtualNode node = nullptr);
  virtual void FullCollapse(PVirtualNode node = nullptr);
  bool ScrollIntoView(PVirtualNode node, bool center, bool horizontally = false);
  PVirtualNode GetNodeAt(int x, int y);
  PVirtualNode GetNodeAt(int x, int y, bool relative, int& nodeTop);
  TRect GetDisplayRect(PVirtualNode node, TColumnIndex column, bool textOnly, bool unclipped = false);
  int GetMaxColumnWidth(TColumnIndex column);
  virtual void GetTextInfo(PVirtualNode node, TColumnIndex column, TFont& font, TRect& r, WideString& text);
  void MeasureItemHeight(TCanvas* canvas, PVirtualNode node);
  virtual void InvalidateNode(PVirtualNode node);
  void InvalidateToBottom(PVirtualNode node);
  void InvalidateColumn(TColumnIndex column);
  void RepaintNode(PVirtualNode node);
  virtual void UpdateScrollBars(bool doRepaint);
  void UpdateHorizontalScrollBar(bool doRepaint);
  void UpdateVerticalScrollBar(bool doRepaint);
  int ApplyScrollBar(int bar, int range, int client, int position, bool doRepaint);
  // Whether the scroll bar style has the bar (SB_HORZ or SB_VERT).
  bool ScrollBarWanted(int bar) const;
  virtual void Sort(PVirtualNode node, TColumnIndex column, TSortDirection direction, bool doInit = true);
  void SortTree(TColumnIndex column, TSortDirection direction, bool doInit = true);
  void ValidateChildren(PVirtualNode node, bool recursive);
  void ValidateNode(PVirtualNode node, bool recursive);
  int EffectiveOffsetX() const;
  // OffsetX that puts the client's left edge at a content position.
  int OffsetXForPosition(int position) const;

  // ---- Painting -----------------------------------------------------------
  void PaintTree(TCanvas* target, const TRect& window, TPoint targetPoint,
                 TVTInternalPaintOptions options);
  TBitmap* PlusBitmap() { return plusBM_.get(); }
  TBitmap* MinusBitmap() { return minusBM_.get(); }
  // The bevel and border between the frame and the client area
  // (VirtualTreesPaint.cpp); a new one lays the window out anew.
  const TVTBevel& Bevel() const { return bevel_; }
  void SetBevel(const TVTBevel& value);
  int BorderWidth() const { return bevel_.BorderWidth; }
  virtual void PaintNonClientBorder(TCanvas* canvas);

  // ---- Hit testing, mouse, keyboard ---------------------------------------
  void GetHitTestInfoAt(int x, int y, bool relative, THitInfo& hitInfo);
  bool IsEditing() const { return HasState(stEditing); }
  bool EditNode(PVirtualNode node, TColumnIndex column);
  bool EndEditNode();
  void CancelEditNode();
  // The standard edit actions (ActnList.h) given the tree as their control,
  // or none while the tree is focused, when the inherited handling does not
  // take them: select all and copy, and unless read-only cut, paste and
  // delete the selected nodes; the tree enables them by what they would do.
  bool ExecuteAction(TBasicAction* action) override;
  bool UpdateAction(TBasicAction* action) override;
  PVirtualNode SearchNode() const { return lastSearchNode_; }
  const WideString& SearchBuffer() const { return searchBuffer_; }
  void WndProc(TMessage& message) override;

  // ---- Hints ----------------------------------------------------------------
  // The hint to show for a client point (negative Y: the header band) and
  // the area it belongs to, by HintMode; false when no hint is due there.
  // The hint window asks this before it shows anything.
  bool GetHintFor(TPoint p, WideString& text, TRect& area);
  // Whether the form the tree sits on is the active one (true off a form).
  bool FormActive() const;

  // ---- Events -------------------------------------------------------------
  TVTAfterCellPaintEvent OnAfterCellPaint;
  TVTAfterItemEraseEvent OnAfterItemErase;
  TVTAfterItemPaintEvent OnAfterItemPaint;
  TVTPaintEvent OnAfterPaint;
  TVTBeforeCellPaintEvent OnBeforeCellPaint;
  TVTBeforeItemEraseEvent OnBeforeItemErase;
  TVTBeforeItemPaintEvent OnBeforeItemPaint;
  TVTPaintEvent OnBeforePaint;
  TVTDragAllowedEvent OnDragAllowed;
  TVTEditCancelEvent OnEditCancelled;
  TVTEditChangingEvent OnEditing;
  TVTChangeEvent OnChange;
  TVTChangeEvent OnChecked;
  TVTCheckChangingEvent OnChecking;
  TVTChangeEvent OnCollapsed;
  TVTChangingEvent OnCollapsing;
  TVTColumnClickEvent OnColumnClick;
  TVTColumnClickEvent OnColumnDblClick;
  TVTHeaderNotifyEvent OnColumnResize;
  TVTCompareEvent OnCompareNodes;
  TVTCreateDragManagerEvent OnCreateDragManager;
  TVTCreateEditorEvent OnCreateEditor;
  TVTEditChangeEvent OnEdited;
  TVTChangeEvent OnExpanded;
  TVTChangingEvent OnExpanding;
  TVTFocusChangeEvent OnFocusChanged;
  TVTFocusChangingEvent OnFocusChanging;
  TVTChangeEvent OnFreeNode;
  TVTGetCursorEvent OnGetCursor;
  TVTGetHeaderCursorEvent OnGetHeaderCursor;
  TVTGetImageEvent OnGetImageIndex;
  TVTGetImageExEvent OnGetImageIndexEx;
  TVTGetLineStyleEvent OnGetLineStyle;
  TVTPopupEvent OnGetPopupMenu;
  TVTGetUserClipboardFormatsEvent OnGetUserClipboardFormats;
  TVTHeaderClickEvent OnHeaderClick;
  TVTHeaderClickEvent OnHeaderDblClick;
  TVTHeaderDraggedEvent OnHeaderDragged;
  TVTHeaderDraggedOutEvent OnHeaderDraggedOut;
  TVTHeaderDraggingEvent OnHeaderDragging;
  TVTHeaderPaintEvent OnHeaderDraw;
  TVTHeaderPaintQueryElementsEvent OnHeaderDrawQueryElements;
  TVTAdvancedHeaderPaintEvent OnAdvancedHeaderDraw;
  TVTHeaderMouseEvent OnHeaderMouseDown;
  TVTHeaderMouseMoveEvent OnHeaderMouseMove;
  TVTHeaderMouseEvent OnHeaderMouseUp;
  TVTHotNodeChangeEvent OnHotChange;
  TVTIncrementalSearchEvent OnIncrementalSearch;
  TVTInitChildrenEvent OnInitChildren;
  TVTInitNodeEvent OnInitNode;
  TVTKeyActionEvent OnKeyAction;
  TVTMeasureItemEvent OnMeasureItem;
  TVTChangeEvent OnNodeCopied;
  TVTNodeMovingEvent OnNodeCopying;
  TVTChangeEvent OnNodeMoved;
  TVTNodeMovingEvent OnNodeMoving;
  TVTBackgroundPaintEvent OnPaintBackground;
  TVTChangeEvent OnResetNode;
  TVTScrollEvent OnScroll;
  TVTScrollbarShowEvent OnShowScrollbar;
  TVTStateChangeEvent OnStateChange;
  TVTStructureChangeEvent OnStructureChange;
  TVTUpdatingEvent OnUpdating;
  TVTGetNodeDataSizeEvent OnGetNodeDataSize;
  TVTHelpContextEvent OnGetHelpContext;
  TVTGetCellIsEmptyEvent OnGetCellIsEmpty;
  // Node data in the tree stream (written and read by the stream extension).
  TVTSaveNodeEvent OnSaveNode;
  TVTSaveNodeEvent OnLoadNode;

  // ---- Position cache (used by the validation thread) ---------------------
  struct TCacheEntry {
    PVirtualNode Node;
    uint32_t AbsoluteTop;
  };
  static constexpr int CacheThreshold = 2000;
  // Runs on the validation thread; not virtual, so a tree whose derived
  // parts are being destroyed is never reached through its vtable.
  bool BuildCache();
  void HaltCacheValidation();
  const std::vector<TCacheEntry>& PositionCache() const { return positionCache_; }

  // ---- Dragging (VTDragDrop.cpp) ---------------------------------------------
  // With DragType dtOLE a drag runs the OLE loop, with dtVCL the class
  // library's drag (DragControl.h); both fire OnStartDrag and OnEndDrag.
  void BeginDrag(bool immediate, int threshold = -1) override;
  bool Dragging() const override;
  void DoStartDrag(TDragObject*& dragObject) override;
  void DoEndDrag(TObject* target, int x, int y) override;
  // Leaves the drag states and hands the tree the button-up of the button
  // still down, so that the mouse states end cleanly.
  void DragFinished();
  // The nodes a drag of this tree carries, in tree order; a node freed
  // during the drag leaves the list at once.
  void SetDragSelection(std::vector<PVirtualNode> nodes);
  const std::vector<PVirtualNode>& DragSelection();
  // The picture of the dragged nodes (VTDragImage.h), made on first use,
  // and that of a dragged header column (nil before the first column drag).
  TVTDragImage* DragImage();
  TVTDragImage* HeaderDragImage() const { return headerDragImage_.get(); }
  // Paints the selected nodes around hotSpot (client) into the picture.
  void PrepareDragImage(TPoint hotSpot, IDataObject* dataObject);

  // ---- Hooks used by the header and sub-objects ---------------------------
  virtual void DoColumnResize(TColumnIndex column);
  virtual void DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y);
  virtual void DoHeaderDblClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y);
  virtual void DoHeaderDragged(TColumnIndex column, int oldPosition);
  virtual void DoHeaderDraggedOut(TColumnIndex column, TPoint dropPosition);
  virtual bool DoHeaderDragging(TColumnIndex column);
  virtual void DoHeaderMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void DoHeaderMouseMove(TShiftState shift, int x, int y);
  virtual void DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void DoGetHeaderCursor(TCursor& cursor);
  virtual void MainColumnChanged();
  bool IsLive() const { return HandleAllocated() && !IsLoading(); }
  void RepaintIfLive();
  void PrepareBitmaps(bool needButtons, bool needLines);
  void RecreateWnd();
  int NodeWidthOf(PVirtualNode node, TColumnIndex column, TCanvas* canvas = nullptr) {
    return DoGetNodeWidth(node, column, canvas);
  }

 protected:
  // ---- Event dispatchers --------------------------------------------------
  virtual void DoAfterCellPaint(TCanvas* canvas, PVirtualNode node, TColumnIndex column, const TRect& r);
  virtual void DoAfterItemErase(TCanvas* canvas, PVirtualNode node, const TRect& r);
  virtual void DoAfterItemPaint(TCanvas* canvas, PVirtualNode node, const TRect& r);
  virtual void DoAfterPaint(TCanvas* canvas);
  virtual void DoBeforeCellPaint(TCanvas* canvas, PVirtualNode node, TColumnIndex column, const TRect& r);
  virtual void DoBeforeItemErase(TCanvas* canvas, PVirtualNode node, const TRect& r, TColor& color,
                                 TItemEraseAction& action);
  virtual bool DoBeforeItemPaint(TCanvas* canvas, PVirtualNode node, const TRect& r);
  virtual void DoBeforePaint(TCanvas* canvas);
  virtual bool DoDragAllowed(PVirtualNode node, TColumnIndex column);
  virtual void DoChange(PVirtualNode node);
  virtual void DoChecked(PVirtualNode node);
  virtual bool DoChecking(PVirtualNode node, TCheckState& newState);
  virtual void DoCollapsed(PVirtualNode node);
  virtual bool DoCollapsing(PVirtualNode node);
  virtual void DoColumnClick(TColumnIndex column, TShiftState shift);
  virtual void DoColumnDblClick(TColumnIndex column, TShiftState shift);
  virtual int DoCompare(PVirtualNode node1, PVirtualNode node2, TColumnIndex column);
  virtual IVTEditLinkPtr DoCreateEditor(PVirtualNode node, TColumnIndex column);
  virtual void DoEditCancelled(TColumnIndex column);
  virtual bool DoEditing(PVirtualNode node, TColumnIndex column);
  virtual void DoEdited(PVirtualNode node, TColumnIndex column);
  virtual void DoExpanded(PVirtualNode node);
  virtual bool DoExpanding(PVirtualNode node);
  virtual void DoFocusChange(PVirtualNode node, TColumnIndex column);
  virtual bool DoFocusChanging(PVirtualNode oldNode, PVirtualNode newNode, TColumnIndex oldColumn,
                               TColumnIndex newColumn);
  virtual void DoFreeNode(PVirtualNode node);
  virtual void DoGetCursor(TCursor& cursor);
  virtual TImageList* DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column,
                                      bool& ghosted, int& index);
  virtual void DoGetLineStyle(const uint8_t*& bits);
  virtual int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas);
  virtual TPopupMenu* DoGetPopupMenu(PVirtualNode node, TColumnIndex column, TPoint p);
  virtual void DoHotChange(PVirtualNode oldNode, PVirtualNode newNode);
  virtual int DoIncrementalSearch(PVirtualNode node, const WideString& text);
  virtual bool DoInitChildren(PVirtualNode node, uint32_t& childCount);
  virtual void DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& states);
  virtual bool DoKeyAction(uint16_t& charCode, TShiftState& shift);
  virtual void DoMeasureItem(TCanvas* canvas, PVirtualNode node, int& height);
  virtual void DoNodeMoved(PVirtualNode node);
  virtual bool DoNodeMoving(PVirtualNode node, PVirtualNode target);
  virtual bool DoPaintBackground(TCanvas* canvas, const TRect& r);
  virtual void DoPaintDropMark(TCanvas* canvas, PVirtualNode node, const TRect& r);
  virtual void DoPaintNode(TVTPaintInfo& paintInfo);
  virtual void DoReset(PVirtualNode node);
  virtual void DoScroll(int deltaX, int deltaY);
  virtual bool DoSetOffsetXY(TPoint value, unsigned options, const TRect* clipRect = nullptr);
  virtual void DoShowScrollbar(int bar, bool show);
  virtual void DoStateChange(TVirtualTreeStates enter, TVirtualTreeStates leave);
  virtual void DoStructureChange(PVirtualNode node, TChangeReason reason);
  virtual void DoUpdating(TVTUpdateState state);
  virtual bool DoSetCheckState(PVirtualNode node, TCheckState newState);
  virtual void DoCanEdit(PVirtualNode node, TColumnIndex column, bool& allowed);
  virtual bool DoEndEdit();
  virtual void DoCancelEdit();
  virtual void DoEdit();
  virtual void DoTimerScroll();
  virtual void DoAutoExpand();
  virtual int DoGetHelpContext(PVirtualNode node, TColumnIndex column);
  // Whether a cell shows nothing (OnGetCellIsEmpty; empty by default).
  virtual bool ColumnIsEmpty(PVirtualNode node, TColumnIndex column);
  // Hint and tooltip texts of a node: the control's Hint in the base tree.
  virtual WideString DoGetNodeHint(PVirtualNode node, TColumnIndex column);
  virtual WideString DoGetNodeToolTip(PVirtualNode node, TColumnIndex column);
  // An OLE drag of the selection starts at a client point through the
  // tree's transfer (VTDragDrop.h); without one nothing happens.
  virtual void StartOLEDrag(TPoint at);
  // The clipboard transfer (WM_COPY, WM_CUT, WM_PASTE) through the tree's
  // transfer; without one nothing is transferred and the answer is false.
  virtual bool CopyToClipBoard();
  virtual bool CutToClipBoard();
  virtual bool PasteFromClipboard();

  // ---- Protected operations -----------------------------------------------
  virtual void AddToSelectionInternal(const std::vector<PVirtualNode>& nodes, bool forceInsert);
  bool InternalAddToSelection(PVirtualNode node, bool forceInsert);
  bool InternalAddToSelection(std::vector<PVirtualNode> items, bool forceInsert);
  virtual void InternalRemoveFromSelection(PVirtualNode node);
  virtual void InternalClearSelection();
  virtual void InternalCacheNode(PVirtualNode node);
  void ClearTempCache() { tempNodeCache_.clear(); }
  void PackSelection();
  void NoteChange(bool structureChange, PVirtualNode node, TChangeReason reason);
  void Change(PVirtualNode node);
  bool CanAutoScroll() const;
  bool CanEdit(PVirtualNode node, TColumnIndex column);
  int LevelDifference(PVirtualNode node1, PVirtualNode node2) const;
  uint32_t CountVisibleChildren(PVirtualNode node) const;
  void UpdateHiddenChildrenState(PVirtualNode node);
  void UpdateHiddenChildrenStateAll();
  virtual void HitPartLeftToRight(THitInfo& hitInfo, int x, TAlignment alignment, int right);
  virtual void HitPartRightToLeft(THitInfo& hitInfo, int x, TAlignment alignment, int right);
  static TCheckState NextCheckState(TCheckType type, TCheckState state);
  unsigned ScrollDirectionsAt(int x, int y);
  void StartAutoScroll(int x, int y);
  void FocusNode(PVirtualNode node, bool ask);
  // Calls back with growing steps (0 first) spread over duration ms, then
  // once more with step size 0; nothing while an animation runs.
  void Animate(int steps, int duration, const std::function<bool(int step, int stepSize)>& callback);
  // Pushes the area below a toggling node down (expanding) or up.
  void AnimateToggle(const TRect& area, bool expanding, int64_t steps);
  void UpdateHotNode(int x, int y);
  bool AskCheckChange(PVirtualNode node, TCheckState newState);
  bool PropagateCheckState(PVirtualNode node, TCheckState value);
  void UpdateAncestorCheckStates(PVirtualNode node);
  void ShowNodeMenu(PVirtualNode node, TColumnIndex column, TPoint position);
  // The control's popup menu or one OnGetPopupMenu gives for the node.
  virtual bool HasPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position);
  virtual void InternalConnectNode(PVirtualNode node, PVirtualNode destination, TBaseVirtualTree* targetTree,
                                   TVTNodeAttachMode mode);
  virtual void InternalDisconnectNode(PVirtualNode node, bool keepFocus, bool reindex = true);
  virtual PVirtualNode MakeNewNode();
  void SetNodeFlag(PVirtualNode node, uint16_t flag, bool value);
  void FreeNode(PVirtualNode node);
  void AddToTotalCount(PVirtualNode node, int64_t value, bool relative);
  void AddToTotalHeight(PVirtualNode node, int64_t value, bool relative);
  // oldSize: the internal data size of the root being replaced, -1 for a fresh root.
  void InitRootNode(int oldSize);
  void SetRedraw(bool updating);
  void StopTimer(UINT_PTR id);
  void StartTimer(UINT_PTR id, UINT ms);
  virtual TCustomVirtualTreeOptions* CreateOptions();
  virtual TVTHeader* CreateHeader();
  PVirtualNode CacheEntryBeforeNode(PVirtualNode node, uint32_t& top) const;
  PVirtualNode CacheEntryAtPosition(uint32_t position, uint32_t& top) const;
  int WidestVisibleRow();

  // Painting helpers.
  virtual void PaintTreeLines(const TVTPaintInfo& info, int vAlignment, int indentSize);
  void PaintBandLines(const TVTPaintInfo& info, int indentSize);
  // buttonX counts from the cell's leading edge (the right one for
  // right-to-left reading).
  virtual void PaintNodeButton(TCanvas* canvas, PVirtualNode node, const TRect& r, int buttonX, int buttonY,
                               TBiDiMode bidiMode);
  virtual void PaintCheckImage(const TVTPaintInfo& info);
  virtual void PaintImage(TVTPaintInfo& info, int imageInfoIndex, bool doOverlay);
  // Paints the rubber band's part in a row (row coordinates, the row's
  // bitmap starting at tree x windowOrgX): dotted, or blended and framed.
  virtual void PaintSelectionRectangle(TBitmap* target, int windowOrgX, const TRect& selectionRect,
                                       const TRect& targetRect);
  // Background, selection and focus rectangle of one cell.
  void PaintCell(TVTPaintInfo& info);
  void PaintRowCell(TVTPaintInfo& info, TColumnIndex column, const TRect& cell, bool mainColumn);
  void EraseItem(TCanvas* canvas, PVirtualNode node, const TRect& r, bool focused);
  // Tiles (or, with toStaticBackground, places once) the background picture
  // over r; treeOrigin is where the tree's point (0, 0) lies on the canvas.
  void PaintBackgroundPicture(TCanvas* canvas, const TRect& r, TPoint treeOrigin);
  bool ShowsBackground() const;
  int AlignmentPosition(PVirtualNode node, int height, int imageHeight) const;
  void DetermineLineImages(PVirtualNode node, std::vector<TVTLineType>& images) const;
  bool HasVisibleNextSibling(PVirtualNode node) const;
  void DrawDottedHLine(TCanvas* canvas, int left, int right, int top);
  void DrawDottedVLine(TCanvas* canvas, int top, int bottom, int left);
  int CheckImageIndex(PVirtualNode node) const;
  void Paint() override;
  void Notification(TComponent* component, TOperation operation) override;

  // Messages, keyboard and mouse.
  virtual void HandleMouseDown(TMessage& message, const THitInfo& hitInfo);
  virtual void HandleMouseDblClick(TMessage& message, const THitInfo& hitInfo);
  virtual void HandleMouseUp(TMessage& message, const THitInfo& hitInfo);
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char16_t& key) override;
  void KeyUp(uint16_t& key, TShiftState shift) override;
  void SelectByRectangle(const TRect& oldRect, const TRect& newRect);
  // Moves the selection rectangle's free corner to the client point and
  // returns the rectangle as it was, normalised.
  TRect MoveSelectionCorner(int x, int y);
  // Where a node's label lies across the main column (tree coordinates),
  // as the rubber band sees it: [left, right).
  void LabelSpan(PVirtualNode node, int& left, int& right);
  // Width from a cell's leading edge to its text: margin, and in the main
  // column the level indent and check box, then state and normal image.
  int ContentIndent(PVirtualNode node, TColumnIndex column);
  PVirtualNode TreeViewNextItem(int code, PVirtualNode node);
  bool TreeViewGetItem(TTVItemA& item);
  // Whether a handle from outside is a live node of this tree; handles
  // handed out or checked once are known until their node is freed.
  bool IsLiveNode(PVirtualNode candidate);
  // A class-library drag over this tree (CM_DRAG).
  void HandleClassLibraryDrag(TMessage& message);
  // The picture of a header column being dragged follows the header's
  // states and the pointer of the message the header saw.
  void FollowHeaderDrag(uint8_t headerStatesBefore, const TMessage& m);
  // Tells assistive technology about the tree (NotifyWinEvent).
  void NotifyAccessibility(uint32_t event);
  void DoEnter() override;
  void DoExit() override;
  bool DoMouseWheel(TShiftState shift, int delta, TPoint mousePos) override;
  void Resize() override;
  void DoIncrementalSearchKey(char16_t key);
  void HandleTimer(UINT_PTR id);
  void HandleScrollMessage(int bar, int code, int trackPos);
  void StartWheelPanning(TPoint position);
  void StopWheelPanning();
  void CheckMouseDrag(int x, int y);
  void HandleCheckClick(const THitInfo& hitInfo, bool release);

  // Timer ids.
  static constexpr UINT_PTR ExpandTimer = 1, EditTimer = 2, HeaderTimer = 3, ScrollTimer = 4,
                            ChangeTimer = 5, StructureChangeTimer = 6, SearchTimer = 7;

  // Fields shared by the areas of the implementation.
  PVirtualNode root_ = nullptr;  // its own block, outside the pool
  TVTNodePool nodePool_;          // every other node
  std::unique_ptr<TVTHeader> header_;
  std::unique_ptr<TCustomVirtualTreeOptions> options_;
  std::unique_ptr<TScrollBarOptions> scrollBarOptions_;
  std::unique_ptr<TVTColors> colors_;
  std::unique_ptr<TClipboardFormats> clipboardFormats_;
  std::unique_ptr<TBitmap> background_;
  std::unique_ptr<TBitmap> plusBM_, minusBM_;
  uint8_t linePattern_[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
  int defaultNodeHeight_ = 18;
  int indent_ = 18;
  int margin_ = 4;
  int textMargin_ = 4;
  int updateCount_ = 0;
  int nodeDataSize_ = -1;
  int internalDataSize_ = 0;
  bool headerInternalTaken_ = false;  // TVirtualNode::HeaderInternal is claimed
  PVirtualNode focusedNode_ = nullptr;
  TColumnIndex focusedColumn_ = NoColumn;
  TColumnIndex editColumn_ = NoColumn;
  std::atomic<uint64_t> states_{0};
  uint32_t visibleCount_ = 0;
  std::vector<TCacheEntry> positionCache_;
  uint32_t startIndex_ = 0;
  std::vector<PVirtualNode> selection_;
  int selectionCount_ = 0;
  std::vector<PVirtualNode> tempNodeCache_;
  PVirtualNode rangeAnchor_ = nullptr;
  int lastSelectionLevel_ = -1;
  PVirtualNode dropTargetNode_ = nullptr;
  TDropMode lastDropMode_ = dmNowhere;
  PVirtualNode hotNode_ = nullptr;
  PVirtualNode lastChangedNode_ = nullptr;
  PVirtualNode lastStructureChangeNode_ = nullptr;
  TChangeReason lastStructureChangeReason_ = crIgnore;
  PVirtualNode lastSearchNode_ = nullptr;
  PVirtualNode lastClickedNode_ = nullptr;
  int offsetX_ = 0;
  int offsetY_ = 0;
  int rangeX_ = 0;
  int rangeY_ = 0;
  uint32_t bottomSpace_ = 0;
  TVTNodeAlignment nodeAlignment_ = naProportional;
  TAlignment alignment_ = taLeftJustify;
  TBiDiMode biDiMode_ = bdLeftToRight;
  int animationDuration_ = 200;
  TVTButtonStyle buttonStyle_ = bsRectangle;
  TVTButtonFillMode buttonFillMode_ = fmTreeColor;
  TVTLineStyle lineStyle_ = lsDotted;
  TVTLineMode lineMode_ = lmNormal;
  TCheckImageKind checkImageKind_ = ckLightCheck;
  TImageList* customCheckImages_ = nullptr;
  TImageList* images_ = nullptr;
  TImageList* stateImages_ = nullptr;
  // A change in any of the image lists repaints the tree.
  TChangeLink customCheckImagesLink_, imagesLink_, stateImagesLink_;
  int selectionCurveRadius_ = 0;
  uint8_t selectionBlendFactor_ = 128;
  TVTDrawSelectionMode drawSelectionMode_ = smDottedRectangle;
  TVTBevel bevel_;
  int backgroundOffsetX_ = 0;
  int backgroundOffsetY_ = 0;
  TVTIncrementalSearch incrementalSearch_ = isNone;
  TVTSearchDirection searchDirection_ = sdForward;
  TVTSearchStart searchStart_ = ssFocusedNode;
  int searchTimeout_ = 1000;
  WideString searchBuffer_;
  int autoExpandDelay_ = 1000;
  int autoScrollDelay_ = 1000;
  int autoScrollInterval_ = 1;
  int changeDelay_ = 0;
  int editDelay_ = 1000;
  TVTNodeAttachMode defaultPasteMode_ = amAddChildLast;
  TDragOperations dragOperations_{doCopy, doMove};
  TVTDragImageKind dragImageKind_ = diComplete;
  TVTDragType dragType_ = dtOLE;
  int dragWidth_ = 200;
  int dragHeight_ = 350;
  THintAnimationType hintAnimation_ = hatSystemDefault;
  TVTHintMode hintMode_ = hmDefault;
  TCursor hotCursor_ = crDefault;
  bool wantTabs_ = false;
  bool menuKeyServed_ = false;  // the Menu key opened the popup menu itself
  AnsiString accessibleName_;
  IVTEditLinkPtr editLink_;
  unsigned scrollDirections_ = 0;
  uint32_t autoScrollStart_ = 0;
  TPoint panningAnchor_;
  TPoint dragStartPoint_;
  TRect newSelRect_;
  bool dragPending_ = false;
  PVirtualNode checkNode_ = nullptr;
  TCheckState pendingCheckState_ = csUncheckedNormal;
  bool destroying_ = false;
  bool nodeDataSizeAsked_ = false;
  bool searchBackward_ = false;
  bool redrawOff_ = false;
  int paintRowTop_ = 0;
  bool bracketRedrawOff_ = false;
  TShiftState drawSelShift_ = 0;
  TCursor baseCursor_ = crDefault;
  TCursor appliedCursor_ = crDefault;
  uint32_t lastSearchTick_ = 0;
  // Dragged nodes, pictures of dragged nodes and header columns, and the
  // node handles tree view queries know.
  std::vector<PVirtualNode> dragSelection_;
  std::unordered_set<PVirtualNode> dragNodes_;
  std::unique_ptr<TVTDragImage> dragImage_, headerDragImage_;
  int dragThreshold_ = 0;
  std::unordered_set<PVirtualNode> knownHandles_;

  // Wheel panning feedback and the hint the platform asks for (CM_HINTSHOW):
  // the panning window over the anchor, the cursor pointing where the view
  // moves, and the tree's own hint window.
  virtual TCursor PanningCursorFor(int x, int y);
  void ShowPanningFeedback();
  bool AnswerHintShow(THintInfo& info);
  int HintShowPause(int pause);
  class TVTPanningWindow* panningWindow_ = nullptr;
  class TVirtualTreeHintWindow* hintWindow_ = nullptr;

 private:
  void ApplyInitStates(PVirtualNode node, TVirtualNodeInitStates states);
  // Frees a node's whole subtree, deepest nodes first, without recursion.
  void FreeSubtree(PVirtualNode top);
  void ReleaseNode(PVirtualNode node);
  void MoveToTree(PVirtualNode source, TBaseVirtualTree* targetTree, PVirtualNode target, TVTNodeAttachMode mode,
                  bool childrenOnly);
  void SortChildren(PVirtualNode node, TColumnIndex column, TSortDirection direction);
  PVirtualNode MergeSortedLists(PVirtualNode a, PVirtualNode b, TColumnIndex column, TSortDirection dir);
  PVirtualNode MergeSortList(PVirtualNode head, uint32_t count, TColumnIndex column, TSortDirection dir);
  bool HandleKeyNavigation(uint16_t key, TShiftState shift);
  // Tab with extended focus: the next (previous) visible cell, row by row.
  bool TabToNextCell(bool forward);
  // Grid keys: the first (last) or neighbouring visible column the focus may
  // move to, InvalidColumn when OnFocusChanging refuses them all.
  TColumnIndex EdgeFocusColumn(bool first, PVirtualNode node);
  TColumnIndex NeighbourFocusColumn(bool next);
  void MoveFocusedColumn(TColumnIndex column);
  PVirtualNode FindSearchMatch(PVirtualNode start, const WideString& text, bool includeStart);
  PVirtualNode NextSearchCandidate(PVirtualNode node);
  PVirtualNode SearchWrapStart();
  bool SearchCandidateAllowed(PVirtualNode node) const;
  void ToggleSelectionOnClick(const THitInfo& hitInfo, TShiftState shift);
};
