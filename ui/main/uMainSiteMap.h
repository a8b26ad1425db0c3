// TSiteMapLink: the one narrow interface through which run control and the
// download list reach the site map view. The view holds no data of its own:
// it mirrors the store (TListObj), so every call here only tells it what to
// show. TMainForm owns a link; until a view is installed (SetView) the link
// has no view and every call is a no-op that reports "no node".
//
// TSiteMapView: the view behind the link, a string tree in virtual mode.
// A view node stands for the site-tree node reached from the store's root by
// the same child indexes; texts, images and child counts are asked for when
// a row is shown or expanded, so only the rows on screen cost anything. The
// view keeps no site-tree pointers but those below (each dropped when nodes
// are freed): every look-up walks the index path again and a path that
// leaves the tree gives no node (an empty row that cannot be expanded). Rows
// shown on screen are brought up to the store's child counts when an update
// bracket ends and, during a run, once a frame; only rows whose node,
// picture, expand button or failure changed are painted again. Then the
// focused and selected rows follow the site nodes they showed when they were
// focused or selected (as focusing the row that shows them selects them),
// wherever the store has inserted nodes above them. A failed node shows the
// failure the run reported for it after its name.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/rtl/SysUtils.h"

class TDataObj;
class TImageList;
class TListObj;
class TMainForm;
class TTimer;
class TVirtualStringTree;
struct TVirtualNode;

class ISiteMapView {
public:
  virtual ~ISiteMapView() = default;
  // Drops every view node.
  virtual void Clear() = 0;
  // Number of top-level nodes (the store's hosts).
  virtual void SetRootCount(int Count) = 0;
  // Rebuilds the visible tree from the store; focuses Focus when given.
  virtual void Refresh(TDataObj* Focus) = 0;
  // Expands the view down to Node; with Focus it is focused and scrolled into view.
  virtual void Reveal(TDataObj* Node, bool Focus) = 0;
  // Focuses the node of a URL (scheme, host, path components).
  virtual void SelectUrl(const AnsiString& Url) = 0;
  // The store node of the focused view node, or nullptr.
  virtual TDataObj* FocusedNode() const = 0;
  // The store node of the first view node, or nullptr.
  virtual TDataObj* FirstNode() const = 0;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void SetFocus() = 0;
};

class TSiteMapLink {
public:
  void SetView(ISiteMapView* View) { FView = View; }
  ISiteMapView* View() const { return FView; }

  void Clear() { if (FView) FView->Clear(); }
  void SetRootCount(int Count) { if (FView) FView->SetRootCount(Count); }
  void Refresh(TDataObj* Focus) { if (FView) FView->Refresh(Focus); }
  void Reveal(TDataObj* Node, bool Focus) { if (FView && Node) FView->Reveal(Node, Focus); }
  void SelectUrl(const AnsiString& Url) { if (FView) FView->SelectUrl(Url); }
  TDataObj* FocusedNode() const { return FView ? FView->FocusedNode() : nullptr; }
  TDataObj* FirstNode() const { return FView ? FView->FirstNode() : nullptr; }
  void BeginUpdate() { if (FView) FView->BeginUpdate(); }
  void EndUpdate() { if (FView) FView->EndUpdate(); }
  void SetFocus() { if (FView) FView->SetFocus(); }

private:
  ISiteMapView* FView = nullptr;
};

class TSiteMapView : public ISiteMapView {
public:
  TSiteMapView(TMainForm& Form, TVirtualStringTree* Tree);
  ~TSiteMapView() override;
  TSiteMapView(const TSiteMapView&) = delete;
  TSiteMapView& operator=(const TSiteMapView&) = delete;

  void Clear() override;
  void SetRootCount(int Count) override;
  void Refresh(TDataObj* Focus) override;
  void Reveal(TDataObj* Node, bool Focus) override;
  void SelectUrl(const AnsiString& Url) override;
  TDataObj* FocusedNode() const override;
  TDataObj* FirstNode() const override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void SetFocus() override;

  // The site-tree node a view node stands for, or nullptr.
  TDataObj* SiteNode(TVirtualNode* ViewNode) const;
  // Expands the view along Node's index path; the view node reached, or nullptr.
  TVirtualNode* RevealNode(TDataObj* Node);
  // The view node of Node when the view has rows down to it (nothing is
  // expanded or made), else nullptr.
  TVirtualNode* ViewNodeOf(TDataObj* Node) const;
  // Focuses a view node, scrolls it into view and focuses the tree.
  void FocusViewNode(TVirtualNode* ViewNode, bool Center);
  // The site nodes of the selected view nodes in tree order, without those
  // that lie inside another one's subtree.
  std::vector<TDataObj*> SelectedSiteNodes() const;
  // Gives the rows on screen the store's child counts and repaints those
  // whose node, picture or expand button changed.
  void SyncShownRows();
  // Counts changes that free site-tree nodes; a loop that serves messages
  // while it holds a node compares it before going on.
  unsigned Generation() const { return FGeneration; }
  void NodesFreed();
  // Keeps the rows on screen up to date, once a frame, while a run changes
  // the store; update brackets that end meanwhile leave it to the frame.
  void SetRunning(bool Running);
  // The image index (1 to 5) of a site node.
  static int ImageIndexOf(const TDataObj* Node);

private:
  TListObj* Store() const;
  void HookEvents();
  TVirtualNode* ViewChild(TVirtualNode* Parent, int Index) const;
  void MatchChildCount(TVirtualNode* ViewNode, const TDataObj* Node);
  std::vector<TVirtualNode*> RowsOnScreen() const;
  void KeepFocusAndSelection();
  void FollowFocusAndSelection();
  TVirtualNode* FollowedViewOf(TDataObj* Node);

  // What a row on screen showed at the last update.
  struct TShownRow {
    const TDataObj* Node;
    int Image;
    bool HasChildren;
    bool Failure;  // the failure shown after the name
    bool operator==(const TShownRow&) const = default;
  };
  std::unordered_map<const TVirtualNode*, TShownRow> FShownRows;

  TMainForm& FForm;
  TVirtualStringTree* FTree;
  std::unique_ptr<TTimer> FRowTimer;
  mutable std::vector<int> FPath;
  unsigned FGeneration = 0;
  int FUpdates = 0;
  bool FTreeBracketed = false;  // the outermost BeginUpdate bracketed the tree
  // The focused row and the site node it showed, and the selected rows' site
  // nodes (not kept for selections beyond KeptSelectionLimit), taken when
  // the focus changes to another row.
  TVirtualNode* FKeptFocus = nullptr;
  TDataObj* FKeptFocusNode = nullptr;
  std::vector<TDataObj*> FKeptSelection;
  bool FFollowing = false;
};

// Fills Images with the site map's state pictures (index 0 empty, 1 to 5 as
// TSiteMapView::ImageIndexOf gives them).
void DrawSiteMapImages(TImageList& Images);

// The node-details caption: Caption's text before any "=" (its design text
// "Level"), "=" and the link level, then the state bits, start marks, local
// name, sizes and retry count that are set.
AnsiString SiteNodeDetails(const AnsiString& Caption, const TDataObj& Node);

// Text with every line break (CR, LF, CR LF or LF CR) written as CR LF.
AnsiString WithCrLfBreaks(const AnsiString& Text);
