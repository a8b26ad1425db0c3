// A custom control receives the message sequences that user actions produce,
// the mouse and the keyboard coming through the window system.
#include <gtest/gtest.h>

#include "Support.h"
#include "platform/controls/Menus.h"
#include "platform/controls/UserInput.h"

namespace {

struct Fixture : ::testing::Test {
  TForm* form = nullptr;
  TRecorder* rec = nullptr;
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 200);
    rec = new TRecorder(form);
    rec->SetParent(form);
    rec->SetBounds(10, 10, 200, 150);
    rec->log.clear();
  }
  void TearDown() override { delete form; }
};

SCROLLINFO ScrollInfo(TRecorder* c, UINT mask) {
  SCROLLINFO info;
  info.fMask = mask;
  c->GetScrollInfo(SB_VERT, info);
  return info;
}

// Paints the control's client area in one colour whenever it is asked to.
void PaintClient(TRecorder* c, TColor color) {
  c->OnPaint = [c, color](TObject*) {
    c->Canvas()->Brush().SetColor(color);
    c->Canvas()->FillRect(c->ClientRect());
  };
}

}  // namespace

TEST_F(Fixture, ClicksDoubleClicksAndDragsArriveAsButtonMessagesWithClientCoordinates) {
  int clicks = 0, dbl = 0;
  rec->OnClick = [&](TObject*) { ++clicks; };
  rec->OnDblClick = [&](TObject*) { ++dbl; };
  form->Show();
  UserDoubleClick(TUserPoint(rec, 5, 6));
  auto seq = rec->Messages({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK});
  EXPECT_EQ(seq, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
  EXPECT_EQ(std::pair(clicks, dbl), std::pair(2, 1));
  EXPECT_EQ(PointFromLParam(rec->First(WM_LBUTTONDOWN).LParam), Point(5, 6));
  EXPECT_EQ(rec->First(WM_LBUTTONDOWN).WParam & MK_LBUTTON, MK_LBUTTON);
  UserClick(TUserPoint(rec, 7, 8), mbRight, ssCtrl);
  EXPECT_EQ(rec->First(WM_RBUTTONDOWN).WParam, MK_RBUTTON | MK_CONTROL);
  rec->log.clear();
  UserDrag(TUserPoint(rec, 10, 10), TUserPoint(rec, 90, 50));
  EXPECT_EQ(rec->Messages({WM_MOUSEMOVE}).size(), 9u);
  EXPECT_EQ(rec->log.back().Msg, WM_LBUTTONUP);
  EXPECT_EQ(PointFromLParam(rec->log.back().LParam), Point(90, 50));
}

// The pointer leaves every window with the button held and comes back: the
// control keeps the mouse, every move reports the button and the cursor is
// where the hand is. Two separate clicks in one place stay single clicks.
TEST_F(Fixture, AHeldButtonKeepsTheMouseOutsideTheWindowsAndSeparateClicksStaySingle) {
  form->Show();
  RunAsUser([&] {
    ASSERT_TRUE(UserPress(TUserPoint(rec, 20, 20)));
    rec->log.clear();
    ASSERT_TRUE(UserMove(TUserPoint::OnScreen(700, 600)));
    ASSERT_TRUE(UserMove(TUserPoint(rec, 40, 30)));
    ASSERT_TRUE(UserRelease(TUserPoint(rec, 40, 30)));
  });
  // Out there the control hears a non-client move at the screen point.
  EXPECT_EQ(rec->Messages({WM_NCMOUSEMOVE, WM_MOUSEMOVE, WM_LBUTTONUP}),
            (std::vector<UINT>{WM_NCMOUSEMOVE, WM_MOUSEMOVE, WM_LBUTTONUP}));
  EXPECT_EQ(PointFromLParam(rec->First(WM_NCMOUSEMOVE).LParam), Point(700, 600));
  EXPECT_EQ(rec->First(WM_MOUSEMOVE).WParam & MK_LBUTTON, MK_LBUTTON);
  EXPECT_EQ(PointFromLParam(rec->log.back().LParam), Point(40, 30));
  EXPECT_EQ(GetCursorPos(), rec->ClientToScreen({40, 30}));
  rec->log.clear();
  UserClick(TUserPoint(rec, 5, 5));
  UserClick(TUserPoint(rec, 5, 5));
  EXPECT_EQ(rec->Messages({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDOWN}));
}

TEST_F(Fixture, TypedCharactersArriveAsKeyDownCharKeyUpAndZeroedKeysAreConsumed) {
  std::vector<uint16_t> downs;
  std::u16string typed;
  rec->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) { downs.push_back(key); };
  rec->OnKeyPress = [&](TObject*, char16_t& key) { typed += key; };
  form->Show();
  UserClick(rec);
  UserType("a");
  EXPECT_EQ(rec->Messages({WM_KEYDOWN, WM_CHAR, WM_KEYUP}), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
  // The main keyboard's "*" is the numeric pad's; characters without a key
  // code of their own (".", "é", other letters) come as a packet.
  UserType(".*\xC3\xA9\xD0\xB6");
  UserKey(VK_DOWN);
  EXPECT_EQ(downs, (std::vector<uint16_t>{'A', VK_PACKET, VK_SHIFT, VK_MULTIPLY, VK_PACKET, VK_PACKET, VK_DOWN}));
  EXPECT_EQ(typed, u"a.*\u00E9\u0436");
  rec->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) { key = 0; };
  rec->log.clear();
  UserType("b");
  EXPECT_TRUE(rec->Messages({WM_CHAR}).empty());
}

TEST_F(Fixture, APopupMenuShowsItsSeparatorsAsPlainLines) {
  auto* menu = new TPopupMenu(form);
  for (const char* caption : {"One", "-", "Two"}) {
    auto* item = new TMenuItem(form);
    item->SetCaption(caption);
    menu->Items()->Add(item);
  }
  rec->SetPopupMenu(menu);
  form->Show();
  RunAsUser([&] {
    ASSERT_TRUE(UserClick(rec, mbRight));
    ASSERT_TRUE(UserWaitFor([&] { return MenuShowing(menu->Items()); }));
    TPoint line, text;
    ASSERT_TRUE(TUserPoint(menu->Items()->Items(1)).Resolve(line) && TUserPoint(menu->Items()->Items(0)).Resolve(text));
    TBitmap screen;
    UserScreenshot(screen);
    // The separator's row has no dark pixels; the caption's row has.
    auto dark = [&](TPoint centre) {
      int count = 0;
      for (int y = centre.Y - 3; y <= centre.Y + 3; ++y)
        for (int x = centre.X - 80; x < centre.X + 80; ++x) {
          const TColor c = screen.Canvas()->Pixel(x, y);
          count += GetRValue(c) + GetGValue(c) + GetBValue(c) < 200;
        }
      return count;
    };
    EXPECT_GT(dark(text), 10);
    EXPECT_EQ(dark(line), 0);
    UserKey(VK_ESCAPE);
  });
}

TEST_F(Fixture, WheelFocusAndCaptureMessages) {
  SimulateWheel(rec, 5, 5, -120, ssShift);
  ASSERT_EQ(rec->Messages({WM_MOUSEWHEEL}).size(), 1u);
  EXPECT_EQ(int16_t(HiWord(rec->First(WM_MOUSEWHEEL).WParam)), -120);
  EXPECT_EQ(rec->First(WM_MOUSEWHEEL).WParam & MK_SHIFT, MK_SHIFT);
  SimulateFocus(rec, true);
  SimulateFocus(rec, false);
  EXPECT_EQ(rec->Messages({WM_SETFOCUS, WM_KILLFOCUS}), (std::vector<UINT>{WM_SETFOCUS, WM_KILLFOCUS}));

  auto* other = new TRecorder(form);
  other->SetParent(form);
  other->SetBounds(220, 10, 50, 50);
  SetCapture(rec->Handle());
  rec->log.clear();
  SimulateMouse(other, smMove, 3, 3);
  EXPECT_EQ(rec->Messages({WM_MOUSEMOVE}).size(), 1u);
  EXPECT_TRUE(other->Messages({WM_MOUSEMOVE}).empty());
  SetCapture(other->Handle());
  EXPECT_EQ(rec->Messages({WM_CAPTURECHANGED}).size(), 1u);
  ReleaseCapture();
  EXPECT_EQ(other->Messages({WM_CAPTURECHANGED}).size(), 1u);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Fixture, TimersArriveByIdThroughTheQtLoop) {
  std::vector<WPARAM> ids;
  rec->WindowProc = [&, old = rec->WindowProc](TMessage& m) {
    if (m.Msg == WM_TIMER) ids.push_back(m.WParam);
    old(m);
  };
  auto count = [&](WPARAM id) { return std::count(ids.begin(), ids.end(), id); };
  SetTimer(rec->Handle(), 7, 10);
  SetTimer(rec->Handle(), 9, 25);
  EXPECT_TRUE(PumpUntil([&] { return count(7) >= 3 && count(9) >= 1; }));
  KillTimer(rec->Handle(), 7);
  KillTimer(rec->Handle(), 9);
  EXPECT_EQ(size_t(count(7) + count(9)), ids.size());
  ids.clear();
  PumpFor(60);
  EXPECT_TRUE(ids.empty());
}

TEST_F(Fixture, ScrollBarsSendScrollMessagesAndShrinkTheClientArea) {
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0, si.nMax = 999, si.nPage = 100, si.nPos = 50;
  EXPECT_EQ(rec->SetScrollInfo(SB_VERT, si, true), 50);
  EXPECT_TRUE(rec->ScrollBarVisible(SB_VERT));
  EXPECT_EQ(rec->ClientWidth(), 200 - GetSystemMetrics(SM_CXVSCROLL));
  EXPECT_FALSE(rec->Messages({WM_SIZE}).empty());
  si.nPos = 5000;
  EXPECT_EQ(rec->SetScrollInfo(SB_VERT, si, true), 900);

  std::vector<int> codes;
  int track = -1;
  rec->WindowProc = [&, old = rec->WindowProc](TMessage& m) {
    if (m.Msg == WM_VSCROLL) {
      codes.push_back(LoWord(m.WParam));
      if (LoWord(m.WParam) == SB_THUMBTRACK) track = ScrollInfo(rec, SIF_TRACKPOS).nTrackPos;
    }
    old(m);
  };
  SimulateScrollBar(rec, SB_VERT, SB_LINEDOWN);
  SimulateScrollBar(rec, SB_VERT, SB_PAGEUP);
  SimulateScrollBar(rec, SB_VERT, SB_THUMBTRACK, 300);
  EXPECT_EQ(codes, (std::vector<int>{SB_LINEDOWN, SB_ENDSCROLL, SB_PAGEUP, SB_ENDSCROLL, SB_THUMBTRACK}));
  EXPECT_EQ(track, 300);
  EXPECT_EQ(ScrollInfo(rec, SIF_POS).nPos, 900);  // the control decides the position, not the bar

  // A bar on the left moves the client area right of it: painting and mouse follow.
  rec->SetLeftScrollBar(true);
  const int bar = GetSystemMetrics(SM_CXVSCROLL);
  EXPECT_EQ(rec->ClientOffset().X, bar);
  PaintClient(rec, clYellow);
  TBitmap shot;
  CaptureControl(rec, shot);
  EXPECT_NE(shot.Canvas()->Pixel(bar / 2, 20), clYellow);
  EXPECT_EQ(shot.Canvas()->Pixel(bar, 20), clYellow);
  rec->log.clear();
  SimulateMouse(rec, smDown, bar + 4, 6);
  EXPECT_EQ(rec->First(WM_LBUTTONDOWN).LParam, MakeLParam(4, 6));
  rec->SetLeftScrollBar(false);
  EXPECT_EQ(rec->ClientOffset().X, 0);
  si.fMask = SIF_RANGE;
  si.nMax = 50;
  rec->SetScrollInfo(SB_VERT, si, true);
  EXPECT_FALSE(rec->ScrollBarVisible(SB_VERT));
}

TEST_F(Fixture, PaintingGoesThroughTheBackBufferAlsoOutsideThePaintMessage) {
  PaintClient(rec, clYellow);
  TBitmap shot;
  CaptureControl(rec, shot);
  EXPECT_GE(rec->paints, 1);
  EXPECT_EQ(shot.Canvas()->Pixel(20, 20), clYellow);
  int paints = rec->paints;
  rec->Canvas()->Brush().SetColor(clBlue);
  rec->Canvas()->FillRect(Rect(0, 0, 10, 10));
  CaptureControl(rec, shot);
  EXPECT_EQ(rec->paints, paints);
  EXPECT_EQ(shot.Canvas()->Pixel(5, 5), clBlue);
  rec->Invalidate();
  CaptureControl(rec, shot);
  EXPECT_EQ(rec->paints, paints + 1);
  EXPECT_EQ(shot.Canvas()->Pixel(5, 5), clYellow);
}

namespace {

// Reserves a 20-pixel band at the top of the window for a header painted in
// the non-client area.
class THeadered : public TRecorder {
 public:
  using TRecorder::TRecorder;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_NCCALCSIZE) {
      TRecorder::WndProc(m);
      reinterpret_cast<TRect*>(m.LParam)->Top += 20;
      return;
    }
    if (m.Msg == WM_NCPAINT) {
      TCanvas* wc = GetWindowCanvas(Handle());
      wc->Brush().SetColor(clRed);
      wc->FillRect(Rect(0, 0, Width(), 20));
    }
    TRecorder::WndProc(m);
  }
};

}  // namespace

TEST_F(Fixture, NonClientAreaEnterLeaveAndCursor) {
  auto* h = new THeadered(form);
  h->SetParent(form);
  h->SetBorderStyle(bsSingle);
  h->SetBounds(0, 0, 100, 80);
  EXPECT_EQ(h->ClientRect(), Rect(0, 0, 96, 56));
  EXPECT_EQ(h->ClientOffset(), Point(2, 22));
  PaintClient(h, clLime);
  TBitmap shot;
  CaptureControl(h, shot);
  EXPECT_EQ(shot.Canvas()->Pixel(50, 10), clRed);
  EXPECT_EQ(shot.Canvas()->Pixel(50, 40), clLime);

  h->log.clear();
  SimulateMouse(h, smDown, 50, 10);
  SimulateMouse(h, smDown, 50, 40);
  EXPECT_EQ(h->Messages({WM_NCLBUTTONDOWN, WM_LBUTTONDOWN}), (std::vector<UINT>{WM_NCLBUTTONDOWN, WM_LBUTTONDOWN}));
  SimulateMouse(h, smDown, 50, 10, mbRight);
  SimulateMouse(h, smUp, 50, 10, mbRight);
  SimulateMouse(h, smDoubleClick, 50, 10, mbMiddle);
  EXPECT_EQ(h->Messages({WM_NCRBUTTONDOWN, WM_NCRBUTTONUP, WM_NCMBUTTONDBLCLK, WM_RBUTTONDOWN, WM_MBUTTONDBLCLK}),
            (std::vector<UINT>{WM_NCRBUTTONDOWN, WM_NCRBUTTONUP, WM_NCMBUTTONDBLCLK}));
  EXPECT_EQ(PointFromLParam(h->First(WM_LBUTTONDOWN).LParam), Point(48, 18));

  int entered = 0, left = 0;
  h->OnMouseEnter = [&](TObject*) { ++entered; };
  h->OnMouseLeave = [&](TObject*) { ++left; };
  SimulateMouseEnter(h, true);
  SimulateMouseEnter(h, false);
  EXPECT_EQ(std::pair(entered, left), std::pair(1, 1));

  h->log.clear();
  h->SetCursor(crHandPoint);
  SimulateMouse(h, smMove, 50, 40);
  EXPECT_EQ(h->Messages({WM_SETCURSOR, WM_MOUSEMOVE}), (std::vector<UINT>{WM_SETCURSOR, WM_MOUSEMOVE}));
  EXPECT_EQ(ShownCursor(h), crHandPoint);
  Screen->SetCursor(crHourGlass);
  SimulateMouse(h, smMove, 50, 41);
  EXPECT_EQ(ShownCursor(h), crHourGlass);
  Screen->SetCursor(crDefault);
}
