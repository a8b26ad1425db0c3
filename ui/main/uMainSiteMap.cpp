// The site map's commands on the main window: creating the view, search,
// copy, paste, delete, refresh of a branch, the popup menu's node details
// and the line-break conversion of a saved file.
#include <unordered_set>

#include "platform/controls/Clipbrd.h"
#include "platform/graphics/ImageList.h"
#include "project/uQuere.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/main/uMain.h"
#include "ui/main/uMyIQ.h"

namespace {

// How many nodes a search visits between two rounds of messages.
constexpr int SearchBatch = 1024;

// The node after Node in depth-first order below the root, or nullptr.
TDataObj* FollowingNode(TDataObj* Node) {
  if (Node->ChildCount() > 0) return Node->Child(0);
  for (; Node->Parent; Node = Node->Parent)
    if (TDataObj* sibling = Node->NextSibling()) return sibling;
  return nullptr;
}

bool Within(const TDataObj* Node, const TDataObj* Ancestor) {
  for (; Node; Node = Node->Parent)
    if (Node == Ancestor) return true;
  return false;
}

AnsiString Joined(const std::vector<AnsiString>& Names) {
  AnsiString text;
  for (const AnsiString& name : Names) text += (text.empty() ? "" : ",") + name;
  return text;
}

}  // namespace

void TMainForm::CreateSiteMap() {
  SmallImage = new TImageList(this);
  SmallImage->SetName("SmallImage");
  DrawSiteMapImages(*SmallImage);
  tvURL = new TVirtualStringTree(this);
  tvURL->SetName("tvURL");
  tvURL->SetParent(Panel16);
  tvURL->SetAlign(alClient);
  tvURL->SetPopupMenu(pmGoTo);
  tvURL->SetStateImages(SmallImage);
  tvURL->Header().SetMainColumn(NoColumn);
  tvURL->SetDrawSelectionMode(smBlendedRectangle);
  tvURL->SetIncrementalSearch(isVisibleOnly);
  tvURL->Colors().SetColor(UnfocusedSelectionColorIndex, clSilver);
  TStringTreeOptions& options = tvURL->TreeOptions();
  options.SetPaintOptions({toShowButtons, toShowDropmark, toShowTreeLines, toShowVertGridLines, toThemeAware,
                           toUseBlendedImages});
  options.SetSelectionOptions({toFullRowSelect, toMultiSelect, toCenterScrollIntoView});
  FSiteMapView = std::make_unique<TSiteMapView>(*this, tvURL);
  SiteMap.SetView(FSiteMapView.get());

  auto bind = [](std::initializer_list<TControl*> buttons, std::initializer_list<TMenuItem*> items,
                 const TNotifyEvent& handler) {
    for (TControl* b : buttons) static_cast<TSpeedButton*>(b)->OnClick = handler;
    for (TMenuItem* i : items) i->OnClick = handler;
  };
  bind({sbSearch}, {Search1}, [this](TObject*) { SearchSiteMap(false); });
  bind({sbNext}, {Next1}, [this](TObject*) { SearchSiteMap(true); });
  bind({sbCopyND}, {CopytoClipBoard1}, [this](TObject*) { CopySiteMapLink(); });
  bind({sbPasteNd}, {PastefromClipboard1}, [this](TObject*) { PasteSiteMapLinks(); });
  bind({sbDeleteNd}, {MenuItem6}, [this](TObject*) { DeleteSiteMapLinks(); });
  bind({sbRefresh}, {miRefresh}, [this](TObject*) { RefreshSiteMapBranch(); });
  ReplaceADA1->OnClick = [this](TObject* s) { ReplaceLineBreaksClick(s); };
  pmGoTo->OnPopup = [this](TObject* s) { pmGoToPopup(s); };
}

// --- Search -------------------------------------------------------------------

void TMainForm::SearchSiteMap(bool Next) {
  if (!Store || !FSiteMapView || Store->Root->ChildCount() == 0) return;
  if (!Next) {
    AnsiString text = SearchText;
    if (!ExecuteItemQuery(2, text)) return;
    SearchText = text;
  }
  if (SearchText.empty()) return;
  for (TSpeedButton* b : {sbSearch, sbNext}) b->SetEnabled(false);
  const AnsiString needle = LowerCase(SearchText);
  if (CurrentParams) CurrentParams->Project.Options &= ~poShowNewNodes;
  TListObj* store = Store;
  const unsigned generation = FSiteMapView->Generation();
  TDataObj* focused = Next ? SiteMap.FocusedNode() : nullptr;
  TDataObj* node = focused ? FollowingNode(focused) : store->Root->Child(0);
  bool interrupted = false;
  for (int step = 1; node; node = FollowingNode(node), ++step) {
    if (LowerCase(AnsiString(node->Name())).find(needle) != AnsiString::npos) break;
    if (step % SearchBatch == 0) {
      // Messages may change the tree; a search whose tree lost nodes stops.
      Application->ProcessMessages();
      interrupted = Store != store || FSiteMapView->Generation() != generation || Application->Terminated();
      if (interrupted) break;
    }
  }
  if (node && !interrupted)
    FSiteMapView->FocusViewNode(FSiteMapView->RevealNode(node), true);
  else if (!interrupted)
    MsgBox(ml2->Items()[34], ml2->Items()[32], MB_OK | MB_ICONINFORMATION);
  for (TSpeedButton* b : {sbSearch, sbNext}) b->SetEnabled(true);
  Next1->SetEnabled(true);
}

// --- Clipboard ----------------------------------------------------------------

// A folder's page saved under its default-document name was fetched at the
// folder's address: that address, not the saved name, is the node's link.
AnsiString TMainForm::FetchedUrl(const TDataObj& Node) {
  const TDataObj* folder = Node.Parent;
  const bool defaultDocument = folder && folder->Depth > 0 && Node.ChildCount() == 0 && (folder->State & snLoaded) &&
                               !folder->LocalName.empty() && folder->LocalName == Node.Name();
  AnsiString url;
  (defaultDocument ? folder : &Node)->GetPath(url);
  if (defaultDocument && (url.empty() || url.back() != '/')) url += '/';
  return url;
}

void TMainForm::CopySiteMapLink() {
  if (const TDataObj* node = SiteMap.FocusedNode()) Clipboard()->SetAsText(FetchedUrl(*node));
}

void TMainForm::PasteSiteMapLinks() {
  if (!Store) return;
  TStringList lines;
  lines.SetText(Clipboard()->AsText());
  bool added = false;
  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    for (int i = 0; i < lines.Count(); ++i)
      if (const AnsiString url = Trim(lines[i]); !url.empty()) added = Store->AddUrl(0, url) != nullptr || added;
  }
  if (!added) return;
  SiteMap.SetRootCount(Store->GetRootCount());
  FSiteMapView->SyncShownRows();
  PostMessage(Handle(), WM_UPDATEUI, 1, 0);
}

// --- Delete and refresh -------------------------------------------------------

void TMainForm::DeleteSiteMapLinks() {
  if (!Store || !FSiteMapView) return;
  // While a run is prepared or a project loads, loops hold nodes across
  // their message rounds; nothing may be freed under them.
  if ((RunState & rsViewsLoading) || ((RunState & rsScanBegun) && !(RunState & rsStarted))) return;
  std::vector<TDataObj*> nodes;
  std::vector<PVirtualNode> rows;
  if (tvURL->SelectedCount() == 1 && tvURL->FocusedNode()) {
    if (TDataObj* node = FSiteMapView->SiteNode(tvURL->FocusedNode())) nodes.push_back(node);
  } else {
    nodes = FSiteMapView->SelectedSiteNodes();
  }
  std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
  auto busy = [this](const TDataObj* node) {
    for (const auto& [busyNode, worker] : FBusyNodes)
      if (Within(busyNode, node)) return true;
    return false;
  };
  // The rows are found before any index changes; deleting from the last
  // keeps the earlier nodes' index paths valid.
  std::vector<std::pair<TDataObj*, PVirtualNode>> doomed;
  for (TDataObj* node : nodes)
    if (!busy(node)) doomed.emplace_back(node, FSiteMapView->ViewNodeOf(node));
  if (doomed.empty()) return;
  tvURL->BeginUpdate();
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
    if (Within(FirstNode, it->first)) FirstNode = nullptr;
    Store->DeleteNode(it->first);
    if (it->second) tvURL->DeleteNode(it->second);
  }
  FSiteMapView->NodesFreed();
  tvURL->EndUpdate();
  SiteMap.SetRootCount(Store->GetRootCount());
  PostMessage(Handle(), WM_UPDATEUI, 1, 0);
}

void TMainForm::RefreshSiteMapBranch() {
  if (!Store || !FSiteMapView) return;
  PVirtualNode row = tvURL->FocusedNode();
  if (!row) row = tvURL->GetFirst();
  if (!row) {
    SiteMap.SetRootCount(Store->GetRootCount());
    return;
  }
  TDataObj* node = FSiteMapView->SiteNode(row);
  PVirtualNode branch = tvURL->GetNodeParent(row);
  tvURL->DeleteChildren(branch ? branch : row, false);
  if (!node) return;
  PVirtualNode shown = FSiteMapView->RevealNode(node);
  tvURL->FullExpand();
  FSiteMapView->FocusViewNode(shown, true);
}

// --- Popup menu ---------------------------------------------------------------

AnsiString SiteNodeDetails(const AnsiString& Caption, const TDataObj& Node) {
  static const std::pair<uint8_t, const char*> StateNames[] = {
      {snPending, "None"}, {snLoading, "Loading"}, {snLoaded, "Loaded"}, {snFailed, "Error"},
      {snAborted, "Aborted"}, {snDeleted, "Deleted"}, {snFolder, "Dir"}};
  std::vector<AnsiString> states, marks;
  for (const auto& [bit, name] : StateNames)
    if (Node.State & bit) states.push_back(name);
  if (Node.NotParsed) states.push_back("Not parsed");
  if (Node.DirIn & dmStartHost) marks.push_back("Host");
  if (Node.DirIn & dmStartDir) marks.push_back("Dir");
  AnsiString text = Caption.substr(0, Caption.find('=')) + "=" + IntToStr(Node.Level);
  if (!states.empty()) text += "; State=[" + Joined(states) + "]";
  if (!marks.empty()) text += "; DirIn=[" + Joined(marks) + "]";
  if (!Node.LocalName.empty()) text.append("; File=").append(Node.LocalName);
  if (Node.Size > 0) text += "; Size=" + IntToStr(Node.Size);
  if (Node.SizeOrig > 0) text += "; SizeOrig=" + IntToStr(Node.SizeOrig);
  if (Node.CountRetry > 0) text += "; CountRetry=" + IntToStr(Node.CountRetry);
  return text;
}

void TMainForm::pmGoToPopup(TObject*) {
  const TDataObj* node = SiteMap.FocusedNode();
  const bool focused = (RunState & rsViewsLoaded) && node;
  const bool idle = focused && !(RunState & rsScanBegun);
  for (TMenuItem* item : {PreviewOffline1, ViewOnline1, PreviewOnline1}) item->SetEnabled(focused);
  for (TMenuItem* item : {MenuItem6, MenuItem7, miReLoad, miLvl, ReplaceADA1}) item->SetEnabled(idle);
  PastefromClipboard1->SetEnabled(sbPasteNd->Enabled());
  CopytoClipBoard1->SetEnabled(sbCopyND->Enabled());
  if (!node) return;
  node->GetPath(FocusedPath);
  miLvl->SetCaption(SiteNodeDetails(miLvl->Caption(), *node));
}

// --- Line breaks of a saved file ----------------------------------------------

AnsiString WithCrLfBreaks(const AnsiString& Text) {
  AnsiString out;
  out.reserve(Text.size() + Text.size() / 16);
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c != '\r' && c != '\n') {
      out += c;
      continue;
    }
    // CR LF and LF CR are one break; a lone CR or LF is one too.
    const char pair = c == '\r' ? '\n' : '\r';
    if (i + 1 < Text.size() && Text[i + 1] == pair) ++i;
    out += "\r\n";
  }
  return out;
}

void TMainForm::ReplaceLineBreaksClick(TObject*) {
  // During a run a worker may be writing the same file.
  TDataObj* node = SiteMap.FocusedNode();
  if (!node || (RunState & rsScanBegun)) return;
  const AnsiString file = OfflineFileOf(node);
  AnsiString bytes;
  if (file.empty() || !FileExists(file) || !ReadFileToString(file, bytes)) return;
  const AnsiString converted = WithCrLfBreaks(bytes);
  if (converted == bytes) return;
  try {
    WriteFileAtomically(file, converted);
  } catch (const Exception& e) {
    MsgBox(e.Message(), ml->Items()[0], MB_OK | MB_ICONERROR);
  }
}
