// Classes: the root object, notify events, string lists and streams.
// TStrings is the abstract list of strings with attached objects that
// controls expose; TStringList is the stored one with sorting, duplicate
// rules and change events. Indexes here are 0-based and checked (EListError).
// Text joins lines with CR LF; SetText and LoadFromFile split at CR, LF or
// CR LF. SaveToFile writes atomically. Streams raise EStreamError (and
// EFOpenError / EFCreateError for files) when a whole buffer cannot be moved.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TObject {
public:
  virtual ~TObject();
  // The class's own name, for example "TStringList".
  virtual AnsiString ClassName() const;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TDuplicates { dupIgnore, dupAccept, dupError };

// ---------------------------------------------------------------------------

class TStrings : public TObject {
public:
  // The storage a descendant provides.
  virtual int Count() const = 0;
  virtual const AnsiString& Strings(int index) const = 0;
  virtual void SetString(int index, const AnsiString& s) = 0;
  virtual TObject* Objects(int index) const = 0;
  virtual void SetObject(int index, TObject* obj) = 0;
  virtual void InsertObject(int index, const AnsiString& s, TObject* obj) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  // Built on the storage above.
  const AnsiString& operator[](int index) const { return Strings(index); }
  virtual int Add(const AnsiString& s);
  virtual int AddObject(const AnsiString& s, TObject* obj);
  void Insert(int index, const AnsiString& s);
  // Case-insensitive unless the list says otherwise; -1 if absent.
  virtual int IndexOf(const AnsiString& s) const;
  int IndexOfName(const AnsiString& name) const;
  int IndexOfObject(const TObject* obj) const;
  // name=value items.
  AnsiString Values(const AnsiString& name) const;
  // Sets the value of name; an empty value deletes the item.
  void SetValue(const AnsiString& name, const AnsiString& value);
  AnsiString Names(int index) const;
  AnsiString ValueFromIndex(int index) const;
  char NameValueSeparator() const { return nameValueSeparator_; }
  void SetNameValueSeparator(char c) { nameValueSeparator_ = c; }

  // Every line ended by CR LF.
  virtual AnsiString Text() const;
  // Splits at CR, LF or CR LF; a final terminator adds no line.
  virtual void SetText(const AnsiString& text);
  // Items separated by commas, quoted with '"' where they hold blanks,
  // commas or quotes.
  AnsiString CommaText() const;
  void SetCommaText(const AnsiString& text);
  // Like CommaText with Delimiter and QuoteChar; unless StrictDelimiter,
  // blanks separate items too.
  AnsiString DelimitedText() const;
  void SetDelimitedText(const AnsiString& text);
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char c) { delimiter_ = c; }
  char QuoteChar() const { return quoteChar_; }
  void SetQuoteChar(char c) { quoteChar_ = c; }
  bool StrictDelimiter() const { return strictDelimiter_; }
  void SetStrictDelimiter(bool strict) { strictDelimiter_ = strict; }

  virtual void Assign(const TStrings& source);
  void AddStrings(const TStrings& source);
  // EFOpenError "Cannot open file "name". <reason>" when unreadable.
  virtual void LoadFromFile(const AnsiString& fileName);
  // Atomic: temporary file and rename; EFCreateError on failure.
  virtual void SaveToFile(const AnsiString& fileName) const;
  virtual void Exchange(int index1, int index2);
  virtual void Move(int curIndex, int newIndex);

  // Changes between BeginUpdate and the matching EndUpdate are reported once.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

protected:
  // Called when the first BeginUpdate starts and the last EndUpdate ends.
  virtual void SetUpdateState(bool updating);
  // 0 when equal under the list's case rule.
  virtual int CompareStrings(const AnsiString& a, const AnsiString& b) const;
  // Throws EListError "List index out of bounds (%d)" unless 0 <= index < limit.
  static void CheckIndex(int index, int limit);

private:
  AnsiString DelimitedWith(char delimiter, char quote, bool strict) const;
  void SetDelimitedWith(const AnsiString& text, char delimiter, char quote, bool strict);

  int updateCount_ = 0;
  char delimiter_ = ',';
  char quoteChar_ = '"';
  char nameValueSeparator_ = '=';
  bool strictDelimiter_ = false;
};

// ---------------------------------------------------------------------------

class TStringList : public TStrings {
public:
  // Compares the items at two indexes: <0, 0, >0.
  using TStringListSortCompare = std::function<int(TStringList& list, int index1, int index2)>;

  TStringList();
  explicit TStringList(bool ownsObjects);
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;
  ~TStringList() override;

  int Count() const override;
  const AnsiString& Strings(int index) const override;
  void SetString(int index, const AnsiString& s) override;
  TObject* Objects(int index) const override;
  void SetObject(int index, TObject* obj) override;
  void InsertObject(int index, const AnsiString& s, TObject* obj) override;
  void Delete(int index) override;
  void Clear() override;
  // On a sorted list the item goes to its place; Duplicates decides about
  // an equal item (dupIgnore returns the existing index, dupError throws).
  int AddObject(const AnsiString& s, TObject* obj) override;
  int IndexOf(const AnsiString& s) const override;
  // Insert, SetString, Exchange, Move and CustomSort would break the order
  // of a sorted list and throw EListError "Operation not allowed on sorted list".
  void Exchange(int index1, int index2) override;
  void Move(int curIndex, int newIndex) override;
  void SetText(const AnsiString& text) override;

  // Binary search on a sorted list: true and the index of the first equal
  // item, or false and the index where s would go.
  bool Find(const AnsiString& s, int& index) const;
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool caseSensitive);
  bool OwnsObjects() const { return ownsObjects_; }
  void SetOwnsObjects(bool owns) { ownsObjects_ = owns; }
  // Order: ASCII-folded bytes, then raw bytes.
  virtual void Sort();
  // Stable sort with the caller's comparison.
  virtual void CustomSort(const TStringListSortCompare& compare);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

protected:
  void SetUpdateState(bool updating) override;
  int CompareStrings(const AnsiString& a, const AnsiString& b) const override;

private:
  struct Item {
    AnsiString text;
    TObject* object = nullptr;
  };

  void Changing();
  void Changed();
  void CheckNotSorted() const;
  void ReleaseObject(TObject* obj);
  void SortItems();
  std::vector<Item> SortedAsAdded(std::vector<Item> added) const;

  std::vector<Item> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  bool ownsObjects_ = false;
  bool changedDuringUpdate_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

// ---------------------------------------------------------------------------
// Streams.

enum TSeekOrigin {
  soFromBeginning = 0,
  soFromCurrent = 1,
  soFromEnd = 2,
  soBeginning = soFromBeginning,
  soCurrent = soFromCurrent,
  soEnd = soFromEnd
};

class TStream : public TObject {
public:
  // Moves up to count bytes; returns how many were moved.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t size) = 0;
  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, soFromBeginning); }

  // Move exactly count bytes or throw EStreamError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's position; count 0 copies the whole of
  // source from its beginning. Returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;

  // The bytes; valid until the size changes.
  void* Memory() { return data_.data(); }
  const void* Memory() const { return data_.data(); }
  void Clear();
  // EFOpenError when unreadable; the position goes to 0.
  void LoadFromFile(const AnsiString& fileName);
  // Atomic write of all bytes; EFCreateError on failure.
  void SaveToFile(const AnsiString& fileName) const;
  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& dest) const;

protected:
  std::vector<char> data_;
  int64_t position_ = 0;
};

// Open modes: one access mode or fmCreate, combined with one share mode
// (share modes are accepted and have no effect here).
constexpr unsigned fmCreate = 0xFF00;
constexpr unsigned fmOpenRead = 0x0000;
constexpr unsigned fmOpenWrite = 0x0001;
constexpr unsigned fmOpenReadWrite = 0x0002;
constexpr unsigned fmShareCompat = 0x0000;
constexpr unsigned fmShareExclusive = 0x0010;
constexpr unsigned fmShareDenyWrite = 0x0020;
constexpr unsigned fmShareDenyRead = 0x0030;
constexpr unsigned fmShareDenyNone = 0x0040;

// A file opened directly (not atomic: fmCreate truncates at once). Throws
// EFOpenError, or EFCreateError for fmCreate, with the file name and reason.
class TFileStream : public TStream {
public:
  TFileStream(const AnsiString& fileName, unsigned mode);
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  const AnsiString& FileName() const { return fileName_; }
  int Handle() const { return fd_; }

private:
  AnsiString fileName_;
  int fd_ = -1;
};

// A memory stream over a string.
class TStringStream : public TStream {
public:
  explicit TStringStream(const AnsiString& data = AnsiString());

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;

  const AnsiString& DataString() const { return data_; }
  // Reads up to count bytes as a string.
  AnsiString ReadString(int64_t count);
  void WriteString(const AnsiString& s);

private:
  AnsiString data_;
  int64_t position_ = 0;
};
