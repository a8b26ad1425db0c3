// Builders that collect a long text in one growing block instead of
// re-allocating a string at every append: TBufferedString for 8-bit text,
// TWideBufferedString for UTF-16 text. The block at least doubles when it
// grows (never by less than 4096 units), so appending stays linear however
// long the text gets.
#pragma once

#include <algorithm>
#include <memory>

#include "platform/rtl/Classes.h"

template <class Char>
class TBasicBufferedString : public TObject {
 public:
  using String = std::basic_string<Char>;
  void Add(const String& s) {
    if (s.empty()) return;
    if (s.size() >= Free()) Grow(s.size() + 1);
    std::copy(s.begin(), s.end(), data_.get() + position_);
    position_ += s.size();
  }
  void AddNewLine() {
    // Room for CR, LF and the terminator the block always keeps.
    const size_t room = sizeof(Char) == 1 ? 3u : 5u;
    if (Free() < room) Grow(room);
    data_[position_++] = Char(13);
    data_[position_++] = Char(10);
  }
  String AsString() const { return data_ ? String(data_.get(), position_) : String(); }
  // Appends the collected units to out without an intermediate copy.
  void AppendTo(String& out) const {
    if (data_) out.append(data_.get(), position_);
  }

 private:
  size_t Free() const { return capacity_ - position_; }
  // Makes room for at least `needed` more units.
  void Grow(size_t needed) {
    const size_t capacity = std::max({capacity_ * 2, capacity_ + 4096, position_ + needed});
    auto bigger = std::make_unique<Char[]>(capacity);
    if (data_) std::copy(data_.get(), data_.get() + position_, bigger.get());
    data_ = std::move(bigger);
    capacity_ = capacity;
  }
  std::unique_ptr<Char[]> data_;
  size_t position_ = 0;
  size_t capacity_ = 0;
};

class TBufferedString : public TBasicBufferedString<char> {
 public:
  AnsiString ClassName() const override { return "TBufferedString"; }
};

class TWideBufferedString : public TBasicBufferedString<char16_t> {
 public:
  AnsiString ClassName() const override { return "TWideBufferedString"; }
};
