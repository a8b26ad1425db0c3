// The online and offline preview panes and the mapping of a link to its
// saved copy in the mirror.
//
// WebBrowser1 (page "tsOn") shows a site-map node's live page, fetched by
// the program's own HTTP client (uMainViewFetch.h); WebBrowser2 (page
// "tsOff") shows the copy saved under the download folder. Each pane has
// its bar (back, forward, stop, refresh, the address combo) and status bar.
// A preview only reads: it writes nothing and starts no program, and the
// offline side never shows a file outside the download folder.
#include <cctype>

#include "components/GoToWeb.h"
#include "crawl/MirrorNames.h"
#include "crawl/SavePaths.h"
#include "platform/rtl/FileUtils.h"
#include "platform/web/WebBrowser.h"
#include "project/SiteTreeNode.h"
#include "ui/main/uMain.h"
#include "ui/main/uMainViewFetch.h"

namespace {

// Every "%" with two hexadecimal digits becomes that character, except
// "%20", which stays as it is.
AnsiString DecodeStatusText(const AnsiString& S) {
  AnsiString result;
  for (size_t i = 0; i < S.size(); ++i) {
    const bool escape = S[i] == '%' && i + 2 < S.size() && std::isxdigit(static_cast<unsigned char>(S[i + 1])) &&
                        std::isxdigit(static_cast<unsigned char>(S[i + 2])) && S.compare(i + 1, 2, "20") != 0;
    if (!escape) {
      result += S[i];
      continue;
    }
    result += static_cast<char>(std::stoi(S.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }
  return result;
}

struct TPaneBar {
  TWebBrowser* Pane;
  TComboBox* Combo;
  TSpeedButton *Back, *Forward, *Stop, *Refresh;
  TStatusBar* Status;
  bool DecodeStatus;
};

void SetNavigating(const TPaneBar& Bar, bool Navigating) {
  for (TSpeedButton* button : {Bar.Back, Bar.Forward, Bar.Refresh}) button->SetEnabled(!Navigating);
  Bar.Stop->SetEnabled(Navigating);
}

void NavigateToCombo(const TPaneBar& Bar) {
  const AnsiString address = Trim(Bar.Combo->Text());
  if (!address.empty()) Bar.Pane->Navigate(address);
}

void ConnectPaneBar(const TPaneBar& Bar) {
  Bar.Pane->OnBeforeNavigate2 = [Bar](TObject*, const AnsiString&, bool&) { SetNavigating(Bar, true); };
  Bar.Pane->OnDocumentComplete = [Bar](TObject*, const AnsiString& Url) {
    SetNavigating(Bar, false);
    // A cleared pane lists no address.
    if (Url == BlankPage) return;
    int index = Bar.Combo->Items()->IndexOf(Url);
    if (index < 0) index = Bar.Combo->Items()->Add(Url);
    Bar.Combo->SetItemIndex(index);
  };
  Bar.Pane->OnStatusTextChange = [Bar](TObject*, const AnsiString& Text) {
    Bar.Status->SetSimpleText(Bar.DecodeStatus ? DecodeStatusText(Text) : Text);
  };
  Bar.Combo->OnKeyDown = [Bar](TObject*, uint16_t& Key, TShiftState) {
    if (Key == VK_RETURN) NavigateToCombo(Bar);
  };
  Bar.Refresh->OnClick = [Bar](TObject*) { NavigateToCombo(Bar); };
  Bar.Stop->OnClick = [Bar](TObject*) { Bar.Pane->Stop(); };
  Bar.Back->OnClick = [Bar](TObject*) { Bar.Pane->GoBack(); };
  Bar.Forward->OnClick = [Bar](TObject*) { Bar.Pane->GoForward(); };
  Bar.Stop->SetEnabled(false);
}

TWebBrowser* MakePane(TMainForm* Form, TWinControl* Parent, const char* Name) {
  auto* pane = new TWebBrowser(Form);
  pane->SetName(Name);
  pane->SetParent(Parent);
  pane->SetAlign(alClient);
  return pane;
}

// The first file matching "*.htm*" in Folder whose name begins with
// "index.", "default." or "document." (without regard to case).
AnsiString DefaultPageIn(const AnsiString& Folder) {
  std::vector<AnsiString> names = FindFiles(Folder, "*.htm*");
  std::sort(names.begin(), names.end());
  for (const AnsiString& name : names)
    for (const char* start : {"index.", "default.", "document."})
      if (StartsText(start, name)) return IncludeTrailingPathDelimiter(Folder) + name;
  return AnsiString();
}

// Link with "www." put in front of its host, or taken away when it is there.
AnsiString WwwAlias(const AnsiString& Link) {
  std::string_view rest(Link);
  const AnsiString scheme = TakeScheme(rest);
  const AnsiString tail(rest);
  return scheme + (StartsText("www.", tail) ? tail.substr(4) : "www." + tail);
}

}  // namespace

void TMainForm::ConnectPreviewCommands() {
  WebBrowser1 = MakePane(this, pnlWebOn, "WebBrowser1");
  WebBrowser2 = MakePane(this, pnlWebOff, "WebBrowser2");
  ConnectPaneBar({WebBrowser1, URLs, sbBackOn, sbForwardOn, sbStopOn, sbRefreshOn, StatusBar2, true});
  ConnectPaneBar({WebBrowser2, Urls2, sbBackOff, sbForwardOff, sbStopOff, sbRefreshOff, StatusBar3, false});
  Urls2->OnSelect = [this](TObject*) { NavigateToCombo({WebBrowser2, Urls2, sbBackOff, sbForwardOff, sbStopOff,
                                                        sbRefreshOff, StatusBar3, false}); };
  for (TControl* button : {static_cast<TControl*>(BrowseButton1), static_cast<TControl*>(BrowseButton2)})
    button->OnClick = [this](TObject* s) { PreviewNode(static_cast<TComponent*>(s)->Tag() == 0); };
  PreviewOnline1->OnClick = [this](TObject*) { PreviewNode(true); };
  PreviewOffline1->OnClick = [this](TObject*) { PreviewNode(false); };
  ViewOnline1->OnClick = [this](TObject*) { OpenOutside(true); };
  MenuItem7->OnClick = [this](TObject*) { OpenOutside(false); };
  InstallPreviewFetchHook([] {
    return CurrentParams ? PreviewConnectionOf(CurrentParams->Project) : TPreviewConnection();
  });
}

void TMainForm::ShowInBrowser(bool Online, const AnsiString& Text) {
  pcWB->SetActivePage(Online ? tsOn : tsOff);
  (Online ? WebBrowser1 : WebBrowser2)->Navigate(Text);
}

// The focused node; without one the node of the first start URL, else the
// first node, is focused first.
TDataObj* TMainForm::PreviewTarget() {
  if (!SiteMap.FocusedNode()) {
    const AnsiString first = FirstStartUrl();
    if (!first.empty()) SiteMap.SelectUrl(first);
  }
  if (!SiteMap.FocusedNode()) SiteMap.Reveal(SiteMap.FirstNode(), true);
  return SiteMap.FocusedNode();
}

void TMainForm::PreviewNode(bool Online) {
  TDataObj* node = PreviewTarget();
  if (!node) return;
  if (Online) {
    node->GetPath(FocusedPath);
    ShowInBrowser(true, FocusedPath);
    return;
  }
  const AnsiString file = OfflineFileOf(node);
  if (!file.empty()) ShowInBrowser(false, file);
}

AnsiString TMainForm::OfflineFileOf(TDataObj* Node) {
  bool isFolder = Node->ChildCount() > 0 || (Node->State & snFolder) != 0;
  const bool topLevel = Node->Depth == 1;
  AnsiString path;
  Node->GetPath(path);
  if (!Node->LocalName.empty()) {
    if (!isFolder && !topLevel && Node->Parent) Node->Parent->GetPath(path);
    path = JoinWithSep(path, Node->LocalName.str(), "/");
    isFolder = isFolder || topLevel;
  }
  if (topLevel && Option(poCopyDirectories)) {
    const AnsiString folder = MirrorFolder();
    const TMirrorName name = MirrorNameFor(MirrorRequestForUrl(path + "/", ""), true, folder);
    const TMirrorPath mapped = MapMirrorPath(folder, name.LocalDir, name.NamePart, name.LocalName);
    if (!mapped.Dir.empty() && DirectoryExists(mapped.Dir))
      if (const AnsiString page = DefaultPageIn(mapped.Dir); !page.empty()) return page;
  }
  return UrlToLocalPath(path, isFolder);
}

// The program's links open in the user's browser: the node's address, or
// its saved copy.
void TMainForm::OpenOutside(bool Online) {
  if (TDataObj* node = SiteMap.FocusedNode()) node->GetPath(FocusedPath);
  const AnsiString address = Online ? FocusedPath : (SiteMap.FocusedNode() ? OfflineFileOf(SiteMap.FocusedNode()) : "");
  const AnsiString own = GoToWeb1->Url();
  GoToWeb1->SetUrl(address);
  const bool opened = !address.empty() && GoToWeb1->Execute();
  GoToWeb1->SetUrl(own);
  if (!opened) MsgBox(ml2->Items()[Online ? 37 : 39], ml2->Items()[38], MB_OK | MB_ICONERROR);
}

// --- From a link to its saved copy ---------------------------------------------

// The download folder as the download workers use it; empty when there is
// none or it is not an absolute path.
AnsiString TMainForm::MirrorFolder() const {
  if (!CurrentParams || CurrentParams->Project.Folder.empty()) return AnsiString();
  const AnsiString folder = IncludeTrailingPathDelimiter(ExpandFileName(CurrentParams->Project.Folder));
  return StartsStr("/", folder) ? folder : AnsiString();
}

AnsiString TMainForm::UrlToLocalPath(const AnsiString& Link, bool IsFolder) {
  const AnsiString folder = MirrorFolder();
  if (folder.empty() || ContainsText(Link, "javascript:")) return AnsiString();
  std::vector<AnsiString> links{Link};
  if (Option(poSameWww)) links.push_back(WwwAlias(Link));
  for (const AnsiString& link : links)
    if (AnsiString file = SavedFileOf(link, IsFolder, folder); !file.empty()) return file;
  return NearestSavedFolder(Link, folder);
}

// The file a download of Link was saved under (the workers' own naming),
// trying the folder's page first for a folder, the names without and with
// an assumed page type, and ".html" or ".htm" added to a name without one.
AnsiString TMainForm::SavedFileOf(const AnsiString& Link, bool IsFolder, const AnsiString& Folder) const {
  std::vector<AnsiString> urls;
  if (IsFolder && !EndsStr("/", Link)) urls.push_back(Link + "/");
  urls.push_back(Link);
  for (const AnsiString& url : urls)
    for (const AnsiString& type : {AssumedContentType(url), AnsiString()}) {
      const TMirrorName name = MirrorNameFor(MirrorRequestForUrl(url, type), Option(poCopyDirectories), Folder);
      const TMirrorPath path = MapMirrorPath(Folder, name.LocalDir, name.NamePart, name.LocalName);
      if (!path.Ok()) continue;
      if (FileExists(path.File)) return path.File;
      if (name.LocalName.find('.') != AnsiString::npos) continue;
      for (const char* ext : {".html", ".htm"})
        if (FileExists(path.File + ext)) return path.File + ext;
    }
  return AnsiString();
}

// Nothing saved under Link's names: the default page of its folder in the
// mirror, or the nearest folder on its path that exists, never above the
// download folder.
AnsiString TMainForm::NearestSavedFolder(const AnsiString& Link, const AnsiString& Folder) const {
  const TMirrorName name = MirrorNameFor(MirrorRequestForUrl(Link, ""), true, Folder);
  const TMirrorPath mapped = MapMirrorPath(Folder, name.LocalDir, name.NamePart, name.LocalName);
  const AnsiString root = ExcludeTrailingPathDelimiter(ResolvePath(Folder));
  AnsiString at = mapped.Ok() ? mapped.File : mapped.Dir;
  if (DirectoryExists(at))
    for (const char* page : {"index.htm", "index.html", "default.htm", "default.html"})
      if (FileExists(at + "/" + page)) return ResolvePath(at + "/" + page);
  while (at.size() > root.size() && StartsStr(root + "/", at) && !DirectoryExists(at)) at = ExtractFileDir(at);
  return (at == root || StartsStr(root + "/", at)) && DirectoryExists(at) ? at : AnsiString();
}
