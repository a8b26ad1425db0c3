// TVTTreeTransfer: moves a tree's nodes through OLE. It is the tree's
// transfer host: it renders the tree's own node format ("Virtual Tree Data":
// node chunks of the tree stream) and, for string trees, the text formats;
// it copies, cuts and pastes through the clipboard; it runs the drag loop
// when the tree starts a drag and turns the drop-target calls of the tree's
// drag manager into a drop target node, a drop mode, auto scrolling, auto
// expanding and the OnDragOver / OnDragDrop answers.
//
// Contract
// - One transfer per tree, made by the tree's owner after the tree and
//   destroyed before it; the tree's clipboard messages (WM_COPY, WM_CUT,
//   WM_PASTE) and its drag start find it through Of. With toAcceptOLEDrop
//   the tree's window is registered as a drop target; switching the option
//   on or off later registers or revokes it.
//   A transfer going away while the clipboard holds its tree's data renders
//   that data first, so pasting still works afterwards.
// - Paste and drop insert nodes from the node format at a target with an
//   attach mode; nodes of this tree are moved (never into their own
//   subtree), nodes of another tree are copied and, for a cut, removed from
//   the other tree afterwards.
// - Damaged node data raises EVirtualTreeError before the tree changes.
#pragma once

#include <functional>
#include <vector>

#include "treecontrol/VTDataObject.h"
#include "treecontrol/VirtualTrees.h"

using TFormatArray = std::vector<CLIPFORMAT>;
using TVTDragOverEvent = std::function<void(TBaseVirtualTree* Sender, TBaseVirtualTree* Source, TShiftState Shift,
                                            TDragState State, TPoint Pt, TDropMode Mode, DWORD& Effect,
                                            bool& Accept)>;
using TVTDragDropEvent =
    std::function<void(TBaseVirtualTree* Sender, TBaseVirtualTree* Source, IDataObject* DataObject,
                       const TFormatArray& Formats, TShiftState Shift, TPoint Pt, DWORD& Effect, TDropMode Mode)>;
using TVTCreateDataObjectEvent = std::function<void(TBaseVirtualTree* Sender, TComPtr<IDataObject>& DataObject)>;
using TVTRenderOLEDataEvent = std::function<void(TBaseVirtualTree* Sender, const FORMATETC& FormatEtcIn,
                                                 STGMEDIUM& Medium, bool ForClipboard, HRESULT& Result)>;

class TVTTreeTransfer : public TVTTransferHost {
 public:
  explicit TVTTreeTransfer(TBaseVirtualTree* tree);
  ~TVTTreeTransfer() override;

  TBaseVirtualTree* Tree() const override { return tree_; }
  // The transfer of a tree (nullptr when it has none).
  static TVTTreeTransfer* Of(TBaseVirtualTree* tree);
  static CLIPFORMAT NodeFormat();

  // ---- Clipboard ------------------------------------------------------------
  bool CopyToClipboard();
  bool CutToClipboard();
  bool PasteFromClipboard();
  void CancelCutOrCopy() override;
  void FinishCutOrCopy();
  HRESULT RenderOLEData(const FORMATETC& format, STGMEDIUM& medium, bool forClipboard) override;
  bool ProcessOLEData(TBaseVirtualTree* source, IDataObject* data, PVirtualNode targetNode, TVTNodeAttachMode mode,
                      bool optimized);
  // Inserts a drop at the drop target by the drop mode (above, on, below;
  // nowhere adds to the end); a drag within this tree moves the nodes.
  bool ProcessDrop(IDataObject* data, TDropMode mode, DWORD effect);

  // ---- Dragging ---------------------------------------------------------------
  // The tree's drag manager, made on first use: the tree's
  // OnCreateDragManager may supply one, else a TVTDragManager is made.
  IVTDragManager* DragManager();
  // Registers or revokes the tree's window as a drop target by toAcceptOLEDrop.
  void UpdateDropTarget();
  // Runs a drag of the selection (the focused node joins it) from a screen
  // point; returns the effect. OnStartDrag and OnEndDrag of the tree fire.
  DWORD StartDrag(TPoint point);
  PVirtualNode DropTargetNode() const { return dropTarget_; }
  TDropMode LastDropMode() const { return lastDropMode_; }
  DWORD SuggestDropEffect(TBaseVirtualTree* source, TShiftState shift, TPoint point, DWORD allowed) const;

  TComPtr<IDataObject> CreateDataObject() override;
  HRESULT DragEnter(DWORD keyState, TPoint point, DWORD& effect) override;
  HRESULT DragOver(TBaseVirtualTree* source, DWORD keyState, TDragState state, TPoint point, DWORD& effect) override;
  void DragLeave() override;
  HRESULT DragDrop(IDataObject* data, DWORD keyState, TPoint point, DWORD& effect) override;
  // A class-library drop: OnDragDrop without a data object or formats, with
  // the effect and drop mode the last DragOver found.
  void ClassLibraryDrop(TBaseVirtualTree* source, DWORD keyState, TPoint point);

  TVTDragOverEvent OnDragOver;
  TVTDragDropEvent OnDragDrop;
  TVTCreateDataObjectEvent OnCreateDataObject;
  TVTRenderOLEDataEvent OnRenderOLEData;

 private:
  bool PutOnClipboard();
  void FlushOwnClipboard();
  bool DoDragOver(TBaseVirtualTree* source, TShiftState shift, TDragState state, TPoint point, TDropMode mode,
                  DWORD& effect);
  TShiftState ShiftStateOf(DWORD keyState) const;
  TDropMode DropModeAt(TPoint client, PVirtualNode& node);
  bool AutoScroll(TPoint client);
  void SetDropTarget(PVirtualNode node, TDropMode mode);
  void AutoExpand();
  void InsertCopies(TBaseVirtualTree* source, const AnsiString& bytes, PVirtualNode target, TVTNodeAttachMode mode);
  void MoveNodes(TBaseVirtualTree* source, PVirtualNode target, TVTNodeAttachMode mode);

  TBaseVirtualTree* tree_;
  TComPtr<IVTDragManager> dragManager_;
  bool registered_ = false;
  bool dragMoved_ = false;
  PVirtualNode dropTarget_ = nullptr;
  TDropMode lastDropMode_ = dmNowhere;
  DWORD lastEffect_ = DROPEFFECT_NONE;
  uint32_t dropTargetSince_ = 0;
};
