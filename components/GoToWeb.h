// TGoToWeb: a non-visual component that opens a web address in the user's
// web browser (see platform/shell/Shell.h for how the browser is found and
// started: without a shell, the address as one last argument). Execute
// opens Url, trimmed of blanks; an address a browser could take for an
// option (a leading '-') or that holds control characters is refused.
// A browser command whose program ends in ".EXE", ".BAT" or ".COM" is split
// there (SplitBrowserCommand), so a program path may hold blanks.
// EMail and EMailSubject are kept for the forms and not used. BrowserState
// is kept too: a browser started here opens in the window state the
// desktop gives it.
#pragma once

#include "platform/controls/Published.h"
#include "platform/rtl/Component.h"

#include "platform/shell/Shell.h"

enum TBrowserState { gwMaximized, gwNormal };

// The program is the command up to the last ".EXE", ".BAT" or ".COM" (any
// case) that ends a word, without a leading double quote; the rest, without
// double quotes and placeholders (a '%' up to the next blank), gives the
// arguments, split at blanks. A command without such a program is split by
// the desktop's rules (SplitCommand).
TProgramCall SplitBrowserCommand(const AnsiString& command);

class TGoToWeb : public TComponent, public TPublisher {
public:
  explicit TGoToWeb(TComponent* AOwner);
  AnsiString ClassName() const override { return "TGoToWeb"; }
  void DefineProperties(TPropList& props) override;

  const AnsiString& Url() const { return FUrl; }
  void SetUrl(const AnsiString& Value) { FUrl = Value; }
  const AnsiString& EMail() const { return FEMail; }
  void SetEMail(const AnsiString& Value) { FEMail = Value; }
  TBrowserState BrowserState() const { return FBrowserState; }
  void SetBrowserState(TBrowserState Value) { FBrowserState = Value; }
  const AnsiString& EMailSubject() const { return FEMailSubject; }
  void SetEMailSubject(const AnsiString& Value) { FEMailSubject = Value; }

  // True when a browser was started on Url.
  bool Execute();

private:
  AnsiString FUrl;
  AnsiString FEMail;
  TBrowserState FBrowserState = gwMaximized;
  AnsiString FEMailSubject;
};
