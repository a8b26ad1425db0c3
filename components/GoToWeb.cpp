#include "components/GoToWeb.h"

#include <algorithm>

namespace {

// The end of the program path: just past the last extension that ends a
// word; 0 when there is none.
size_t ProgramEnd(const AnsiString& command) {
  const AnsiString upper = UpperCase(command);
  for (size_t end = upper.size(); end >= 4; --end) {
    const AnsiString extension = upper.substr(end - 4, 4);
    const bool endsWord = end == upper.size() || upper[end] == ' ' || upper[end] == '"';
    if (endsWord && (extension == ".EXE" || extension == ".BAT" || extension == ".COM")) return end;
  }
  return 0;
}

std::vector<AnsiString> BlankSeparatedWords(const AnsiString& text) {
  std::vector<AnsiString> words;
  size_t start = 0;
  while (start < text.size()) {
    const size_t blank = std::min(text.find(' ', start), text.size());
    if (blank > start) words.push_back(text.substr(start, blank - start));
    start = blank + 1;
  }
  return words;
}

}  // namespace

TProgramCall SplitBrowserCommand(const AnsiString& command) {
  const size_t end = ProgramEnd(command);
  if (end == 0) return SplitCommand(command);
  TProgramCall call;
  call.Program = Trim(command.substr(0, end));
  if (!call.Program.empty() && call.Program[0] == '"') call.Program.erase(0, 1);
  AnsiString rest;
  for (size_t i = end; i < command.size(); ++i) {
    if (command[i] == '%') {
      while (i < command.size() && command[i] != ' ') ++i;
      if (i == command.size()) break;
    }
    if (command[i] != '"') rest += command[i];
  }
  call.Arguments = BlankSeparatedWords(Trim(rest));
  return call;
}

TGoToWeb::TGoToWeb(TComponent* AOwner) : TComponent(AOwner) {}

void TGoToWeb::DefineProperties(TPropList& props) {
  props.push_back(StringProp("Url", [this] { return FUrl; }, [this](const AnsiString& v) { SetUrl(v); }));
  props.push_back(StringProp("EMail", [this] { return FEMail; }, [this](const AnsiString& v) { SetEMail(v); }));
  props.push_back(IntegerProp(
      "BrowserState", [this] { return int(FBrowserState); },
      [this](int v) { SetBrowserState(v == gwNormal ? gwNormal : gwMaximized); }));
  props.push_back(StringProp("EMailSubject", [this] { return FEMailSubject; },
                             [this](const AnsiString& v) { SetEMailSubject(v); }));
}

bool TGoToWeb::Execute() {
  const AnsiString url = Trim(FUrl);
  if (!IsSafeUrl(url)) return false;
  for (const AnsiString& command : BrowserCommands()) {
    TProgramCall call = SplitBrowserCommand(command);
    call.Arguments.push_back(url);
    if (!call.Program.empty() && StartProgram(call.Program, call.Arguments)) return true;
  }
  return false;
}
