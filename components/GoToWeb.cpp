#include "components/GoToWeb.h"

#include "platform/shell/Shell.h"

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

bool TGoToWeb::Execute() { return OpenUrl(Trim(FUrl)); }
