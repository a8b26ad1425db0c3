// A form with one string tree for the tree control tests, texts supplied by
// events from a per-node label stored in the node data, and helpers that
// drive the tree through its window messages; pixel probes for the paint tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/controls/Forms.h"
#include "platform/graphics/Bitmap.h"
#include "treecontrol/VirtualStringTree.h"

// Pixels in r that differ from the background colour.
inline int InkIn(TCanvas* canvas, const TRect& r, TColor background = ColorToRGB(clWindow)) {
  int ink = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (canvas->Pixel(x, y) != background) ++ink;
  return ink;
}

inline int CountColor(TCanvas* canvas, const TRect& r, TColor color) {
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (canvas->Pixel(x, y) == color) ++n;
  return n;
}

// Adds one 16 x 16 image of a single colour to the list.
inline void AddSolidImage(TImageList& images, TColor color) {
  images.SetSize(16, 16);
  TBitmap bitmap(16, 16);
  bitmap.Canvas()->Brush().SetColor(color);
  bitmap.Canvas()->FillRect(Rect(0, 0, 16, 16));
  images.AddMasked(&bitmap, clFuchsia);
}

// The top-level node at index (nullptr past the last), without initialising.
inline PVirtualNode TopLevelNode(TBaseVirtualTree* tree, uint32_t index) {
  PVirtualNode run = tree->GetFirstNoInit();
  while (run && run->Index != index) run = run->NextSibling;
  return run;
}

// Exposes the protected keyboard entry so tests can give a shift state.
class TTestTree : public TVirtualStringTree {
 public:
  using TVirtualStringTree::TVirtualStringTree;
  void Key(uint16_t key, TShiftState shift = 0) {
    uint16_t k = key;
    KeyDown(k, shift);
  }
  void Char(char16_t c) {
    uint16_t k = uint16_t(c >= u'a' && c <= u'z' ? c - 32 : c);
    KeyDown(k, 0);
    char16_t ch = c;
    KeyPress(ch);
  }
  void KeyRelease(uint16_t key) {
    uint16_t k = key;
    KeyUp(k, 0);
  }
};

struct TreeFixture : ::testing::Test {
  TForm* form = nullptr;
  TTestTree* tree = nullptr;
  std::vector<std::u16string> names;  // texts of top-level nodes by index

  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 400);
    tree = new TTestTree(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, WideString& text) {
      if (tree->GetNodeLevel(node) == 0 && node->Index < names.size()) text = names[node->Index];
      else text = u"n" + Utf8ToWide(std::to_string(node->Index));
    };
  }
  void TearDown() override {
    // Handlers of a test capture its locals; destruction must not reach them.
    tree->OnFreeNode = nullptr;
    tree->OnChange = nullptr;
    tree->OnStructureChange = nullptr;
    tree->OnUpdating = nullptr;
    tree->OnFocusChanged = nullptr;
    tree->OnStateChange = nullptr;
    tree->OnScroll = nullptr;
    delete form;
  }

  PVirtualNode Nth(uint32_t index) { return TopLevelNode(tree, index); }
  void Click(int x, int y, WPARAM keys = 0) {
    tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON | keys, MakeLParam(x, y));
    tree->Perform(WM_LBUTTONUP, keys, MakeLParam(x, y));
  }
  // A left-button drag from one client point to another through one step.
  void Drag(TPoint from, TPoint to, WPARAM keys = 0) {
    tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON | keys, MakeLParam(from.X, from.Y));
    tree->Perform(WM_MOUSEMOVE, MK_LBUTTON | keys, MakeLParam(to.X, to.Y));
    tree->Perform(WM_LBUTTONUP, keys, MakeLParam(to.X, to.Y));
  }
  // A mouse message on the header band at client x, as the band receives it.
  void OnBand(UINT message, int x) {
    const TPoint screen = tree->ClientToScreen(Point(x, -8));
    tree->Perform(message, HTBORDER, MakeLParam(screen.X, screen.Y));
  }
  // Serves the messages (validation thread, timers) until cond holds.
  template <class F>
  bool PumpUntil(F cond, int ms = 5000) {
    for (int i = 0; i < ms / 2 && !cond(); ++i) {
      ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
  }
};
