// Hints: a custom control is asked (CM_HINTSHOW) when the mouse rests over
// it and may change or refuse its hint; a standard control shows its tool
// tip by itself.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

#include "Support.h"
#include "platform/controls/PopupWindow.h"
#include "platform/controls/StdCtrls.h"

namespace {

class THinted : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  std::vector<THintInfo> asked;
  AnsiString answer;  // replaces the text when set
  bool refuse = false;
  TPopupWindow* window = nullptr;  // shows the hint there when set
  void WndProc(TMessage& m) override {
    if (m.Msg != CM_HINTSHOW) return TCustomControl::WndProc(m);
    auto* info = reinterpret_cast<THintInfo*>(m.LParam);
    asked.push_back(*info);
    if (!answer.empty()) info->HintStr = answer;
    if (window) {
      window->SetBounds(info->HintPos.X, info->HintPos.Y, 60, 20);
      window->Show();
      info->HintWindow = window;
    }
    m.Result = refuse;
  }
};

void Rest(TControl* control, int x, int y) {
  QHelpEvent event(QEvent::ToolTip, QPoint(x, y), control->Widget()->mapToGlobal(QPoint(x, y)));
  QApplication::sendEvent(control->Widget(), &event);
}

bool ToolTipShows(const char* text) { return QToolTip::isVisible() && QToolTip::text() == text; }

}  // namespace

TEST(HintTest, CustomControlsAnswerCmHintShowAndStandardOnesShowTheirToolTip) {
  TForm form(nullptr);
  auto* control = new THinted(&form);
  control->SetParent(&form);
  control->SetBounds(10, 10, 100, 50);
  control->SetHint("Hello");
  control->SetShowHint(true);
  form.Show();
  Rest(control, 5, 6);
  Rest(control, 7, 8);  // still within the hint's rectangle: not asked again
  ASSERT_EQ(control->asked.size(), 1u);
  EXPECT_EQ(control->asked[0].CursorPos, Point(5, 6));
  EXPECT_EQ(control->asked[0].HintStr, "Hello");
  EXPECT_TRUE(ToolTipShows("Hello"));
  SimulateKey(control, true, 'A', "a");
  EXPECT_EQ(Application->HintControl(), nullptr);
  control->answer = "Changed";
  Rest(control, 5, 6);
  EXPECT_TRUE(ToolTipShows("Changed"));
  Application->CancelHint();
  control->refuse = true;
  Rest(control, 5, 6);
  EXPECT_EQ(Application->HintControl(), nullptr);

  auto* button = new TButton(&form);
  button->SetParent(&form);
  button->SetHint("Plain");
  button->SetShowHint(true);
  Rest(button, 5, 5);
  EXPECT_TRUE(ToolTipShows("Plain"));
}

TEST(HintTest, AHintsOwnPopupWindowFloatsAtScreenCoordinatesWithoutTakingTheFocus) {
  TForm form(nullptr);
  form.SetBounds(100, 100, 300, 200);
  auto* control = new THinted(&form);
  control->SetParent(&form);
  control->SetBounds(10, 10, 100, 50);
  control->SetHint("Hello");
  control->SetShowHint(true);
  control->window = new TPopupWindow(&form);
  control->window->SetParent(&form);  // ignored: it stays a window of its own
  EXPECT_EQ(control->window->Parent(), nullptr);
  form.Show();
  form.Widget()->activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == form.Widget(); }));
  control->SetFocus();
  ASSERT_EQ(GetFocus(), control->Handle());
  Rest(control, 5, 6);
  ASSERT_EQ(control->asked.size(), 1u);
  EXPECT_TRUE(control->window->Widget()->isWindow());
  EXPECT_TRUE(control->window->Widget()->isVisible());
  EXPECT_EQ(control->window->ClientToScreen({0, 0}), control->asked[0].HintPos);
  PumpFor(50);
  EXPECT_EQ(QApplication::activeWindow(), form.Widget());
  EXPECT_EQ(GetFocus(), control->Handle());
  EXPECT_FALSE(ToolTipShows("Hello"));
  Application->CancelHint();
  EXPECT_FALSE(control->window->Widget()->isVisible());
}
