// Fuzzes the tree stream reader: the input is loaded as a whole stream and
// as bare node chunks (the clipboard's form) pasted with each attach mode.
// Whatever is kept must have consistent counts, and must save and load again.
#include <cstdint>

#include "platform/controls/Forms.h"
#include "tests/treecontrol/CountsAgree.h"
#include "treecontrol/VTStream.h"
#include "treecontrol/VirtualStringTree.h"

namespace {

TVirtualStringTree* MakeTree(TForm& form) {
  auto* tree = new TVirtualStringTree(&form);
  tree->SetParent(&form);
  tree->SetBounds(0, 0, 300, 200);
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  return tree;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

TForm* form;
TVirtualStringTree* tree;
TVirtualStringTree* copy;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitializeControls();
  form = new TForm(nullptr);
  tree = MakeTree(*form);
  copy = MakeTree(*form);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const AnsiString bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    if (data[0] & 0x80) {
      tree->SetRootNodeCount(2);
      const TVTNodeAttachMode mode = TVTNodeAttachMode(data[0] % 6);
      InsertNodeChunks(*tree, bytes, tree->GetFirstNoInit(), mode, nullptr);
    } else {
      TMemoryStream stream;
      stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
      stream.SetPosition(0);
      tree->LoadFromStream(stream);
    }
  } catch (const Exception&) {
  }
  Check(CountsAgree(*tree));
  TMemoryStream saved;
  tree->SaveToStream(saved);
  saved.SetPosition(0);
  copy->LoadFromStream(saved);
  Check(CountsAgree(*copy));
  Check(copy->TotalCount() == tree->TotalCount());
  tree->Clear();
  copy->Clear();
  return 0;
}
