// Scaling a form to another pixel density: bounds, own fonts and what a
// control measures itself through its scale hook.
#include <gtest/gtest.h>

#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"

namespace {

// Records the scale its hook is given.
class TScaleProbe : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  int M = 0, D = 0;

 protected:
  void ChangeScale(int m, int d) override {
    M = m;
    D = d;
    TCustomControl::ChangeScale(m, d);
  }
};

}  // namespace

TEST(Scale, BoundsOwnFontsAndChildrenFollowTheFactor) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  auto* panel = new TPanel(&form);
  panel->SetParent(&form);
  panel->SetBounds(10, 20, 101, 51);
  auto* edit = new TEdit(&form);
  edit->SetParent(panel);
  edit->SetBounds(4, 5, 60, 21);
  edit->SetParentFont(false);
  edit->Font().SetSize(10);
  auto* probe = new TScaleProbe(&form);
  probe->SetParent(panel);
  const int inherited = probe->Font().Size();
  panel->ScaleBy(3, 2);
  EXPECT_EQ(panel->BoundsRect(), Rect(15, 30, 15 + 152, 30 + 77));
  EXPECT_EQ(edit->BoundsRect(), Rect(6, 8, 6 + 90, 8 + 32));
  EXPECT_EQ(edit->Font().Size(), 15);
  EXPECT_EQ(probe->Font().Size(), inherited) << "a control that follows its parent's font keeps it";
  EXPECT_EQ(probe->M, 3);
  EXPECT_EQ(probe->D, 2);
  probe->M = 0;
  panel->ScaleBy(2, 2);
  panel->ScaleBy(2, 0);
  EXPECT_EQ(probe->M, 0) << "no scale and no scale by zero";
}
