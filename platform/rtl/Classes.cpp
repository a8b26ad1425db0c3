// TObject, TStrings and TStringList.
#include "platform/rtl/Classes.h"

#include "platform/rtl/FileUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cxxabi.h>
#include <numeric>
#include <typeinfo>

TObject::~TObject() = default;

AnsiString TObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  AnsiString name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  return name;
}

// ---------------------------------------------------------------------------

namespace {

// Lines split at CR, LF or CR LF; a final terminator adds no line.
std::vector<AnsiString> SplitLines(const AnsiString& text) {
  std::vector<AnsiString> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == AnsiString::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

bool NeedsQuotes(const AnsiString& s, char delimiter, char quote, bool strict) {
  for (char c : s) {
    bool blank = static_cast<unsigned char>(c) <= 0x20;
    if (c == delimiter || c == quote || (blank && (!strict || c == '\0')))
      return true;
  }
  return false;
}

AnsiString Quoted(const AnsiString& s, char quote) {
  AnsiString doubled(2, quote);
  return quote + StringReplace(s, AnsiString(1, quote), doubled, rfReplaceAll) + quote;
}

// Ends an update block when it leaves scope, also on an exception.
class UpdateScope {
public:
  explicit UpdateScope(TStrings& strings) : strings_(strings) { strings_.BeginUpdate(); }
  ~UpdateScope() { strings_.EndUpdate(); }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

private:
  TStrings& strings_;
};

constexpr const char* kSortedListError = "Operation not allowed on sorted list";

}  // namespace

int TStrings::Add(const AnsiString& s) {
  return AddObject(s, nullptr);
}

int TStrings::AddObject(const AnsiString& s, TObject* obj) {
  int index = Count();
  InsertObject(index, s, obj);
  return index;
}

void TStrings::Insert(int index, const AnsiString& s) {
  InsertObject(index, s, nullptr);
}

int TStrings::IndexOf(const AnsiString& s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Strings(i), s) == 0)
      return i;
  return -1;
}

int TStrings::IndexOfName(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i) {
    const AnsiString& s = Strings(i);
    size_t separator = s.find(nameValueSeparator_);
    if (separator != AnsiString::npos && CompareStrings(s.substr(0, separator), name) == 0)
      return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* obj) const {
  for (int i = 0; i < Count(); ++i)
    if (Objects(i) == obj)
      return i;
  return -1;
}

AnsiString TStrings::Values(const AnsiString& name) const {
  int index = IndexOfName(name);
  return index < 0 ? AnsiString() : ValueFromIndex(index);
}

void TStrings::SetValue(const AnsiString& name, const AnsiString& value) {
  int index = IndexOfName(name);
  AnsiString item = name + nameValueSeparator_ + value;
  if (value.empty()) {
    if (index >= 0)
      Delete(index);
  } else if (index >= 0) {
    SetString(index, item);
  } else {
    Add(item);
  }
}

AnsiString TStrings::Names(int index) const {
  const AnsiString& s = Strings(index);
  size_t separator = s.find(nameValueSeparator_);
  return separator == AnsiString::npos ? AnsiString() : s.substr(0, separator);
}

AnsiString TStrings::ValueFromIndex(int index) const {
  const AnsiString& s = Strings(index);
  size_t separator = s.find(nameValueSeparator_);
  return separator == AnsiString::npos ? AnsiString() : s.substr(separator + 1);
}

AnsiString TStrings::Text() const {
  AnsiString text;
  for (int i = 0; i < Count(); ++i)
    text.append(Strings(i)).append("\r\n");
  return text;
}

void TStrings::SetText(const AnsiString& text) {
  UpdateScope update(*this);
  Clear();
  for (const AnsiString& line : SplitLines(text))
    Add(line);
}

AnsiString TStrings::DelimitedWith(char delimiter, char quote, bool strict) const {
  if (Count() == 1 && Strings(0).empty())
    return AnsiString(2, quote);
  AnsiString text;
  for (int i = 0; i < Count(); ++i) {
    const AnsiString& s = Strings(i);
    if (i > 0)
      text.push_back(delimiter);
    text += NeedsQuotes(s, delimiter, quote, strict) ? Quoted(s, quote) : s;
  }
  return text;
}

void TStrings::SetDelimitedWith(const AnsiString& text, char delimiter, char quote, bool strict) {
  UpdateScope update(*this);
  Clear();
  auto isSeparator = [&](char c) {
    return c == delimiter || (!strict && static_cast<unsigned char>(c) <= 0x20);
  };
  auto skipBlanks = [&](size_t& i) {
    while (!strict && i < text.size() && static_cast<unsigned char>(text[i]) <= 0x20 &&
           text[i] != delimiter)
      ++i;
  };
  size_t i = 0;
  skipBlanks(i);
  while (i < text.size()) {
    AnsiString item;
    if (text[i] == quote) {
      for (++i; i < text.size(); ++i) {
        if (text[i] == quote && (i + 1 >= text.size() || text[i + 1] != quote)) {
          ++i;
          break;
        }
        if (text[i] == quote)
          ++i;  // a doubled quote stands for one
        item.push_back(text[i]);
      }
    } else {
      while (i < text.size() && !isSeparator(text[i]))
        item.push_back(text[i++]);
    }
    Add(item);
    skipBlanks(i);
    if (i < text.size() && text[i] == delimiter) {
      ++i;
      skipBlanks(i);
      if (i >= text.size())
        Add(AnsiString());  // "a," ends with an empty item
    } else if (i < text.size() && strict) {
      ++i;  // stray text after a closing quote: skip to the next item
    }
  }
}

AnsiString TStrings::CommaText() const {
  return DelimitedWith(',', '"', false);
}

void TStrings::SetCommaText(const AnsiString& text) {
  SetDelimitedWith(text, ',', '"', false);
}

AnsiString TStrings::DelimitedText() const {
  return DelimitedWith(delimiter_, quoteChar_, strictDelimiter_);
}

void TStrings::SetDelimitedText(const AnsiString& text) {
  SetDelimitedWith(text, delimiter_, quoteChar_, strictDelimiter_);
}

void TStrings::Assign(const TStrings& source) {
  if (&source == this)
    return;
  UpdateScope update(*this);
  Clear();
  AddStrings(source);
}

void TStrings::AddStrings(const TStrings& source) {
  UpdateScope update(*this);
  int count = source.Count();  // fixed, in case source is this list
  for (int i = 0; i < count; ++i)
    AddObject(source.Strings(i), source.Objects(i));
}

void TStrings::LoadFromFile(const AnsiString& fileName) {
  AnsiString bytes;
  if (!ReadFileToString(fileName, bytes))
    throw EFOpenError(
        Format("Cannot open file \"%s\". %s", fileName, SysErrorMessage(errno)));
  if (bytes.starts_with("\xEF\xBB\xBF"))
    bytes.erase(0, 3);  // UTF-8 byte order mark
  SetText(bytes);
}

void TStrings::SaveToFile(const AnsiString& fileName) const {
  WriteFileAtomically(fileName, Text());
}

void TStrings::Exchange(int index1, int index2) {
  CheckIndex(index1, Count());
  CheckIndex(index2, Count());
  UpdateScope update(*this);
  AnsiString text1 = Strings(index1);
  TObject* object1 = Objects(index1);
  SetString(index1, Strings(index2));
  SetObject(index1, Objects(index2));
  SetString(index2, text1);
  SetObject(index2, object1);
}

void TStrings::Move(int curIndex, int newIndex) {
  CheckIndex(curIndex, Count());
  CheckIndex(newIndex, Count());
  if (curIndex == newIndex)
    return;
  UpdateScope update(*this);
  AnsiString text = Strings(curIndex);
  TObject* object = Objects(curIndex);
  Delete(curIndex);
  InsertObject(newIndex, text, object);
}

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0)
    SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0)
    SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

int TStrings::CompareStrings(const AnsiString& a, const AnsiString& b) const {
  return CompareText(a, b);
}

void TStrings::CheckIndex(int index, int limit) {
  if (index < 0 || index >= limit)
    throw EListError(Format("List index out of bounds (%d)", index));
}

// ---------------------------------------------------------------------------

namespace {

// The sorted order: ASCII-folded bytes, then raw bytes.
int SortOrder(const AnsiString& a, const AnsiString& b) {
  int folded = CompareText(a, b);
  return folded != 0 ? folded : CompareStr(a, b);
}

}  // namespace

TStringList::TStringList() = default;

TStringList::TStringList(bool ownsObjects) : ownsObjects_(ownsObjects) {}

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (ownsObjects_)
    for (Item& item : items_)
      delete item.object;
}

int TStringList::Count() const {
  return static_cast<int>(items_.size());
}

const AnsiString& TStringList::Strings(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].text;
}

void TStringList::SetString(int index, const AnsiString& s) {
  CheckNotSorted();
  CheckIndex(index, Count());
  Changing();
  items_[static_cast<size_t>(index)].text = s;
  Changed();
}

TObject* TStringList::Objects(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].object;
}

void TStringList::SetObject(int index, TObject* obj) {
  CheckIndex(index, Count());
  Changing();
  items_[static_cast<size_t>(index)].object = obj;
  Changed();
}

void TStringList::InsertObject(int index, const AnsiString& s, TObject* obj) {
  CheckNotSorted();
  CheckIndex(index, Count() + 1);
  Changing();
  items_.insert(items_.begin() + index, Item{s, obj});
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count());
  Changing();
  TObject* object = items_[static_cast<size_t>(index)].object;
  items_.erase(items_.begin() + index);
  ReleaseObject(object);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty())
    return;
  Changing();
  std::vector<Item> old;
  old.swap(items_);
  for (Item& item : old)
    ReleaseObject(item.object);
  Changed();
}

int TStringList::AddObject(const AnsiString& s, TObject* obj) {
  if (!sorted_) {
    Changing();
    items_.push_back(Item{s, obj});
    Changed();
    return Count() - 1;
  }
  int found = 0;
  if (Find(s, found)) {
    if (duplicates_ == dupIgnore)
      return found;
    if (duplicates_ == dupError)
      throw EListError("String list does not allow duplicates");
  }
  auto place = std::lower_bound(items_.begin(), items_.end(), s, [](const Item& item, const AnsiString& key) {
    return SortOrder(item.text, key) < 0;
  });
  Changing();
  place = items_.insert(place, Item{s, obj});
  Changed();
  return static_cast<int>(place - items_.begin());
}

int TStringList::IndexOf(const AnsiString& s) const {
  if (!sorted_)
    return TStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

void TStringList::Exchange(int index1, int index2) {
  CheckNotSorted();
  CheckIndex(index1, Count());
  CheckIndex(index2, Count());
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
  CheckNotSorted();
  CheckIndex(curIndex, Count());
  CheckIndex(newIndex, Count());
  Changing();
  Item item = std::move(items_[static_cast<size_t>(curIndex)]);
  items_.erase(items_.begin() + curIndex);
  items_.insert(items_.begin() + newIndex, std::move(item));
  Changed();
}

void TStringList::SetText(const AnsiString& text) {
  std::vector<Item> fresh;
  for (AnsiString& line : SplitLines(text))
    fresh.push_back(Item{std::move(line), nullptr});
  if (sorted_)
    fresh = SortedAsAdded(std::move(fresh));
  Changing();
  fresh.swap(items_);
  for (Item& item : fresh)
    ReleaseObject(item.object);
  Changed();
}

std::vector<TStringList::Item> TStringList::SortedAsAdded(std::vector<Item> added) const {
  // The result Add would give one item at a time: of equal items the first
  // added stays (dupIgnore) or the whole load fails (dupError).
  std::vector<size_t> order(added.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return SortOrder(added[a].text, added[b].text) < 0;
  });
  std::vector<Item> sorted;
  sorted.reserve(added.size());
  for (size_t i = 0; i < order.size();) {
    size_t first = order[i], groupEnd = i + 1;
    while (groupEnd < order.size() && duplicates_ != dupAccept &&
           CompareStrings(added[order[groupEnd]].text, added[order[i]].text) == 0)
      first = std::min(first, order[groupEnd++]);
    if (groupEnd - i > 1 && duplicates_ == dupError)
      throw EListError("String list does not allow duplicates");
    sorted.push_back(std::move(added[first]));
    i = groupEnd;
  }
  return sorted;
}

bool TStringList::Find(const AnsiString& s, int& index) const {
  if (!sorted_) {
    index = IndexOf(s);
    bool found = index >= 0;
    if (!found)
      index = Count();
    return found;
  }
  // Equal items (under the list's case rule) are neighbours in the sorted
  // order, so the first of them is found by the matching lower bound.
  auto place = std::lower_bound(items_.begin(), items_.end(), s, [this](const Item& item, const AnsiString& key) {
    return (caseSensitive_ ? SortOrder(item.text, key) : CompareText(item.text, key)) < 0;
  });
  index = static_cast<int>(place - items_.begin());
  return place != items_.end() && CompareStrings(place->text, s) == 0;
}

void TStringList::SetSorted(bool sorted) {
  if (sorted && !sorted_)
    SortItems();
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
  caseSensitive_ = caseSensitive;  // the sorted order does not depend on it
}

void TStringList::Sort() {
  if (!sorted_)
    SortItems();
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
  CheckNotSorted();
  std::vector<int> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (int index : order)
    sorted.push_back(items_[static_cast<size_t>(index)]);
  Changing();
  items_.swap(sorted);
  Changed();
}

void TStringList::SortItems() {
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [](const Item& a, const Item& b) { return SortOrder(a.text, b.text) < 0; });
  Changed();
}

void TStringList::SetUpdateState(bool updating) {
  if (!updating && changedDuringUpdate_) {
    changedDuringUpdate_ = false;
    if (OnChange)
      OnChange(this);
  }
}

int TStringList::CompareStrings(const AnsiString& a, const AnsiString& b) const {
  return caseSensitive_ ? CompareStr(a, b) : CompareText(a, b);
}

void TStringList::Changing() {
  if (UpdateCount() > 0) {
    if (changedDuringUpdate_)
      return;
    changedDuringUpdate_ = true;
  }
  if (OnChanging)
    OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange)
    OnChange(this);
}

void TStringList::CheckNotSorted() const {
  if (sorted_)
    throw EListError(kSortedListError);
}

void TStringList::ReleaseObject(TObject* obj) {
  if (ownsObjects_)
    delete obj;
}
