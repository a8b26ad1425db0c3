// TVTTreeTransfer: its life, the clipboard, rendering the tree's formats and
// taking nodes out of data objects.
#include <cstring>
#include <map>

#include "platform/controls/ActnList.h"
#include "platform/ole/OleClipboard.h"
#include "treecontrol/VTDragDrop.h"
#include "treecontrol/VTExport.h"
#include "treecontrol/VTStream.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VTWorkerThread.h"

namespace {

std::map<TBaseVirtualTree*, TVTTreeTransfer*>& Transfers() {
  static std::map<TBaseVirtualTree*, TVTTreeTransfer*> transfers;
  return transfers;
}

class TUpdateBracket {
 public:
  explicit TUpdateBracket(TBaseVirtualTree* tree) : tree_(tree) { tree_->BeginUpdate(); }
  ~TUpdateBracket() { tree_->EndUpdate(); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;

 private:
  TBaseVirtualTree* tree_;
};

[[noreturn]] void DamagedNodeData() {
  RaiseTreeError(u"Unable to load tree structure, not enough data available.", 2004);
}

// The node chunks of a node-format medium: u32 count and bytes on global
// memory, the whole stream on a stream medium, nothing on an empty medium
// (no nodes were marked). Sizes are checked.
AnsiString NodeBytesOf(const STGMEDIUM& medium) {
  if (medium.tymed == TYMED_NULL) return {};
  if (medium.tymed == TYMED_HGLOBAL) {
    const AnsiString block = GlobalBytes(medium.hGlobal);
    if (block.size() < 4) DamagedNodeData();
    uint32_t count = 0;
    std::memcpy(&count, block.data(), 4);
    if (count > block.size() - 4) DamagedNodeData();
    if (int64_t(count) > MaxStreamBytes) RaiseTreeDataTooLarge();
    return block.substr(4, count);
  }
  if (medium.tymed != TYMED_ISTREAM || !medium.pstm) DamagedNodeData();
  if (FAILED(medium.pstm->Seek(0, STREAM_SEEK_SET, nullptr))) DamagedNodeData();
  AnsiString bytes;
  char chunk[16384];
  for (;;) {
    ULONG read = 0;
    if (FAILED(medium.pstm->Read(chunk, sizeof chunk, &read))) DamagedNodeData();
    bytes.append(chunk, read);
    if (int64_t(bytes.size()) > MaxStreamBytes)
      RaiseTreeDataTooLarge();
    if (read < sizeof chunk) return bytes;
  }
}

// Global memory is preferred: the clipboard keeps a format's bytes without
// their medium, and only the global-memory form says how many bytes belong.
HRESULT RenderNodes(const AnsiString& chunks, DWORD tymed, STGMEDIUM& medium) {
  if (!(tymed & TYMED_HGLOBAL)) {
    IStream* stream = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, true, &stream);
    if (FAILED(hr)) return hr;
    ULONG written = 0;
    stream->Write(chunks.data(), ULONG(chunks.size()), &written);
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = stream;
    return written == chunks.size() ? S_OK : E_OUTOFMEMORY;
  }
  if (chunks.empty()) return S_OK;
  if (chunks.size() > UINT32_MAX) return E_OUTOFMEMORY;
  HGLOBAL block = GlobalAlloc(GMEM_SHARE | GMEM_MOVEABLE | GMEM_ZEROINIT, chunks.size() + 4);
  if (!block) return E_OUTOFMEMORY;
  auto* bytes = static_cast<char*>(GlobalLock(block));
  const uint32_t count = uint32_t(chunks.size());
  std::memcpy(bytes, &count, 4);
  std::memcpy(bytes + 4, chunks.data(), chunks.size());
  GlobalUnlock(block);
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block;
  return S_OK;
}

}  // namespace

TVTTreeTransfer::TVTTreeTransfer(TBaseVirtualTree* tree) : tree_(tree) {
  VTAssert(tree != nullptr, "A transfer needs a tree.");
  if (!TreeGlobalsInitialized()) InitializeTreeGlobals();
  Transfers()[tree] = this;
  UpdateDropTarget();
}

TVTTreeTransfer::~TVTTreeTransfer() {
  try {
    FlushOwnClipboard();
  } catch (...) {
    // The clipboard keeps what it could take; the tree goes either way.
  }
  if (registered_ && tree_->HandleAllocated()) RevokeDragDrop(tree_->Handle());
  Transfers().erase(tree_);
}

TVTTreeTransfer* TVTTreeTransfer::Of(TBaseVirtualTree* tree) {
  auto it = Transfers().find(tree);
  return it == Transfers().end() ? nullptr : it->second;
}

CLIPFORMAT TVTTreeTransfer::NodeFormat() { return CLIPFORMAT(RegisterClipboardFormat("Virtual Tree Data")); }

void TVTTreeTransfer::FlushOwnClipboard() {
  TComPtr<IDataObject> current;
  if (FAILED(OleGetClipboard(current.Receive())) || !current) return;
  if (GetTreeFromDataObject(current.Get()) != tree_) return;
  current.Reset();
  tree_->ChangeStates({stClipboardFlushing}, {});
  OleFlushClipboard();
  tree_->ChangeStates({}, {stClipboardFlushing});
}

// ---- Clipboard -------------------------------------------------------------------

bool TVTTreeTransfer::PutOnClipboard() {
  if (tree_->SelectedCount() == 0) return false;
  TComPtr<IDataObject> data(new TVTDataObject(this, true));
  if (FAILED(OleSetClipboard(data.Get()))) return false;
  tree_->MarkCutCopyNodes();
  return true;
}

bool TVTTreeTransfer::CopyToClipboard() {
  if (!PutOnClipboard()) return false;
  tree_->ChangeStates({stCopyPending}, {});
  tree_->Invalidate();
  return true;
}

bool TVTTreeTransfer::CutToClipboard() {
  if (tree_->TreeOptions().MiscOptions().Contains(toReadOnly) || !PutOnClipboard()) return false;
  tree_->ChangeStates({stCutPending}, {stCopyPending});
  tree_->Invalidate();
  return true;
}

void TVTTreeTransfer::CancelCutOrCopy() {
  if (!tree_->HasState(stCutPending) && !tree_->HasState(stCopyPending)) return;
  TValidationPause pause(tree_);
  for (PVirtualNode run = tree_->GetFirstNoInit(); run; run = tree_->GetNextNoInit(run))
    run->States &= uint16_t(~nsCutOrCopy);
  tree_->ChangeStates({}, {stCutPending, stCopyPending});
  tree_->Invalidate();
}

void TVTTreeTransfer::FinishCutOrCopy() {
  if (!tree_->HasState(stCutPending)) return;
  TUpdateBracket bracket(tree_);
  PVirtualNode run = tree_->GetFirstNoInit();
  while (run) {
    if (!(run->States & nsCutOrCopy)) {
      run = tree_->GetNextNoInit(run);
      continue;
    }
    // Continue after the subtree that goes.
    PVirtualNode next = run;
    while (next && !next->NextSibling && next->Parent != tree_->RootNode()) next = next->Parent;
    next = next ? next->NextSibling : nullptr;
    tree_->DeleteNode(run);
    run = next;
  }
  tree_->ChangeStates({}, {stCutPending});
}

bool TVTTreeTransfer::PasteFromClipboard() {
  if (tree_->TreeOptions().MiscOptions().Contains(toReadOnly)) return false;
  TComPtr<IDataObject> data;
  if (FAILED(OleGetClipboard(data.Receive())) || !data) RaiseTreeError(u"Clipboard operation failed.", 2007);
  TBaseVirtualTree* source = GetTreeFromDataObject(data.Get());
  const bool cut = source && source->HasState(stCutPending);
  const bool result = ProcessOLEData(source, data.Get(), tree_->FocusedNode(), tree_->DefaultPasteMode(),
                                     cut && source == tree_);
  if (source == tree_) {
    tree_->ChangeStates({}, {stCutPending});
  } else if (TVTTreeTransfer* other = Of(source); other && result) {
    other->FinishCutOrCopy();
  }
  return result;
}

// ---- Rendering and taking nodes -----------------------------------------------------

HRESULT TVTTreeTransfer::RenderOLEData(const FORMATETC& format, STGMEDIUM& medium, bool forClipboard) {
  medium = STGMEDIUM();
  if (format.cfFormat == NodeFormat()) {
    if (!(format.tymed & (TYMED_HGLOBAL | TYMED_ISTREAM))) return DV_E_TYMED;
    const std::vector<PVirtualNode> nodes =
        forClipboard ? tree_->GetSortedCutCopySet(true) : tree_->GetSortedSelection(true);
    return RenderNodes(NodeChunks(*tree_, nodes), format.tymed, medium);
  }
  if (auto* strings = dynamic_cast<TCustomVirtualStringTree*>(tree_); strings && (format.tymed & TYMED_HGLOBAL)) {
    if (HGLOBAL block = ContentToClipboard(*strings, format.cfFormat, forClipboard ? tstCutCopySet : tstSelected)) {
      medium.tymed = TYMED_HGLOBAL;
      medium.hGlobal = block;
      return S_OK;
    }
  }
  HRESULT result = E_FAIL;
  if (OnRenderOLEData) OnRenderOLEData(tree_, format, medium, forClipboard, result);
  return result;
}

bool TVTTreeTransfer::ProcessOLEData(TBaseVirtualTree* source, IDataObject* data, PVirtualNode targetNode,
                                     TVTNodeAttachMode mode, bool optimized) {
  FORMATETC wanted = MakeFormatEtc(NodeFormat(), TYMED_ISTREAM | TYMED_HGLOBAL);
  const bool result = data && data->QueryGetData(&wanted) == S_OK;
  if (!result || tree_->TreeOptions().MiscOptions().Contains(toReadOnly)) return result;
  TUpdateBracket bracket(tree_);
  if (!targetNode) targetNode = tree_->RootNode();
  if (targetNode == tree_->RootNode()) {
    if (mode == amInsertBefore) mode = amAddChildFirst;
    if (mode == amInsertAfter) mode = amAddChildLast;
  }
  if (optimized && source == tree_) {
    MoveNodes(source, targetNode, mode);
    return true;
  }
  STGMEDIUM medium;
  if (FAILED(data->GetData(&wanted, &medium))) return false;
  struct TMediumRelease {
    STGMEDIUM* Medium;
    ~TMediumRelease() { ReleaseStgMedium(Medium); }
  } release{&medium};
  InsertCopies(source, NodeBytesOf(medium), targetNode, mode);
  return true;
}

void TVTTreeTransfer::InsertCopies(TBaseVirtualTree* source, const AnsiString& bytes, PVirtualNode target,
                                   TVTNodeAttachMode mode) {
  PVirtualNode eventTarget = target == tree_->RootNode() ? nullptr : target;
  InsertNodeChunks(*tree_, bytes, target, mode, [&](PVirtualNode node) {
    bool allowed = true;
    if (tree_->OnNodeCopying) tree_->OnNodeCopying(tree_, node, eventTarget, allowed);
    if (!allowed) {
      tree_->DeleteNode(node);
      return false;
    }
    if (tree_->OnNodeCopied) tree_->OnNodeCopied(tree_, node);
    tree_->StructureChange(node, source == tree_ ? crNodeCopied : crNodeAdded);
    return true;
  });
}

void TVTTreeTransfer::MoveNodes(TBaseVirtualTree* source, PVirtualNode target, TVTNodeAttachMode mode) {
  TVTTreeTransfer* sourceTransfer = Of(source);
  std::vector<PVirtualNode> nodes =
      source->HasState(stOLEDragging) ? source->DragSelection() : source->GetSortedCutCopySet(true);
  if (sourceTransfer) sourceTransfer->dragMoved_ = true;
  // Walking in the right direction keeps the nodes' order at the target.
  if (mode != amInsertBefore && mode != amAddChildLast) std::reverse(nodes.begin(), nodes.end());
  for (PVirtualNode node : nodes) {
    if (node == target || tree_->HasAsParent(target, node)) continue;
    source->MoveTo(node, target, mode, false);
  }
}

bool TVTTreeTransfer::ProcessDrop(IDataObject* data, TDropMode mode, DWORD effect) {
  TBaseVirtualTree* source = GetTreeFromDataObject(data);
  PVirtualNode target = dropTarget_;
  TVTNodeAttachMode attach = amAddChildLast;
  if (mode == dmAbove) attach = amInsertBefore;
  if (mode == dmBelow) attach = amInsertAfter;
  if (mode == dmNowhere) target = nullptr;
  return ProcessOLEData(source, data, target, attach, source == tree_ && (effect & DROPEFFECT_MOVE));
}

// ---- The tree's clipboard hooks ------------------------------------------------------

bool TBaseVirtualTree::CopyToClipBoard() {
  TVTTreeTransfer* transfer = TVTTreeTransfer::Of(this);
  return transfer && transfer->CopyToClipboard();
}

bool TBaseVirtualTree::CutToClipBoard() {
  TVTTreeTransfer* transfer = TVTTreeTransfer::Of(this);
  return transfer && transfer->CutToClipboard();
}

bool TBaseVirtualTree::PasteFromClipboard() {
  TVTTreeTransfer* transfer = TVTTreeTransfer::Of(this);
  return transfer && transfer->PasteFromClipboard();
}

// ---- The standard edit actions ------------------------------------------------------

namespace {

// A standard edit action meant for this tree: one given the tree as its
// control, or given none while the tree has the focus.
bool ServedEditAction(TBaseVirtualTree* tree, TBasicAction* action) {
  auto* edit = dynamic_cast<TEditAction*>(action);
  return edit && (edit->Control() ? edit->Control() == tree : tree->Focused());
}

// Whether the clipboard holds nodes a tree can paste.
bool ClipboardOffersNodes() {
  TComPtr<IDataObject> data;
  if (FAILED(OleGetClipboard(data.Receive())) || !data) return false;
  FORMATETC wanted = MakeFormatEtc(TVTTreeTransfer::NodeFormat(), TYMED_ISTREAM | TYMED_HGLOBAL);
  return data->QueryGetData(&wanted) == S_OK;
}

}  // namespace

bool TBaseVirtualTree::ExecuteAction(TBasicAction* action) {
  if (TCustomControl::ExecuteAction(action)) return true;
  if (!ServedEditAction(this, action)) return false;
  if (dynamic_cast<TEditSelectAll*>(action)) {
    SelectAll(false);
    return true;
  }
  if (dynamic_cast<TEditCopy*>(action)) {
    CopyToClipBoard();
    return true;
  }
  if (options_->MiscOptions().Contains(toReadOnly)) return false;
  if (dynamic_cast<TEditCut*>(action)) CutToClipBoard();
  else if (dynamic_cast<TEditPaste*>(action)) PasteFromClipboard();
  else if (dynamic_cast<TEditDelete*>(action)) DeleteSelectedNodes();
  else return false;
  return true;
}

bool TBaseVirtualTree::UpdateAction(TBasicAction* action) {
  if (!ServedEditAction(this, action)) return TCustomControl::UpdateAction(action);
  const bool selection = selectionCount_ > 0, writable = !options_->MiscOptions().Contains(toReadOnly);
  bool enabled = false;
  if (dynamic_cast<TEditSelectAll*>(action))
    enabled = options_->SelectionOptions().Contains(toMultiSelect) && visibleCount_ > 0;
  else if (dynamic_cast<TEditCopy*>(action))
    enabled = selection;
  else if (dynamic_cast<TEditCut*>(action) || dynamic_cast<TEditDelete*>(action))
    enabled = selection && writable;
  else if (dynamic_cast<TEditPaste*>(action))
    enabled = writable && ClipboardOffersNodes();
  else
    return TCustomControl::UpdateAction(action);
  static_cast<TEditAction*>(action)->SetEnabled(enabled);
  return true;
}
