// TMsgLanguage: a non-visual component that holds a form's message texts
// (status words, prompts, error messages) as one published string list, so
// that a language file translates them like any other text of the form
// ("ml.Items.N"). Message N is Items()[N]; callers pass indexes within the
// list. Assigning a list copies its lines; the owned list object stays.
#pragma once

#include "platform/controls/Published.h"
#include "platform/rtl/Component.h"

class TMsgLanguage : public TComponent, public TPublisher {
public:
  explicit TMsgLanguage(TComponent* AOwner);
  AnsiString ClassName() const override { return "TMsgLanguage"; }
  void DefineProperties(TPropList& props) override;

  TStringList& Items() { return FItems; }
  const TStringList& Items() const { return FItems; }
  void SetItems(const TStrings& Value);
  // Message Index (checked: EListError outside the list).
  const AnsiString& operator[](int Index) const { return FItems.Strings(Index); }

private:
  TStringList FItems;
};
