// Fuzzes the header stream reader: whatever loads must paint, header and
// rows, without overflow or giant bitmaps.
#include <cstdint>

#include "platform/controls/Forms.h"
#include "platform/graphics/Bitmap.h"
#include "treecontrol/VirtualStringTree.h"

namespace {

TForm* form;
TVirtualStringTree* tree;
TBitmap* picture;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitializeControls();
  form = new TForm(nullptr);
  tree = new TVirtualStringTree(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 300, 200);
  tree->SetRootNodeCount(3);
  picture = new TBitmap(300, 200);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream;
  stream.WriteBuffer(data, int64_t(size));
  stream.SetPosition(0);
  try {
    tree->Header().LoadFromStream(stream);
  } catch (const Exception&) {
  }
  tree->Header().Columns().PaintHeader(picture->Canvas(), Rect(0, 0, 300, tree->Header().Height()), 0);
  tree->PaintTree(picture->Canvas(), Rect(0, 0, 300, 200), {0, 0}, DefaultPaintTreeOptions);
  tree->Header().Columns().Clear();
  return 0;
}
