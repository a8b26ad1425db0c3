// Fuzzes the language-file reader: the input is a language file applied to a
// form with captions, lists, a combo box and a collection.
#include <cstdint>

#include "components/jlangy.h"
#include "platform/controls/ComCtrls.h"
#include "platform/controls/StdCtrls.h"
#include "platform/rtl/FileUtils.h"

namespace {

struct TFuzzForm : TForm {
  using TForm::TForm;
  AnsiString ClassName() const override { return "TFuzzForm"; }
};

template <class T>
T* Named(TForm* form, const char* name) {
  T* component = new T(form);
  component->SetName(name);
  component->SetParent(form);
  return component;
}

TFuzzForm* form;
AnsiString fileName;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitializeControls();
  form = new TFuzzForm(nullptr);
  form->SetCaption("Form");
  Named<TButton>(form, "Button1")->SetCaption("OK");
  Named<TMemo>(form, "Memo1")->Lines()->SetText("one\r\ntwo");
  TComboBox* combo = Named<TComboBox>(form, "cbLang");
  combo->Items()->SetText("a\r\nb");
  combo->SetItemIndex(1);
  TStatusBar* status = Named<TStatusBar>(form, "StatusBar1");
  status->Panels()->Add();
  status->Panel(0)->SetText("Ready");
  fileName = MakeTempFolder("fuzzlang") + "fuzz.lan";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFileAtomically(fileName, AnsiString(reinterpret_cast<const char*>(data), size));
  TjLangy langy(nullptr);
  langy.LoadLanguage(form, fileName);
  return 0;
}
