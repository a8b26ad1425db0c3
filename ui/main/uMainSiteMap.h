// TSiteMapLink: the one narrow interface through which run control and the
// download list reach the site map view. The view holds no data of its own:
// it mirrors the store (TListObj), so every call here only tells it what to
// show. TMainForm owns a link; until a view is installed (SetView) the link
// has no view and every call is a no-op that reports "no node".
#pragma once

#include "platform/rtl/SysUtils.h"

class TDataObj;

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
