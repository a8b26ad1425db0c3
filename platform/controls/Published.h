// Published properties: the table of named properties that a component or
// collection item exposes to code that reads and writes them by name (the
// language files). Kinds: plain strings (captions, hints, texts), string
// lists (item lists and lines) and collections of items that have their own
// string properties (status-bar panels, list-view columns). Names compare
// without case.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/rtl/Classes.h"

class TCollection;

enum TPropKind { pkString, pkStrings, pkCollection, pkInteger, pkBoolean };

struct TPropInfo {
  AnsiString Name;
  TPropKind Kind = pkString;
  std::function<AnsiString()> Get;                 // pkString, pkInteger, pkBoolean
  std::function<void(const AnsiString&)> Set;      // pkString, pkInteger, pkBoolean
  std::function<TStrings*()> Strings;              // pkStrings
  std::function<TCollection*()> Collection;        // pkCollection
};

using TPropList = std::vector<TPropInfo>;

// Implemented by every class that publishes properties.
class TPublisher {
 public:
  virtual ~TPublisher() = default;
  virtual void DefineProperties(TPropList& props);
};

class TCollectionItem : public TObject, public TPublisher {
 public:
  explicit TCollectionItem(TCollection* collection) : collection_(collection) {}
  TCollection* Collection() const { return collection_; }
  int Index() const;

 protected:
  void Changed();

 private:
  TCollection* collection_;
};

class TCollection : public TObject {
 public:
  using TItemFactory = std::function<std::unique_ptr<TCollectionItem>(TCollection*)>;
  explicit TCollection(TItemFactory factory) : factory_(std::move(factory)) {}
  AnsiString ClassName() const override { return "TCollection"; }
  int Count() const { return int(items_.size()); }
  // Checked: EListError outside 0..Count-1.
  TCollectionItem* Items(int index) const;
  TCollectionItem* Add();
  void Delete(int index);
  void Clear();
  int IndexOf(const TCollectionItem* item) const;

  // Called after any change of the items (the owner repaints).
  std::function<void()> OnUpdate;
  void Update();

 private:
  TItemFactory factory_;
  std::vector<std::unique_ptr<TCollectionItem>> items_;
};

// The property table of an object (empty when it publishes nothing).
TPropList GetPropList(TObject* object);
// The named property, or nullptr.
const TPropInfo* FindProp(const TPropList& props, const AnsiString& name);
// Convenience access by name; EInvalidOperation when the object has no such
// string property.
AnsiString GetStrProp(TObject* object, const AnsiString& name);
void SetStrProp(TObject* object, const AnsiString& name, const AnsiString& value);
TStrings* GetStringsProp(TObject* object, const AnsiString& name);

// Helpers for DefineProperties.
TPropInfo StringProp(const AnsiString& name, std::function<AnsiString()> get,
                     std::function<void(const AnsiString&)> set);
TPropInfo StringsProp(const AnsiString& name, std::function<TStrings*()> strings);
TPropInfo CollectionProp(const AnsiString& name, std::function<TCollection*()> collection);
TPropInfo IntegerProp(const AnsiString& name, std::function<int()> get, std::function<void(int)> set);
TPropInfo BooleanProp(const AnsiString& name, std::function<bool()> get, std::function<void(bool)> set);
