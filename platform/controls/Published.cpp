#include "platform/controls/Published.h"

void TPublisher::DefineProperties(TPropList&) {}

int TCollectionItem::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

void TCollectionItem::Changed() {
  if (collection_) collection_->Update();
}

TCollectionItem* TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return items_[size_t(index)].get();
}

TCollectionItem* TCollection::Add() {
  items_.push_back(factory_(this));
  Update();
  return items_.back().get();
}

void TCollection::Delete(int index) {
  Items(index);
  items_.erase(items_.begin() + index);
  Update();
}

void TCollection::Clear() {
  items_.clear();
  Update();
}

int TCollection::IndexOf(const TCollectionItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return int(i);
  return -1;
}

void TCollection::Update() {
  if (OnUpdate) OnUpdate();
}

TPropList GetPropList(TObject* object) {
  TPropList props;
  if (auto* publisher = dynamic_cast<TPublisher*>(object)) publisher->DefineProperties(props);
  return props;
}

const TPropInfo* FindProp(const TPropList& props, const AnsiString& name) {
  for (const TPropInfo& p : props)
    if (SameText(p.Name, name)) return &p;
  return nullptr;
}

AnsiString GetStrProp(TObject* object, const AnsiString& name) {
  TPropList props = GetPropList(object);
  const TPropInfo* p = FindProp(props, name);
  if (!p || !p->Get) throw EInvalidOperation("Property " + name + " does not exist");
  return p->Get();
}

void SetStrProp(TObject* object, const AnsiString& name, const AnsiString& value) {
  TPropList props = GetPropList(object);
  const TPropInfo* p = FindProp(props, name);
  if (!p || !p->Set) throw EInvalidOperation("Property " + name + " does not exist");
  p->Set(value);
}

TStrings* GetStringsProp(TObject* object, const AnsiString& name) {
  TPropList props = GetPropList(object);
  const TPropInfo* p = FindProp(props, name);
  return p && p->Kind == pkStrings ? p->Strings() : nullptr;
}

TPropInfo StringProp(const AnsiString& name, std::function<AnsiString()> get,
                     std::function<void(const AnsiString&)> set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkString;
  p.Get = std::move(get);
  p.Set = std::move(set);
  return p;
}

TPropInfo StringsProp(const AnsiString& name, std::function<TStrings*()> strings) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkStrings;
  p.Strings = std::move(strings);
  return p;
}

TPropInfo CollectionProp(const AnsiString& name, std::function<TCollection*()> collection) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkCollection;
  p.Collection = std::move(collection);
  return p;
}

TPropInfo IntegerProp(const AnsiString& name, std::function<int()> get, std::function<void(int)> set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkInteger;
  p.Get = [get] { return IntToStr(get()); };
  p.Set = [set](const AnsiString& v) { set(StrToInt(v)); };
  return p;
}

TPropInfo BooleanProp(const AnsiString& name, std::function<bool()> get, std::function<void(bool)> set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkBoolean;
  p.Get = [get] { return AnsiString(get() ? "True" : "False"); };
  p.Set = [set](const AnsiString& v) { set(SameText(v, "True")); };
  return p;
}
