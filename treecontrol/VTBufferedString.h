// Builders that collect a long text in one growing block instead of
// re-allocating a string at every append: TBufferedString for 8-bit text,
// TWideBufferedString for UTF-16 text. The block at least doubles when it
// grows (never by less than 4096 units), so appending stays linear however
// long the text gets.
#pragma once

#include <algorithm>
#include <string>

#include "platform/rtl/Classes.h"

template <class Char>
class TBasicBufferedString : public TObject {
 public:
  using String = std::basic_string<Char>;
  void Add(const String& s) {
    if (s.empty()) return;
    if (s.size() >= Free()) Grow(s.size() + 1);
    text_.append(s);
  }
  void AddNewLine() {
    // Room for CR, LF and a terminator.
    const size_t room = sizeof(Char) == 1 ? 3u : 5u;
    if (Free() < room) Grow(room);
    text_ += Char(13);
    text_ += Char(10);
  }
  String AsString() const { return text_; }
  // The collected text, leaving the builder empty (no copy).
  String TakeString() { return std::move(text_); }
  // Appends the collected units to out without an intermediate copy.
  void AppendTo(String& out) const { out.append(text_); }
  // The units the block holds, used or free.
  size_t Capacity() const { return text_.capacity(); }

 private:
  size_t Free() const { return text_.capacity() - text_.size(); }
  // Makes room for at least `needed` more units.
  void Grow(size_t needed) {
    const size_t capacity = text_.capacity();
    text_.reserve(std::max({capacity * 2, capacity + 4096, text_.size() + needed}));
  }
  String text_;
};

class TBufferedString : public TBasicBufferedString<char> {
 public:
  AnsiString ClassName() const override { return "TBufferedString"; }
};

class TWideBufferedString : public TBasicBufferedString<char16_t> {
 public:
  AnsiString ClassName() const override { return "TWideBufferedString"; }
};
