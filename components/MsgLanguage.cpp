#include "components/MsgLanguage.h"

TMsgLanguage::TMsgLanguage(TComponent* AOwner) : TComponent(AOwner) {}

void TMsgLanguage::DefineProperties(TPropList& props) {
  props.push_back(StringsProp("Items", [this]() -> TStrings* { return &FItems; }));
}

void TMsgLanguage::SetItems(const TStrings& Value) {
  if (&Value != &FItems) FItems.Assign(Value);
}
