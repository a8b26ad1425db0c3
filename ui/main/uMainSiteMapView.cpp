// The site map view: a virtual string tree that mirrors the store by child
// indexes (see uMainSiteMap.h).
#include <algorithm>
#include <unordered_set>

#include "platform/controls/ExtCtrls.h"
#include "platform/controls/Forms.h"
#include "project/uQuere.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/main/uMain.h"

namespace {

// How many top-level nodes a refresh reveals between two rounds of messages.
constexpr int RefreshBatch = 256;
// Interval of the row update during a run: a frame (about 60 a second).
constexpr unsigned RowUpdateInterval = 16;
// Selections of more rows than this do not follow their nodes.
constexpr int KeptSelectionLimit = 256;

}  // namespace

TSiteMapView::TSiteMapView(TMainForm& Form, TVirtualStringTree* Tree)
    : FForm(Form), FTree(Tree), FRowTimer(std::make_unique<TTimer>(nullptr)) {
  FRowTimer->SetEnabled(false);
  FRowTimer->SetInterval(RowUpdateInterval);
  FRowTimer->OnTimer = [this](TObject*) { SyncShownRows(); };
  HookEvents();
}

TSiteMapView::~TSiteMapView() {
  FRowTimer->SetEnabled(false);
  FTree->OnGetText = nullptr;
  FTree->OnInitNode = nullptr;
  FTree->OnInitChildren = nullptr;
  FTree->OnExpanding = nullptr;
  FTree->OnGetImageIndex = nullptr;
  FTree->OnFocusChanged = nullptr;
  FTree->OnFreeNode = nullptr;
}

void TSiteMapView::HookEvents() {
  FTree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, WideString& text) {
    const TDataObj* site = SiteNode(node);
    text = site ? Utf8ToWide(AnsiString(site->Name()) + FForm.FailureNote(*site)) : WideString();
  };
  // A focus event for the row already focused (a column change) keeps its node.
  FTree->OnFocusChanged = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex) {
    if (node != FKeptFocus) KeepFocusAndSelection();
  };
  FTree->OnFreeNode = [this](TBaseVirtualTree*, PVirtualNode node) {
    if (node == FKeptFocus) FKeptFocus = nullptr;
  };
  FTree->OnInitNode = [this](TBaseVirtualTree*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
    const TDataObj* site = SiteNode(node);
    if (site && site->ChildCount() > 0) states.Include(ivsHasChildren);
  };
  FTree->OnInitChildren = [this](TBaseVirtualTree*, PVirtualNode node, uint32_t& count) {
    const TDataObj* site = SiteNode(node);
    count = site ? uint32_t(site->ChildCount()) : 0;
  };
  FTree->OnExpanding = [this](TBaseVirtualTree*, PVirtualNode node, bool& allowed) {
    const TDataObj* site = SiteNode(node);
    allowed = site != nullptr;
    if (!site) return;
    MatchChildCount(node, site);
    FTree->InvalidateToBottom(node);
  };
  FTree->OnGetImageIndex = [this](TBaseVirtualTree*, PVirtualNode node, TVTImageKind kind, TColumnIndex, bool&,
                                  int& index) {
    if (kind == ikState) index = ImageIndexOf(SiteNode(node));
  };
}

TListObj* TSiteMapView::Store() const { return FForm.Store; }

int TSiteMapView::ImageIndexOf(const TDataObj* Node) {
  if (!Node) return -1;
  if (Node->State & snFailed) return 5;
  if (Node->Depth == 1 || (Node->DirIn & dmStartHost)) return 1;
  if ((Node->DirIn & dmStartDir) || Node->ChildCount() > 0) return 2;
  return (Node->State & snLoaded) ? 3 : 4;
}

// --- Mapping -------------------------------------------------------------------

TDataObj* TSiteMapView::SiteNode(TVirtualNode* ViewNode) const {
  TListObj* store = Store();
  if (!store || !ViewNode || ViewNode == FTree->RootNode()) return nullptr;
  FPath.clear();
  for (PVirtualNode n = ViewNode; n != FTree->RootNode(); n = n->Parent) FPath.push_back(int(n->Index));
  std::reverse(FPath.begin(), FPath.end());
  return store->NodeFromTreeNode(FPath);
}

TVirtualNode* TSiteMapView::ViewChild(TVirtualNode* Parent, int Index) const {
  if (!Parent) Parent = FTree->RootNode();
  if (Index < 0 || uint32_t(Index) >= Parent->ChildCount) return nullptr;
  // Siblings are linked only: start from the nearer end.
  if (uint32_t(Index) < Parent->ChildCount / 2) {
    PVirtualNode child = Parent->FirstChild;
    for (int i = 0; i < Index; ++i) child = child->NextSibling;
    return child;
  }
  PVirtualNode child = Parent->LastChild;
  for (uint32_t i = Parent->ChildCount - 1; i > uint32_t(Index); --i) child = child->PrevSibling;
  return child;
}

void TSiteMapView::MatchChildCount(TVirtualNode* ViewNode, const TDataObj* Node) {
  const uint32_t wanted = uint32_t(Node->ChildCount());
  if (!ViewNode || ViewNode == FTree->RootNode()) {
    if (FTree->RootNodeCount() != wanted) FTree->SetRootNodeCount(wanted);
    return;
  }
  if (ViewNode->ChildCount != wanted) FTree->SetChildCount(ViewNode, wanted);
  if (wanted == 0 && FTree->HasChildren(ViewNode)) FTree->SetHasChildren(ViewNode, false);
}

TVirtualNode* TSiteMapView::RevealNode(TDataObj* Node) {
  TListObj* store = Store();
  if (!store || !Node) return nullptr;
  std::vector<TDataObj*> chain;
  for (TDataObj* n = Node; n->Parent; n = n->Parent) chain.push_back(n);
  if (chain.empty() || chain.back()->Parent != store->Root) return nullptr;
  MatchChildCount(nullptr, store->Root);
  PVirtualNode view = nullptr;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    view = ViewChild(view, (*it)->IndexInParent());
    if (!view) return nullptr;
    MatchChildCount(view, *it);
    FTree->SetExpanded(view, true);
    FTree->InvalidateToBottom(view);
  }
  return view;
}

TVirtualNode* TSiteMapView::ViewNodeOf(TDataObj* Node) const {
  std::vector<int> path;
  for (const TDataObj* n = Node; n && n->Parent; n = n->Parent) path.push_back(n->IndexInParent());
  PVirtualNode view = nullptr;
  for (auto it = path.rbegin(); it != path.rend(); ++it)
    if (!(view = ViewChild(view, *it))) return nullptr;
  return view;
}

std::vector<TDataObj*> TSiteMapView::SelectedSiteNodes() const {
  std::vector<TDataObj*> nodes;
  for (PVirtualNode view : FTree->GetSortedSelection(false))
    if (TDataObj* node = SiteNode(view)) nodes.push_back(node);
  const std::unordered_set<const TDataObj*> chosen(nodes.begin(), nodes.end());
  auto insideAnother = [&](const TDataObj* node) {
    for (const TDataObj* p = node->Parent; p; p = p->Parent)
      if (chosen.count(p)) return true;
    return false;
  };
  nodes.erase(std::remove_if(nodes.begin(), nodes.end(), insideAnother), nodes.end());
  return nodes;
}

// --- What run control calls ------------------------------------------------------

void TSiteMapView::Clear() {
  NodesFreed();
  FShownRows.clear();
  FTree->BeginUpdate();
  FTree->Clear();
  FTree->EndUpdate();
}

void TSiteMapView::SetRootCount(int Count) { FTree->SetRootNodeCount(uint32_t(std::max(0, Count))); }

void TSiteMapView::Refresh(TDataObj* Focus) {
  TListObj* store = Store();
  if (!store) return;
  const unsigned generation = FGeneration;
  auto stillValid = [&] { return generation == FGeneration && Store() == store && !Application->Terminated(); };
  PVirtualNode found = nullptr;
  FTree->BeginUpdate();
  MatchChildCount(nullptr, store->Root);
  for (int i = 0; i < store->Root->ChildCount() && stillValid(); ++i) {
    TDataObj* host = store->Root->Child(i);
    PVirtualNode view = RevealNode(host);
    if (host == Focus) found = view;
    if ((i + 1) % RefreshBatch == 0) Application->ProcessMessages();
  }
  if (!stillValid()) found = nullptr;
  else if (!found && Focus) found = RevealNode(Focus);
  FTree->EndUpdate();
  if (found) FocusViewNode(found, true);
}

void TSiteMapView::Reveal(TDataObj* Node, bool Focus) {
  PVirtualNode view = RevealNode(Node);
  if (view && Focus) FocusViewNode(view, false);
}

void TSiteMapView::FocusViewNode(TVirtualNode* ViewNode, bool Center) {
  if (!ViewNode) return;
  SetFocus();
  FTree->ClearSelection();
  FTree->SetSelected(ViewNode, true);
  FTree->SetFocusedNode(ViewNode);
  KeepFocusAndSelection();
  FTree->ScrollIntoView(ViewNode, Center);
}

void TSiteMapView::SelectUrl(const AnsiString& Url) {
  TListObj* store = Store();
  if (!store) return;
  std::string_view rest = Url;
  const AnsiString scheme = TakeScheme(rest);
  TStringList items;
  SplitStr("/", AnsiString(rest), items);
  TDataObj* node = store->Root;
  for (int i = 0; i < items.Count() && node->ChildCount() > 0; ++i) {
    TDataObj* child = node->FindChild(i == 0 ? scheme + items[i] : items[i]);
    if (!child) break;
    node = child;
  }
  if (node != store->Root) FocusViewNode(RevealNode(node), false);
}

TDataObj* TSiteMapView::FocusedNode() const {
  PVirtualNode focused = FTree->FocusedNode();
  return focused && focused == FKeptFocus ? FKeptFocusNode : SiteNode(focused);
}

TDataObj* TSiteMapView::FirstNode() const { return SiteNode(FTree->GetFirstNoInit()); }

// During a run the frame's row update brings the rows up to date, and the
// tree's own bracket, whose end repaints every row, is left out; otherwise
// the tree is bracketed and the rows are brought up to date at the end.
void TSiteMapView::BeginUpdate() {
  if (FUpdates++ == 0) FTreeBracketed = !FRowTimer->Enabled();
  if (FTreeBracketed) FTree->BeginUpdate();
}

void TSiteMapView::EndUpdate() {
  if (FUpdates == 0) return;
  if (FTreeBracketed) FTree->EndUpdate();
  if (--FUpdates == 0 && FTreeBracketed) SyncShownRows();
}

void TSiteMapView::SetFocus() {
  if (FTree->CanFocus()) FTree->SetFocus();
}

void TSiteMapView::SetRunning(bool Running) { FRowTimer->SetEnabled(Running); }

void TSiteMapView::NodesFreed() {
  ++FGeneration;
  FKeptFocus = nullptr;
  FKeptFocusNode = nullptr;
  FKeptSelection.clear();
}

void TSiteMapView::KeepFocusAndSelection() {
  if (FFollowing) return;
  FKeptFocus = FTree->FocusedNode();
  FKeptFocusNode = SiteNode(FKeptFocus);
  FKeptSelection.clear();
  if (FTree->SelectedCount() <= KeptSelectionLimit)
    for (PVirtualNode view : FTree->GetSortedSelection(false)) FKeptSelection.push_back(SiteNode(view));
}

TVirtualNode* TSiteMapView::FollowedViewOf(TDataObj* Node) {
  std::vector<TDataObj*> chain;
  for (TDataObj* n = Node; n && n->Parent; n = n->Parent) chain.push_back(n);
  PVirtualNode view = nullptr;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (view && !FTree->Expanded(view)) return nullptr;
    MatchChildCount(view, (*it)->Parent);
    if (!(view = ViewChild(view, (*it)->IndexInParent()))) return nullptr;
  }
  return view;
}

// Rows inserted above the focused or a selected row leave the view node in
// place while the store node at its index changes: focus and selection go
// back to their nodes, without scrolling. The kept nodes stay as they are
// (the tree may serve messages meanwhile, and the store grow again).
void TSiteMapView::FollowFocusAndSelection() {
  if (FFollowing) return;
  const bool focusMoved = FKeptFocus && FTree->FocusedNode() == FKeptFocus && SiteNode(FKeptFocus) != FKeptFocusNode;
  bool selectionMoved = false;
  if (size_t(FTree->SelectedCount()) == FKeptSelection.size()) {
    size_t i = 0;
    for (PVirtualNode view : FTree->GetSortedSelection(false))
      selectionMoved = selectionMoved || SiteNode(view) != FKeptSelection[i++];
  }
  if (!focusMoved && !selectionMoved) return;
  FFollowing = true;
  FTree->BeginUpdate();
  if (selectionMoved) {
    FTree->ClearSelection();
    for (TDataObj* node : FKeptSelection)
      if (PVirtualNode view = FollowedViewOf(node)) FTree->SetSelected(view, true);
  }
  if (PVirtualNode view = focusMoved ? FollowedViewOf(FKeptFocusNode) : nullptr) {
    FTree->SetFocusedNode(view);
    FKeptFocus = view;
  }
  FTree->EndUpdate();
  FFollowing = false;
}

std::vector<TVirtualNode*> TSiteMapView::RowsOnScreen() const {
  std::vector<PVirtualNode> rows;
  const int height = FTree->ClientHeight();
  int y = 0;
  for (PVirtualNode row = FTree->TopNode(); row && y < height; row = FTree->GetNextVisibleNoInit(row)) {
    rows.push_back(row);
    y += row->NodeHeight;
  }
  return rows;
}

void TSiteMapView::SyncShownRows() {
  TListObj* store = Store();
  if (!store || FTree->UpdateCount() > 0 || FUpdates > 0) return;
  MatchChildCount(nullptr, store->Root);
  const std::vector<PVirtualNode> rows = RowsOnScreen();
  // Bottom up: a change to a row can only remove rows below it.
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    PVirtualNode row = *it;
    const TDataObj* site = SiteNode(row);
    if (!site || !(row->States & nsInitialized)) continue;
    if (FTree->Expanded(row) || row->ChildCount > 0)
      MatchChildCount(row, site);
    else if (FTree->HasChildren(row) != (site->ChildCount() > 0))
      FTree->SetHasChildren(row, site->ChildCount() > 0);
  }
  FollowFocusAndSelection();
  // Only a row whose node, picture, expand button or failure differs from
  // what it showed at the last update is painted again.
  std::unordered_map<const TVirtualNode*, TShownRow> shown;
  for (PVirtualNode row : RowsOnScreen()) {
    const TDataObj* site = SiteNode(row);
    const TShownRow now{site, ImageIndexOf(site), site && site->ChildCount() > 0,
                        site && !FForm.FailureNote(*site).empty()};
    const auto before = FShownRows.find(row);
    if (before == FShownRows.end() || !(before->second == now)) FTree->InvalidateNode(row);
    shown.emplace(row, now);
  }
  FShownRows = std::move(shown);
}
