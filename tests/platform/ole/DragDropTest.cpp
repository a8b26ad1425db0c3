// Drags within the program driven by simulated mouse and key input, and
// drops that arrive from other programs through Qt.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

#include "platform/controls/Clipbrd.h"
#include "platform/controls/Forms.h"
#include "platform/controls/Simulate.h"
#include "platform/ole/DataObject.h"
#include "platform/ole/DragDrop.h"
#include "platform/ole/OleClipboard.h"

namespace {

struct Call {
  AnsiString what;
  DWORD keys = 0;
};

class TSource : public TInterfacedObject<IDropSource> {
 public:
  std::vector<Call> calls;
  HRESULT QueryContinueDrag(BOOL escape, DWORD keys) override {
    calls.push_back({escape ? "escape" : "continue", keys});
    return DefaultQueryContinueDrag(escape, keys);
  }
  HRESULT GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// Copies with Ctrl, moves otherwise; refuses everything when told to.
class TTarget : public TInterfacedObject<IDropTarget> {
 public:
  std::vector<Call> calls;
  AnsiString droppedText;
  POINTL lastPoint;
  bool refuse = false;
  HRESULT DragEnter(IDataObject*, DWORD keys, POINTL p, DWORD* effect) override {
    Record("enter", keys, p);
    return Choose(keys, effect);
  }
  HRESULT DragOver(DWORD keys, POINTL p, DWORD* effect) override {
    if (calls.empty() || calls.back().what != "over" || calls.back().keys != keys) Record("over", keys, p);
    lastPoint = p;
    return Choose(keys, effect);
  }
  HRESULT DragLeave() override {
    calls.push_back({"leave", 0});
    return S_OK;
  }
  HRESULT Drop(IDataObject* data, DWORD keys, POINTL p, DWORD* effect) override {
    Record("drop", keys, p);
    AnsiString bytes;
    if (GetDataBytes(data, CLIPFORMAT(CF_UNICODETEXT), bytes) == S_OK) droppedText = TextFromUnicodeBytes(bytes);
    return Choose(keys, effect);
  }
  std::vector<AnsiString> Sequence() const {
    std::vector<AnsiString> s;
    for (const Call& c : calls) s.push_back(c.what);
    return s;
  }
  DWORD KeysOf(const AnsiString& what) const {
    for (const Call& c : calls)
      if (c.what == what) return c.keys;
    return 0xFFFF;
  }

 private:
  void Record(const char* what, DWORD keys, POINTL p) {
    calls.push_back({what, keys});
    lastPoint = p;
  }
  HRESULT Choose(DWORD keys, DWORD* effect) {
    const DWORD wanted = refuse ? DROPEFFECT_NONE : keys & MK_CONTROL ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
    *effect &= wanted;
    return S_OK;
  }
};

struct DragFixture : ::testing::Test {
  TForm* form = nullptr;
  TCustomControl* source = nullptr;
  TCustomControl* target = nullptr;
  TCustomControl* inner = nullptr;
  TComPtr<TTarget> drop{new TTarget()};
  TComPtr<TSource> feedback{new TSource()};
  HRESULT result = E_FAIL;
  DWORD effect = 0xFF;

  void SetUp() override {
    OleInitialize(nullptr);
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 200);
    source = Child(form, 0);
    target = Child(form, 200);
    inner = Child(target, 50);
    inner->SetBounds(50, 50, 40, 40);
    form->Show();
    ASSERT_EQ(RegisterDragDrop(target->Handle(), drop.Get()), S_OK);
    EXPECT_EQ(RegisterDragDrop(target->Handle(), drop.Get()), DRAGDROP_E_ALREADYREGISTERED);
    source->OnMouseDown = [this](TObject*, TMouseButton, TShiftState, int, int) {
      TComPtr<TDataObject> data(new TDataObject());
      data->SetText("dragged");
      result = DoDragDrop(data.Get(), feedback.Get(), DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    };
  }
  void TearDown() override {
    delete form;
    OleUninitialize();
  }
  TCustomControl* Child(TWinControl* parent, int left) {
    auto* c = new TCustomControl(form);
    c->SetParent(parent);
    c->SetBounds(left, 0, 200, 200);
    return c;
  }
  // Starts a drag on the source with a fresh record of the target's calls;
  // steps run inside the drag loop.
  void Drag(std::function<void()> steps) {
    drop->calls.clear();
    QTimer::singleShot(0, steps);
    SimulateMouse(source, smDown, 20, 20);
  }
  void ExpectDrag(HRESULT wanted, DWORD wantedEffect, const std::vector<AnsiString>& calls) {
    EXPECT_EQ(result, wanted);
    EXPECT_EQ(effect, wantedEffect);
    EXPECT_EQ(drop->Sequence(), calls);
  }
};

}  // namespace

TEST_F(DragFixture, PlainDragMovesAndCtrlDragCopies) {
  Drag([&] {
    SimulateMouse(source, smMove, 30, 20);
    SimulateMouse(target, smMove, 10, 20);
    SimulateMouse(target, smMove, 12, 22);
    SimulateMouse(target, smUp, 12, 22);
  });
  ExpectDrag(DRAGDROP_S_DROP, DROPEFFECT_MOVE, {"enter", "over", "drop"});
  EXPECT_EQ(drop->KeysOf("enter"), MK_LBUTTON);
  EXPECT_EQ(drop->KeysOf("drop"), 0u);
  EXPECT_EQ(drop->droppedText, "dragged");
  const TPoint screen = target->ClientToScreen(Point(12, 22));
  EXPECT_EQ(Point(drop->lastPoint.x, drop->lastPoint.y), screen);
  EXPECT_EQ(feedback->calls.front().keys, MK_LBUTTON);
  EXPECT_EQ(feedback->calls.back().keys, 0u);

  Drag([&] {
    SimulateMouse(target, smMove, 10, 20);
    SimulateKey(target, true, VK_CONTROL, "", ssCtrl);
    SimulateMouse(inner, smMove, 5, 5, mbLeft, ssCtrl);  // a child of the target
    SimulateMouse(inner, smUp, 5, 5, mbLeft, ssCtrl);
  });
  ExpectDrag(DRAGDROP_S_DROP, DROPEFFECT_COPY, {"enter", "over", "drop"});
  EXPECT_EQ(drop->KeysOf("over"), MK_LBUTTON | MK_CONTROL);
  EXPECT_EQ(drop->KeysOf("drop"), DWORD(MK_CONTROL));
}

TEST_F(DragFixture, EscapeOrBothButtonsCancelAndRefusedDropsOnlyLeave) {
  Drag([&] {
    SimulateMouse(target, smMove, 10, 20);
    SimulateKey(target, true, VK_ESCAPE);
  });
  ExpectDrag(DRAGDROP_S_CANCEL, DROPEFFECT_NONE, {"enter", "leave"});
  EXPECT_EQ(feedback->calls.back().what, "escape");

  Drag([&] {
    SimulateMouse(target, smMove, 10, 20);
    SimulateMouse(target, smDown, 10, 20, mbRight);
  });
  ExpectDrag(DRAGDROP_S_CANCEL, DROPEFFECT_NONE, {"enter", "leave"});
  SimulateMouse(target, smUp, 10, 20, mbRight);  // after the drag, the buttons go up again
  SimulateMouse(target, smUp, 10, 20);

  drop->refuse = true;
  Drag([&] { SimulateMouse(target, smUp, 10, 20); });
  ExpectDrag(DRAGDROP_S_DROP, DROPEFFECT_NONE, {"enter", "leave"});

  // Leaving the target for a window without one, and dropping there.
  drop->refuse = false;
  Drag([&] {
    SimulateMouse(target, smMove, 10, 20);
    SimulateMouse(source, smMove, 10, 20);
    SimulateMouse(source, smUp, 10, 20);
  });
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  EXPECT_EQ(drop->Sequence(), (std::vector<AnsiString>{"enter", "leave"}));

  // A revoked window is no target.
  EXPECT_EQ(RevokeDragDrop(target->Handle()), S_OK);
  EXPECT_EQ(RevokeDragDrop(target->Handle()), DRAGDROP_E_NOTREGISTERED);
  Drag([&] { SimulateMouse(target, smUp, 10, 20); });
  EXPECT_TRUE(drop->calls.empty());
}

TEST_F(DragFixture, DragsFromOtherProgramsArriveAsDataObjects) {
  QMimeData mime;
  mime.setText("from outside");
  QWidget* w = target->Widget();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::ControlModifier);
  QApplication::sendEvent(w, &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
  QDropEvent dropped(QPointF(11, 11), Qt::CopyAction | Qt::MoveAction, &mime, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &dropped);
  EXPECT_EQ(dropped.dropAction(), Qt::MoveAction);
  EXPECT_EQ(drop->Sequence(), (std::vector<AnsiString>{"enter", "drop"}));
  EXPECT_EQ(drop->KeysOf("enter"), MK_LBUTTON | MK_CONTROL);
  EXPECT_EQ(drop->droppedText, "from outside");
}
