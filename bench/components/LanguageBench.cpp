// Language files of 250 to 20,000 keys, all lines of one memo: time to load
// a file into the form (every line replaced) and to save the form's texts
// over the file (every line written again). The files are kept in a
// folder on disk, as the program keeps them, so each save's durable write
// is counted in.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "components/jlangy.h"
#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"
#include "platform/rtl/FileUtils.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct TMemoForm : TForm {
  TMemo* Memo1 = new TMemo(this);
  TMemoForm() : TForm(nullptr) {
    SetClassName("TMEMOFORM");
    SetCaption("Language bench");
    Memo1->SetName("Memo1");
    Memo1->SetParent(this);
  }
};

void Measure(const AnsiString& folder, int keys) {
  TMemoForm form;
  AnsiString lines, file = "[TMEMOFORM]\r\nSelf.Caption=Sprachtest\r\n";
  for (int i = 0; i < keys; ++i) {
    lines += "line " + IntToStr(i) + "\n";
    file += "Memo1.Lines." + IntToStr(i) + "=Zeile " + IntToStr(i) + "\r\n";
  }
  form.Memo1->Lines()->SetText(lines);
  const AnsiString name = folder + "lang-" + IntToStr(keys) + ".lan";
  WriteFileAtomically(name, file);
  TjLangy langy(nullptr);

  Clock::time_point start = Clock::now();
  langy.LoadLanguage(&form, name);
  const double load = MillisecondsSince(start);
  form.Memo1->Lines()->SetText(lines);  // every line differs from the file's again
  start = Clock::now();
  langy.SaveLanguage(&form, name);
  const double save = MillisecondsSince(start);
  start = Clock::now();
  langy.SaveLanguage(&form, folder + "new-" + IntToStr(keys) + ".lan");
  const double saveNew = MillisecondsSince(start);
  std::printf("language_load_%d_keys: %.1f ms\n", keys, load);
  std::printf("language_save_%d_keys: %.1f ms\n", keys, save);
  std::printf("language_save_new_file_%d_keys: %.1f ms\n", keys, saveNew);
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  InitializeControls();
  const AnsiString folder = MakeTempFolder("language-bench-");
  for (int keys : {250, 500, 1000, 2000, 20000}) Measure(folder, keys);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
