// TItemStrings: the string list behind a control's items or lines. It keeps
// the strings and objects itself and reports every change to its control,
// which mirrors it in the Qt widget. Between BeginUpdate and EndUpdate the
// control is told once, at the end (OnReset).
#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/rtl/Classes.h"

class TItemStrings : public TStrings {
 public:
  int Count() const override { return int(items_.size()); }
  const AnsiString& Strings(int index) const override;
  void SetString(int index, const AnsiString& s) override;
  TObject* Objects(int index) const override;
  void SetObject(int index, TObject* obj) override;
  void InsertObject(int index, const AnsiString& s, TObject* obj) override;
  void Delete(int index) override;
  void Clear() override;
  // Replaces every item without reporting single changes (the control
  // reloading from its widget).
  void Load(const std::vector<AnsiString>& lines);
  // The number of items room is made for when the first one comes, so that
  // a list whose length its owner knows beforehand (a row's column texts)
  // is not grown item by item.
  void SetFirstRoom(int items) { firstRoom_ = size_t(std::max(items, 0)); }

  std::function<void(int index)> OnInserted;
  std::function<void(int index)> OnDeleted;
  std::function<void(int index)> OnChanged;
  // Everything changed (a Clear, or the end of an update).
  std::function<void()> OnReset;

 protected:
  void SetUpdateState(bool updating) override;

 private:
  struct Item {
    AnsiString text;
    TObject* object = nullptr;
  };
  bool Quiet() const { return UpdateCount() > 0; }
  std::vector<Item> items_;
  bool dirty_ = false;
  size_t firstRoom_ = 0;
};

// Minimal rich text: the lines as "{\rtf1 ...}" with one paragraph per
// line, and the reader that turns rich text back into lines (plain text is
// split at line breaks).
AnsiString LinesToRichText(const TStrings& lines, const AnsiString& fontName, int fontSize);
std::vector<AnsiString> RichTextToLines(const AnsiString& text);
