// The tree's window message table: validation state changes, mouse buttons
// handed to the click handling, the wheel, scroll bars, timers, focus,
// sizing, cursor, the header band in the non-client area and the standard
// tree view queries.
#include <algorithm>
#include <utility>

#include "platform/controls/Forms.h"
#include "treecontrol/ThemeSrv.h"
#include "treecontrol/VTAccessibilityFactory.h"
#include "treecontrol/VTDragDrop.h"
#include "treecontrol/VTDragImage.h"
#include "treecontrol/VTHintWindow.h"
#include "treecontrol/VTPanningWindow.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VTWorkerThread.h"
#include "treecontrol/VirtualTrees.h"

namespace {

TVirtualTreeStates StatesFromBits(unsigned bits) {
  TVirtualTreeStates states;
  if (bits & CsStopValidation) states.Include(stHaltValidation);
  if (bits & CsUseCache) states.Include(stCacheValid);
  if (bits & CsValidating) states.Include(stValidatingCache);
  if (bits & CsValidationNeeded) states.Include(stCacheStale);
  return states;
}

}  // namespace

void TBaseVirtualTree::WndProc(TMessage& m) {
  if (!root_ || destroying_) {
    TCustomControl::WndProc(m);
    return;
  }
  if (m.Msg == WM_CHANGESTATE) {
    ChangeStates(StatesFromBits(unsigned(m.WParam)), StatesFromBits(unsigned(m.LParam)));
    return;
  }
  if (editLink_ && HasState(stEditing) && m.Msg == WM_KEYDOWN && m.WParam == WPARAM(VK_ESCAPE)) {
    CancelEditNode();
    return;
  }
  if (header_->Options().Contains(hoVisible)) {
    const uint8_t headerStates = header_->States();
    const bool handled = header_->HandleMessage(m);
    FollowHeaderDrag(headerStates, m);
    if (handled) return;
  }
  switch (m.Msg) {
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      if (!Focused() && CanFocus()) SetFocus();
      TCustomControl::WndProc(m);
      return;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      TVirtualTreeState state = m.Msg == WM_LBUTTONDOWN   ? stLeftButtonDown
                                : m.Msg == WM_RBUTTONDOWN ? stRightButtonDown
                                                          : stMiddleButtonDown;
      ChangeStates({state}, {});
      // The tree captures the mouse with the left button: moves and the
      // release reach it wherever the pointer goes (a drag may start there).
      if (m.Msg == WM_LBUTTONDOWN) SetCapture(Handle());
      TCustomControl::WndProc(m);
      bool select = m.Msg == WM_LBUTTONDOWN ||
                    (m.Msg == WM_RBUTTONDOWN && options_->SelectionOptions().Contains(toRightClickSelect)) ||
                    (m.Msg == WM_MBUTTONDOWN && options_->SelectionOptions().Contains(toMiddleClickSelect));
      if (m.Msg == WM_MBUTTONDOWN && options_->MiscOptions().Contains(toWheelPanning) && !HasState(stWheelPanning) &&
          !HasState(stWheelScrolling) && (rangeX_ > ClientWidth() || rangeY_ > ClientHeight())) {
        StartWheelPanning(PointFromLParam(m.LParam));
        return;
      }
      if (m.Msg == WM_MBUTTONDOWN) StopWheelPanning();
      if (select) {
        TPoint p = PointFromLParam(m.LParam);
        THitInfo hit;
        GetHitTestInfoAt(p.X, p.Y, true, hit);
        HandleMouseDown(m, hit);
      }
      return;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      TPoint p = PointFromLParam(m.LParam);
      THitInfo hit;
      if (m.Msg == WM_LBUTTONUP) {
        ChangeStates({}, {stLeftButtonDown});
        GetHitTestInfoAt(p.X, p.Y, true, hit);
        HandleMouseUp(m, hit);
        TCustomControl::WndProc(m);
        return;
      }
      if (m.Msg == WM_MBUTTONUP) {
        ChangeStates({}, {stMiddleButtonDown});
        if (HasState(stWheelScrolling)) {
          ChangeStates({}, {stWheelPanning});
          return;
        }
        if (HasState(stWheelPanning)) {
          StopWheelPanning();
          return;
        }
        TCustomControl::WndProc(m);
        if (options_->SelectionOptions().Contains(toMiddleClickSelect)) {
          GetHitTestInfoAt(p.X, p.Y, true, hit);
          HandleMouseUp(m, hit);
        }
        return;
      }
      ChangeStates({}, {stRightButtonDown, stPopupMenuShown});
      if (Application) Application->CancelHint();
      // A rubber band ends before the popup menu opens over it.
      if ((HasState(stDrawSelPending) || HasState(stDrawSelecting)) && PopupMenu()) {
        ChangeStates({}, {stDrawSelPending, stDrawSelecting});
        Invalidate();
      }
      TCustomControl::WndProc(m);
      GetHitTestInfoAt(p.X, p.Y, true, hit);
      if (options_->SelectionOptions().Contains(toRightClickSelect)) HandleMouseUp(m, hit);
      if (!PopupMenu()) ShowNodeMenu(hit.HitNode, hit.HitColumn, p);
      return;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
      TVirtualTreeState state = m.Msg == WM_LBUTTONDBLCLK   ? stLeftDblClick
                                : m.Msg == WM_RBUTTONDBLCLK ? stRightDblClick
                                                            : stMiddleDblClick;
      ChangeStates({state}, {});
      TCustomControl::WndProc(m);
      bool select = m.Msg == WM_LBUTTONDBLCLK ||
                    (m.Msg == WM_RBUTTONDBLCLK && options_->SelectionOptions().Contains(toRightClickSelect)) ||
                    (m.Msg == WM_MBUTTONDBLCLK && options_->SelectionOptions().Contains(toMiddleClickSelect));
      if (select) {
        TPoint p = PointFromLParam(m.LParam);
        THitInfo hit;
        GetHitTestInfoAt(p.X, p.Y, true, hit);
        HandleMouseDblClick(m, hit);
      }
      ChangeStates({}, {state});
      return;
    }
    case WM_MOUSEMOVE: {
      TPoint p = PointFromLParam(m.LParam);
      CheckMouseDrag(p.X, p.Y);
      TCustomControl::WndProc(m);
      return;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      SCROLLINFO info;
      info.fMask = SIF_TRACKPOS | SIF_POS;
      GetScrollInfo(m.Msg == WM_HSCROLL ? SB_HORZ : SB_VERT, info);
      HandleScrollMessage(m.Msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LoWord(m.WParam), info.nTrackPos);
      m.Result = 0;
      return;
    }
    case CM_UPDATEHORZSCROLLBAR:
      UpdateHorizontalScrollBar(true);
      return;
    case WM_TIMER:
      HandleTimer(m.WParam);
      return;
    case WM_SETFOCUS:
      TCustomControl::WndProc(m);
      if (!(selectionCount_ == 0 && options_->PaintOptions().Contains(toGhostedIfUnfocused))) Invalidate();
      return;
    case WM_KILLFOCUS:
      TCustomControl::WndProc(m);
      if (HasState(stLeftButtonDown) && GetCapture() == Handle()) ReleaseCapture();
      StopWheelPanning();
      for (UINT_PTR id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, SearchTimer}) StopTimer(id);
      searchBuffer_.clear();
      lastSearchNode_ = nullptr;
      ChangeStates({}, {stEditPending, stIncrementalSearching, stLeftButtonDown, stMiddleButtonDown,
                        stOLEDragPending, stRightButtonDown, stScrolling, stScrollPending, stVCLDragPending});
      if (selectionCount_ == 0 && options_->PaintOptions().Contains(toGhostedIfUnfocused))
        InvalidateNode(focusedNode_);
      else
        Invalidate();
      return;
    case WM_CANCELMODE:
      for (UINT_PTR id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, SearchTimer}) StopTimer(id);
      searchBuffer_.clear();
      lastSearchNode_ = nullptr;
      ChangeStates({}, {stClearPending, stDrawSelPending, stDrawSelecting, stEditPending, stIncrementalSearching,
                        stOLEDragPending, stVCLDragPending});
      TCustomControl::WndProc(m);
      return;
    case WM_CONTEXTMENU:
      ChangeStates({}, {stClearPending, stEditPending, stOLEDragPending, stVCLDragPending});
      if (m.LParam == LPARAM(-1)) {
        // From the keyboard: the Menu key has opened the menu already;
        // another key opens it at the focused node.
        if (std::exchange(menuKeyServed_, false)) return;
        if (focusedNode_) {
          TRect r = GetDisplayRect(focusedNode_, focusedColumn_, true);
          const TPoint screen = ClientToScreen(Point((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2));
          m.LParam = MakeLParam(screen.X, screen.Y);
        }
      }
      if (!HasState(stPopupMenuShown)) TCustomControl::WndProc(m);
      return;
    case WM_SETCURSOR:
      if (!HasState(stWheelPanning) && !HasState(stWheelScrolling)) {
        TCursor base = Cursor() == appliedCursor_ ? baseCursor_ : Cursor();
        baseCursor_ = base;
        TCursor wanted = base;
        if (!(header_->Options().Contains(hoVisible) && header_->HeaderCursor(wanted))) {
          if (options_->PaintOptions().Contains(toHotTrack) && hotNode_ && hotCursor_ != crDefault)
            wanted = hotCursor_;
          DoGetCursor(wanted);
        }
        appliedCursor_ = wanted;
        if (wanted != Cursor()) SetCursor(wanted);
      } else {
        ShowPanningFeedback();
      }
      TCustomControl::WndProc(m);
      return;
    case WM_SETREDRAW:
      redrawOff_ = m.WParam == 0;
      if (!redrawOff_) Invalidate();
      return;
    case WM_ERASEBKGND:
      m.Result = 1;
      return;
    case WM_NCCALCSIZE: {
      // Inside the frame: the bevel and border, then the header band.
      TCustomControl::WndProc(m);
      auto* r = reinterpret_cast<TRect*>(m.LParam);
      const TRect sizes = bevel_.Sizes();
      *r = Rect(r->Left + sizes.Left, r->Top + sizes.Top, std::max(r->Left + sizes.Left, r->Right - sizes.Right),
                std::max(r->Top + sizes.Top, r->Bottom - sizes.Bottom));
      int band = header_->BandHeight();
      if (band > 0) r->Top = std::min(r->Bottom, r->Top + band);
      return;
    }
    case WM_NCHITTEST: {
      TCustomControl::WndProc(m);
      TPoint p = ScreenToClient(PointFromLParam(m.LParam));
      if (header_->InHeader(p)) m.Result = HTBORDER;
      return;
    }
    case WM_NCPAINT: {
      TCustomControl::WndProc(m);
      int band = header_->BandHeight();
      if (band > 0 && HandleAllocated()) {
        TCanvas* canvas = GetWindowCanvas(Handle());
        if (canvas) {
          TPoint offset = ClientOffset();
          TRect r = Rect(offset.X, offset.Y - band, offset.X + ClientWidth(), offset.Y);
          canvas->ResetClip();
          canvas->SetClipRect(r);
          header_->Columns().PaintHeader(canvas, r, -EffectiveOffsetX());
          canvas->ResetClip();
        }
      }
      // Then the bevel and border, and while themed the styled client edge.
      if (HandleAllocated()) {
        PaintNonClientBorder(GetWindowCanvas(Handle()));
        if (HasState(stUseThemes)) ThemeServices()->PaintThemedBorder(this, true);
      }
      return;
    }
    case WM_COPY:
      m.Result = CopyToClipBoard();
      return;
    case WM_CUT:
      m.Result = CutToClipBoard();
      return;
    case WM_PASTE:
      m.Result = PasteFromClipboard();
      return;
    case WM_GETOBJECT:
      m.Result = GetAccessibilityFactory().AnswerGetObject(this, m.LParam);
      return;
    case WM_NCDESTROY:
      HaltCacheValidation();
      StopTimer(ChangeTimer);
      StopTimer(StructureChangeTimer);
      TCustomControl::WndProc(m);
      return;
    case WM_PRINT: {
      // The whole window into the canvas in WParam: the header band where
      // it lies, then the client area below it.
      auto* canvas = reinterpret_cast<TCanvas*>(m.WParam);
      if (!canvas || ((m.LParam & PRF_CHECKVISIBLE) && !Showing())) return;
      const TPoint client = ClientOffset();
      const int band = header_->BandHeight();
      if ((m.LParam & PRF_NONCLIENT) && band > 0) {
        const TRect r = Rect(client.X, client.Y - band, client.X + ClientWidth(), client.Y);
        canvas->SetClipRect(r);
        header_->Columns().PaintHeader(canvas, r, -EffectiveOffsetX());
        canvas->ResetClip();
      }
      if (m.LParam & PRF_CLIENT) {
        const TPoint origin = canvas->WindowOrg();
        canvas->SetWindowOrg(origin.X - client.X, origin.Y - client.Y);
        Perform(WM_PRINTCLIENT, m.WParam, m.LParam);
        canvas->SetWindowOrg(origin.X, origin.Y);
      }
      return;
    }
    case CM_SYSCOLORCHANGE:
      TCustomControl::WndProc(m);
      // The check images take the system colours anew.
      for (auto [kind, strip] : {std::pair{ckLightCheck, "VT_CHECK_LIGHT"}, {ckDarkCheck, "VT_CHECK_DARK"},
                                 {ckLightTick, "VT_TICK_LIGHT"}, {ckDarkTick, "VT_TICK_DARK"}, {ckFlat, "VT_FLAT"}})
        if (TImageList* list = SharedCheckImages(kind)) LoadImageStrip(*list, strip, true);
      if (TImageList* utilities = UtilityImages()) LoadImageStrip(*utilities, "VT_UTILITIES", true);
      // The window's own handling hears of it too (not the class library's,
      // which turned it into this notice).
      m.Msg = WM_SYSCOLORCHANGE;
      DefaultHandler(m);
      Invalidate();
      return;
    case CM_DRAG:
      HandleClassLibraryDrag(m);
      return;
    case WM_PRINTCLIENT: {
      // Paints the whole client area into the device context in wParam.
      TRect window = ClientRect();
      OffsetRect(window, EffectiveOffsetX(), -offsetY_);
      PaintTree(reinterpret_cast<TCanvas*>(m.WParam), window, Point(0, 0), TVTInternalPaintOptions::FromBits(0x3D));
      return;
    }
    case WM_ENABLE:
      TCustomControl::WndProc(m);
      Invalidate();
      return;
    case WM_GETDLGCODE:
      m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | (wantTabs_ ? DLGC_WANTTAB : 0);
      return;
    case WM_THEMECHANGED:
      TCustomControl::WndProc(m);
      ThemeServices()->WindowProc(m);
      if (ThemeServices()->ThemesActive() && options_->PaintOptions().Contains(toThemeAware))
        ChangeStates({stUseThemes}, {});
      else
        ChangeStates({}, {stUseThemes});
      Invalidate();
      return;
    case CM_MOUSELEAVE:
      if (!HasState(stWheelPanning) && !HasState(stWheelScrolling)) {
        StopTimer(ScrollTimer);
        ChangeStates({}, {stScrolling, stScrollPending});
      }
      if (hotNode_) {
        PVirtualNode old = hotNode_;
        hotNode_ = nullptr;
        DoHotChange(old, nullptr);
        InvalidateNode(old);
      }
      header_->Columns().HoverIndex = header_->Columns().DownIndex = NoColumn;
      TCustomControl::WndProc(m);
      return;
    case CM_COLORCHANGED:
      TCustomControl::WndProc(m);
      PrepareBitmaps(true, false);
      Invalidate();
      return;
    case CM_FONTCHANGED:
      TCustomControl::WndProc(m);
      PrepareBitmaps(true, false);
      if (header_->ParentFont()) header_->Font().Assign(Font());
      Invalidate();
      return;
    case TVM_GETITEMRECT: {
      // The handle arrives in the rectangle's place.
      auto node = m.LParam ? *reinterpret_cast<PVirtualNode*>(m.LParam) : nullptr;
      m.Result = IsLiveNode(node) && IsVisible(node) ? 1 : 0;
      if (m.Result) *reinterpret_cast<TRect*>(m.LParam) = GetDisplayRect(node, NoColumn, m.WParam != 0);
      return;
    }
    case CM_HINTSHOW:
      m.Result = AnswerHintShow(*reinterpret_cast<THintInfo*>(m.LParam)) ? 0 : 1;
      return;
    case CM_HINTSHOWPAUSE:
      if (m.WParam) *reinterpret_cast<int*>(m.LParam) = HintShowPause(*reinterpret_cast<int*>(m.LParam));
      return;
    case TVM_GETNEXTITEM:
      m.Result = LRESULT(TreeViewNextItem(int(m.WParam), reinterpret_cast<PVirtualNode>(m.LParam)));
      return;
    case TVM_GETITEMA:
      m.Result = m.LParam && TreeViewGetItem(*reinterpret_cast<TTVItemA*>(m.LParam)) ? 1 : 0;
      return;
    default:
      TCustomControl::WndProc(m);
  }
}

PVirtualNode TBaseVirtualTree::TreeViewNextItem(int code, PVirtualNode node) {
  bool needsNode = code >= 1 && code <= 7 && code != 5;
  if (needsNode && !IsLiveNode(node)) return nullptr;
  PVirtualNode result = nullptr;
  switch (code) {
    case 0: result = GetFirst(); break;
    case 1: result = GetNextSibling(node); break;
    case 2: result = GetPreviousSibling(node); break;
    case 3: result = GetNodeParent(node); break;
    case 4: result = GetFirstChild(node); break;
    case 5: result = GetFirstVisible(); break;
    case 6: result = GetNextVisible(node); break;
    case 7: result = GetPreviousVisible(node); break;
    case 8: result = dropTargetNode_; break;
    case 9: result = focusedNode_; break;
    case 10: result = GetLastVisible(); break;
    default: break;
  }
  if (result) knownHandles_.insert(result);
  return result;
}

bool TBaseVirtualTree::IsLiveNode(PVirtualNode candidate) {
  if (!candidate || candidate == root_) return false;
  if (knownHandles_.count(candidate)) return true;
  // Compared by address only: a stale handle is never read.
  for (PVirtualNode run = GetFirstNoInit(); run; run = GetNextNoInit(run))
    if (run == candidate) {
      knownHandles_.insert(candidate);
      return true;
    }
  return false;
}

bool TBaseVirtualTree::TreeViewGetItem(TTVItemA& item) {
  auto node = static_cast<PVirtualNode>(item.Item);
  if (!(item.Mask & TVIF_HANDLE) || !IsLiveNode(node)) return false;
  auto imageIndex = [&](TVTImageKind kind) {
    bool ghosted = false;
    int index = -1;
    DoGetImageIndex(node, kind, NoColumn, ghosted, index);
    return index;
  };
  if (item.Mask & TVIF_CHILDREN) item.Children = int(node->ChildCount);
  if (item.Mask & TVIF_IMAGE) item.Image = imageIndex(ikNormal);
  if (item.Mask & TVIF_SELECTEDIMAGE) item.SelectedImage = imageIndex(ikSelected);
  if (item.Mask & TVIF_STATE) {
    item.StateMask = 0xFF2F;
    item.State = 0;
    if (node == focusedNode_) item.State |= TVIS_FOCUSED;
    if (node->States & nsSelected) item.State |= TVIS_SELECTED;
    if (node->States & nsCutOrCopy) item.State |= TVIS_CUT;
    if (node == dropTargetNode_) item.State |= TVIS_DROPHILITED;
    if (node->States & nsExpanded) item.State |= TVIS_EXPANDED;
    item.State |= UINT((imageIndex(ikOverlay) + 1) & 0xF) << 8;
    item.State |= UINT((imageIndex(ikState) + 1) & 0xF) << 12;
  }
  if ((item.Mask & TVIF_TEXT) && item.Text && item.TextMax > 0) {
    TFont font;
    TRect r;
    WideString text;
    GetTextInfo(node, header_->MainColumn(), font, r, text);
    AnsiString ansi = WideToUtf8(text);
    size_t length = std::min(ansi.size(), size_t(item.TextMax - 1));
    std::copy_n(ansi.data(), length, item.Text);
    item.Text[length] = 0;
  }
  return true;
}

// ---- Scrolling ----------------------------------------------------------------------------------

void TBaseVirtualTree::HandleScrollMessage(int bar, int code, int trackPos) {
  TRect client = ClientRect();
  if (bar == SB_HORZ) {
    int direction = HorizontalDirection();
    switch (code) {
      case SB_LINELEFT: SetOffsetX(offsetX_ + direction * scrollBarOptions_->HorizontalIncrement()); break;
      case SB_LINERIGHT: SetOffsetX(offsetX_ - direction * scrollBarOptions_->HorizontalIncrement()); break;
      case SB_PAGELEFT: SetOffsetX(offsetX_ + direction * client.Width()); break;
      case SB_PAGERIGHT: SetOffsetX(offsetX_ - direction * client.Width()); break;
      case SB_THUMBPOSITION:
      case SB_THUMBTRACK:
        ChangeStates({stThumbTracking}, {});
        SetOffsetX(OffsetXForPosition(trackPos));
        break;
      case SB_LEFT: SetOffsetX(OffsetXForPosition(0)); break;
      case SB_RIGHT: SetOffsetX(OffsetXForPosition(rangeX_)); break;
      case SB_ENDSCROLL:
        ChangeStates({}, {stThumbTracking});
        UpdateHorizontalScrollBar(false);
        break;
      default: break;
    }
    return;
  }
  switch (code) {
    case SB_LINEUP: SetOffsetY(offsetY_ + scrollBarOptions_->VerticalIncrement()); break;
    case SB_LINEDOWN: SetOffsetY(offsetY_ - scrollBarOptions_->VerticalIncrement()); break;
    case SB_PAGEUP: SetOffsetY(offsetY_ + client.Height()); break;
    case SB_PAGEDOWN: SetOffsetY(offsetY_ - client.Height()); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      ChangeStates({stThumbTracking}, {});
      SetOffsetY(-trackPos);
      break;
    case SB_TOP: SetOffsetY(0); break;
    case SB_BOTTOM: SetOffsetY(-int(root_->TotalHeight)); break;
    case SB_ENDSCROLL:
      ChangeStates({}, {stThumbTracking});
      UpdateScrollBars(true);
      Invalidate();
      break;
    default: break;
  }
}

bool TBaseVirtualTree::DoMouseWheel(TShiftState shift, int delta, TPoint mousePos) {
  StopWheelPanning();
  if (TCustomControl::DoMouseWheel(shift, delta, mousePos)) return true;
  int steps = delta / 120;
  if (steps == 0) steps = delta > 0 ? 1 : (delta < 0 ? -1 : 0);
  if (ClientHeight() >= rangeY_) {
    int amount = steps;
    if (shift & ssCtrl) amount *= ClientWidth();
    SetOffsetX(offsetX_ + HorizontalDirection() * amount * indent_);
  } else {
    int lines;
    if (shift & ssCtrl)
      lines = (ClientHeight() / std::max(1, defaultNodeHeight_)) * steps;
    else
      lines = delta * (Mouse ? Mouse->WheelScrollLines() : 3) / 120;
    SetOffsetY(offsetY_ + lines * defaultNodeHeight_);
  }
  return true;
}

// ---- Timers -----------------------------------------------------------------------------------------

void TBaseVirtualTree::HandleTimer(UINT_PTR id) {
  switch (id) {
    case ExpandTimer: DoAutoExpand(); break;
    case EditTimer:
      StopTimer(EditTimer);
      DoEdit();
      break;
    case ScrollTimer:
      if (HasState(stScrollPending)) {
        if (Application) Application->CancelHint();
        StartTimer(ScrollTimer, UINT(std::max(1, autoScrollInterval_)));
        ChangeStates({stScrolling}, {stScrollPending});
      }
      DoTimerScroll();
      break;
    case ChangeTimer: DoChange(lastChangedNode_); break;
    case StructureChangeTimer: DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_); break;
    case SearchTimer:
      ChangeStates({}, {stIncrementalSearching});
      StopTimer(SearchTimer);
      searchBuffer_.clear();
      lastSearchNode_ = nullptr;
      break;
    default: break;
  }
}

// ---- Focus and size ----------------------------------------------------------------------------------

void TBaseVirtualTree::DoEnter() { TCustomControl::DoEnter(); }

void TBaseVirtualTree::DoExit() { TCustomControl::DoExit(); }

void TBaseVirtualTree::Resize() {
  TCustomControl::Resize();
  if (!HandleAllocated() || HasState(stSizing) || HasState(stWindowCreating) || ClientHeight() <= 0) return;
  ChangeStates({stSizing}, {});
  header_->ResizeSpring();
  if (header_->Options().Contains(hoAutoResize)) header_->Columns().AdjustAutoSize();
  ChangeStates({}, {stSizing});
  UpdateScrollBars(true);
  if (options_->MiscOptions().Contains(toFullRepaintOnResize)) Invalidate();
  if (editLink_ && !header_->UseColumns() && focusedNode_)
    editLink_->SetBounds(GetDisplayRect(focusedNode_, editColumn_, true));
}

void TBaseVirtualTree::RecreateWnd() {
  UpdateScrollBars(true);
  Invalidate();
}

// ---- Wheel panning ------------------------------------------------------------------------------------

void TBaseVirtualTree::StartWheelPanning(TPoint position) {
  StopTimer(ScrollTimer);
  ChangeStates({stWheelPanning, stWheelScrolling}, {stScrolling, stScrollPending});
  panningAnchor_ = position;
  delete panningWindow_;
  panningWindow_ = new TVTPanningWindow(this);
  panningWindow_->Start(this, position, PanningImageName(rangeX_ > ClientWidth(), rangeY_ > ClientHeight()));
  ShowPanningFeedback();
  SetCapture(Handle());
  StartTimer(ScrollTimer, 20);
}

void TBaseVirtualTree::StopWheelPanning() {
  if (!HasState(stWheelPanning) && !HasState(stWheelScrolling) && !panningWindow_) return;
  ChangeStates({}, {stWheelPanning, stWheelScrolling});
  delete panningWindow_;
  panningWindow_ = nullptr;
  if (Cursor() == appliedCursor_) SetCursor(baseCursor_);
  appliedCursor_ = baseCursor_;
  StopTimer(ScrollTimer);
  if (HandleAllocated() && GetCapture() == Handle()) ReleaseCapture();
}

TCursor TBaseVirtualTree::PanningCursorFor(int x, int y) {
  return PanningCursor(
      PanningCursorName(ScrollDirectionsAt(x, y), rangeX_ > ClientWidth(), rangeY_ > ClientHeight()));
}

// The cursor shows the direction the view moves in (the control's own cursor
// is kept to come back when panning ends).
void TBaseVirtualTree::ShowPanningFeedback() {
  if (Cursor() != appliedCursor_) baseCursor_ = Cursor();
  const TPoint mouse = ScreenToClient(GetCursorPos());
  appliedCursor_ = PanningCursorFor(mouse.X, mouse.Y);
  SetCursor(appliedCursor_);
}

// ---- Hints ----------------------------------------------------------------------------------------------

// The mouse rests over the tree: the hint decision picks the text and the
// rectangle it belongs to, and the tree's hint window shows it.
bool TBaseVirtualTree::AnswerHintShow(THintInfo& info) {
  WideString text;
  TRect area;
  if (!GetHintFor(info.CursorPos, text, area)) return false;
  if (!hintWindow_) hintWindow_ = new TVirtualTreeHintWindow(this);
  if (!hintWindow_->ShowTreeHint(this, info.CursorPos, ClientToScreen(info.CursorPos))) return false;
  info.HintStr = WideToUtf8(text);
  info.CursorRect = area;
  info.HintWindow = hintWindow_;
  return true;
}

// While a hint shows, tooltips and column hints follow the mouse at once.
int TBaseVirtualTree::HintShowPause(int pause) {
  const TPoint mouse = ScreenToClient(GetCursorPos());
  const bool overColumnHints = header_->Options().Contains(hoVisible) &&
                               header_->Options().Contains(hoShowHint) && header_->InHeader(mouse);
  return hintMode_ == hmTooltip || overColumnHints ? 0 : pause;
}

// ---- Class-library drags and header column drags -----------------------------------------

void TBaseVirtualTree::HandleClassLibraryDrag(TMessage& m) {
  auto& record = *reinterpret_cast<TDragRec*>(m.LParam);
  const auto message = TDragMessage(m.WParam);
  if (message == dmFindTarget) {
    ChangeStates({}, {stVCLDragPending});
    TControl* control = FindDragTargetAt(record.Pos);
    m.Result = LRESULT(control ? control : this);
    return;
  }
  TVTTreeTransfer* transfer = TVTTreeTransfer::Of(this);
  if (!transfer) {
    TCustomControl::WndProc(m);
    return;
  }
  auto* source = dynamic_cast<TBaseVirtualTree*>(record.Source ? record.Source->Control() : nullptr);
  const TShiftState shift = CurrentShiftState();
  const DWORD keys = ((shift & ssShift) ? MK_SHIFT : 0) | ((shift & ssCtrl) ? MK_CONTROL : 0);
  m.Result = 0;
  switch (message) {
    case dmDragLeave:
      ChangeStates({}, {stVCLDragging});
      if (source) source->DragImage()->HideDragImage();
      transfer->DragLeave();
      return;
    case dmDragDrop:
      ChangeStates({}, {stVCLDragging});
      transfer->ClassLibraryDrop(source, keys, record.Pos);
      return;
    case dmDragEnter:
      ChangeStates({stVCLDragging}, {});
      if (source) source->DragImage()->ShowDragImage();
      break;
    case dmDragMove: {
      const TPoint client = ScreenToClient(record.Pos);
      StartAutoScroll(client.X, client.Y);
      break;
    }
    default: return;
  }
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  const TDragState state = message == dmDragEnter ? dsDragEnter : dsDragMove;
  const HRESULT answer = transfer->DragOver(source, keys, state, record.Pos, effect);
  m.Result = answer == S_OK && (effect & ~DROPEFFECT_SCROLL) != 0 ? 1 : 0;
}

void TBaseVirtualTree::FollowHeaderDrag(uint8_t headerStatesBefore, const TMessage& m) {
  const bool was = headerStatesBefore & hsDragging, is = header_->States() & hsDragging;
  if (!was && !is) return;
  if (!headerDragImage_) {
    headerDragImage_ = std::make_unique<TVTDragImage>(this);
    // A column's picture is drawn whole and darkened once, without fading
    // from its centre: a faded header picture is all but invisible a few
    // pixels away from its middle.
    headerDragImage_->SetTransparency(140);
    headerDragImage_->SetPreBlendBias(-50);
  }
  if (!is) {
    headerDragImage_->EndDrag();
    return;
  }
  TPoint pointer;
  if (m.Msg == WM_NCMOUSEMOVE)
    pointer = PointFromLParam(m.LParam);
  else if (m.Msg == WM_MOUSEMOVE)
    pointer = ClientToScreen(PointFromLParam(m.LParam));
  else
    return;
  headerDragImage_->SetMoveRestriction(header_->Options().Contains(hoRestrictDrag) ? dmrHorizontalOnly : dmrNone);
  if (!was) {
    // The dragged column's part of the header band, where it lies now.
    const int band = header_->BandHeight();
    int left = 0, right = 0;
    header_->Columns().GetColumnBounds(header_->DragColumn, left, right);
    TBitmap bandPicture(std::max(1, ClientWidth()), std::max(1, band));
    header_->Columns().PaintHeader(bandPicture.Canvas(), Rect(0, 0, bandPicture.Width(), band), -EffectiveOffsetX());
    TBitmap picture(std::max(1, right - left), std::max(1, band));
    picture.Canvas()->CopyRect(Rect(0, 0, picture.Width(), band), *bandPicture.Canvas(), Rect(left, 0, right, band));
    const TPoint position = ClientToScreen(Point(left, -band));
    headerDragImage_->PrepareDrag(picture, position, {pointer.X - position.X, pointer.Y - position.Y}, nullptr);
    headerDragImage_->EnterDrag();
    headerDragImage_->ShowDragImage();
  }
  headerDragImage_->DragTo(pointer, false);
}
