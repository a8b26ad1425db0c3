// Basic types of the virtual tree: small enumeration sets, the node record
// with its state bits, the tree states, column indexes, attach modes, hit
// positions and the tree's error and assertion exceptions.
//
// A node record (TVirtualNode) is one zero-filled record of the tree's pool:
// the header below (64 bytes), then the internal data reserved by derived
// trees beyond the header's two bytes of it, then the user data of
// NodeDataSize bytes. Counts and heights kept in every node obey:
// TotalCount = 1 + sum of the children's TotalCount; TotalHeight = NodeHeight
// + (expanded ? sum of the visible children's TotalHeight : 0).
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/controls/StdCtrls.h"
#include "platform/rtl/SysUtils.h"

// A set of enumeration members stored as bits (member n is bit n).
template <class E, class Bits>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> members) {
    for (E m : members) bits_ |= Bit(m);
  }
  static constexpr TEnumSet FromBits(Bits b) {
    TEnumSet s;
    s.bits_ = b;
    return s;
  }
  constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Bits Value() const { return bits_; }
  constexpr TEnumSet& Include(E m) { bits_ |= Bit(m); return *this; }
  constexpr TEnumSet& Exclude(E m) { bits_ &= Bits(~Bit(m)); return *this; }
  constexpr TEnumSet operator+(TEnumSet o) const { return FromBits(Bits(bits_ | o.bits_)); }
  constexpr TEnumSet operator-(TEnumSet o) const { return FromBits(Bits(bits_ & ~o.bits_)); }
  constexpr TEnumSet operator*(TEnumSet o) const { return FromBits(Bits(bits_ & o.bits_)); }
  constexpr bool operator==(const TEnumSet&) const = default;
  // True when any member of o is in the set.
  constexpr bool Intersects(TEnumSet o) const { return (bits_ & o.bits_) != 0; }

 private:
  static constexpr Bits Bit(E m) { return Bits(Bits(1) << unsigned(m)); }
  Bits bits_ = 0;
};

// Node states (bits of TVirtualNode::States).
enum : uint16_t {
  nsInitialized = 1 << 0,
  nsChecking = 1 << 1,
  nsCutOrCopy = 1 << 2,
  nsDisabled = 1 << 3,
  nsDeleting = 1 << 4,
  nsExpanded = 1 << 5,
  nsHasChildren = 1 << 6,
  nsVisible = 1 << 7,
  nsSelected = 1 << 8,
  nsInitialUserData = 1 << 9,
  nsAllChildrenHidden = 1 << 10,
  nsClearing = 1 << 11,
  nsMultiline = 1 << 12,
  nsHeightMeasured = 1 << 13,
  nsToggling = 1 << 14,
};

// Initial states an OnInitNode handler may ask for.
enum TVirtualNodeInitState : uint8_t { ivsDisabled, ivsExpanded, ivsHasChildren, ivsMultiline, ivsSelected };
using TVirtualNodeInitStates = TEnumSet<TVirtualNodeInitState, uint8_t>;

// Check states: odd values are the pressed forms shown while the mouse is down.
enum TCheckState : uint8_t {
  csUncheckedNormal, csUncheckedPressed, csCheckedNormal, csCheckedPressed, csMixedNormal,
  csMixedPressed
};
enum TCheckType : uint8_t { ctNone, ctTriStateCheckBox, ctCheckBox, ctRadioButton, ctButton };

struct TVirtualNode;
using PVirtualNode = TVirtualNode*;

struct TVirtualNode {
  uint32_t Index;
  uint32_t ChildCount;
  uint16_t NodeHeight;
  uint16_t States;
  uint8_t Align;
  uint8_t CheckState : 4;  // a TCheckState
  uint8_t CheckType : 4;   // a TCheckType
  // Two bytes of internal data in the header itself: the first claim of at
  // most that size (ReserveInternalData) gets them, so a tree whose internal
  // data fits here has nodes of the header's size alone.
  uint16_t HeaderInternal;
  uint32_t TotalCount;
  uint32_t TotalHeight;
  PVirtualNode Parent;
  PVirtualNode PrevSibling;
  PVirtualNode NextSibling;
  PVirtualNode FirstChild;
  PVirtualNode LastChild;
  // Internal data and user data follow the header.
};

// Offset of the first byte after the header, rounded to 8.
constexpr int NodeHeaderSize = (sizeof(TVirtualNode) + 7) / 8 * 8;
static_assert(sizeof(void*) != 8 || NodeHeaderSize == 64, "an expanded folder of millions of rows costs 64 bytes a row");

// Tree states (TVirtualTreeStates), changed only through ChangeStates.
enum TVirtualTreeState : uint8_t {
  stCancelHintAnimation = 0,
  stChangePending = 1,
  stPropagatingChecks = 2,
  stCollapsing = 3,
  stToggleFocusedSelection = 4,
  stClearPending = 5,
  stClipboardFlushing = 6,
  stCopyPending = 7,
  stCutPending = 8,
  stDrawSelPending = 9,
  stDrawSelecting = 10,
  stEditing = 11,
  stEditPending = 12,
  stExpanding = 13,
  stHint = 14,
  stInAnimation = 15,
  stIncrementalSearching = 16,
  stIncrementalSearchPending = 17,
  stIterating = 18,
  stKeyCheckPending = 19,
  stLeftButtonDown = 20,
  stLeftDblClick = 21,
  stMouseCheckPending = 22,
  stMiddleButtonDown = 23,
  stMiddleDblClick = 24,
  stScaleOnLoad = 25,
  stRootCountOnLoad = 26,
  stOLEDragging = 27,
  stOLEDragPending = 28,
  stPainting = 29,
  stRightButtonDown = 30,
  stRightDblClick = 31,
  stPopupMenuShown = 32,
  stScrolling = 33,
  stScrollPending = 34,
  stSizing = 35,
  stHaltValidation = 36,
  stStructureChangePending = 37,
  stSynchMode = 38,
  stThumbTracking = 39,
  stToggling = 40,
  stUpdateHiddenChildrenNeeded = 41,
  stCacheValid = 42,
  stUserDragObject = 43,
  stUseThemes = 44,
  stValidatingCache = 45,
  stCacheStale = 46,
  stVCLDragging = 47,
  stVCLDragPending = 48,
  stWheelPanning = 49,
  stWheelScrolling = 50,
  stWindowCreating = 51,
  stUpdating = 52,
  stEditCancelled = 53,
};
using TVirtualTreeStates = TEnumSet<TVirtualTreeState, uint64_t>;

using TColumnIndex = int;
using TColumnPosition = unsigned;
constexpr TColumnIndex NoColumn = -1;
constexpr TColumnIndex InvalidColumn = -2;

enum TVTNodeAttachMode { amNoWhere, amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast };

// Reasons passed to OnStructureChange.
enum TChangeReason { crIgnore, crAccumulated, crChildAdded, crChildDeleted, crNodeAdded, crNodeCopied,
                     crNodeMoved };

enum TVTUpdateState { usBegin, usBeginSynch, usSynch, usUpdate, usEnd, usEndSynch };
enum TVTImageKind { ikNormal, ikSelected, ikState, ikOverlay };

// Standard tree view queries the tree answers for tools that read tree views;
// an item handle is the node pointer.
constexpr UINT TVM_GETITEMRECT = 0x1104, TVM_GETNEXTITEM = 0x110A, TVM_GETITEMA = 0x110C;
constexpr UINT TVIF_TEXT = 0x1, TVIF_IMAGE = 0x2, TVIF_STATE = 0x8, TVIF_HANDLE = 0x10, TVIF_SELECTEDIMAGE = 0x20,
               TVIF_CHILDREN = 0x40;
constexpr UINT TVIS_FOCUSED = 0x1, TVIS_SELECTED = 0x2, TVIS_CUT = 0x4, TVIS_DROPHILITED = 0x8, TVIS_EXPANDED = 0x20;

// Printing a window into a canvas (WParam).
constexpr UINT WM_PRINT = 0x0317;
constexpr LPARAM PRF_CHECKVISIBLE = 0x1, PRF_NONCLIENT = 0x2, PRF_CLIENT = 0x4;

// Item record of TVM_GETITEMA: the caller sets Mask, Item and, for the text,
// a buffer of TextMax bytes; the tree fills the fields the mask names.
struct TTVItemA {
  UINT Mask = 0;
  void* Item = nullptr;
  UINT State = 0;
  UINT StateMask = 0;
  char* Text = nullptr;
  int TextMax = 0;
  int Image = 0;
  int SelectedImage = 0;
  int Children = 0;
  LPARAM Param = 0;
};
enum TSortDirection { sdAscending, sdDescending };
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

// Left and right justification swap places when reading from the right.
inline TAlignment MirroredAlignment(TAlignment alignment, TBiDiMode bidi) {
  if (bidi == bdLeftToRight) return alignment;
  if (alignment == taLeftJustify) return taRightJustify;
  if (alignment == taRightJustify) return taLeftJustify;
  return alignment;
}

// Hit positions (bit numbers of THitInfo::HitPositions).
enum THitPosition : uint8_t {
  hiAbove, hiBelow, hiNowhere, hiOnItem, hiOnItemButton, hiOnItemCheckbox, hiOnItemIndent,
  hiOnItemLabel, hiOnItemLeft, hiOnItemRight, hiOnNormalIcon, hiOnStateIcon, hiToLeft, hiToRight
};
using THitPositions = TEnumSet<THitPosition, uint16_t>;

struct THitInfo {
  PVirtualNode HitNode = nullptr;
  THitPositions HitPositions;
  TColumnIndex HitColumn = NoColumn;
};

// Drop modes of a drag over the tree.
enum TDropMode { dmNowhere, dmAbove, dmOnNode, dmBelow };

// A tree error (code in HelpContext, 2000 to 2007).
class EVirtualTreeError : public Exception {
 public:
  using Exception::Exception;
};

// A broken caller contract: the message names the failed condition.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

inline void VTAssert(bool condition, const char* message) {
  if (!condition) throw EAssertionFailed(message);
}
