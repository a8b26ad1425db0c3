// Builders that collect a long text in one growing block instead of
// re-allocating a string at every append: TBufferedString for 8-bit text,
// TWideBufferedString for UTF-16 text. The block grows by 4096 units.
#pragma once

#include <memory>

#include "platform/rtl/Classes.h"

template <class Char>
class TBasicBufferedString : public TObject {
 public:
  using String = std::basic_string<Char>;
  void Add(const String& s) {
    if (s.empty()) return;
    while (s.size() >= Free()) Grow();
    std::copy(s.begin(), s.end(), data_.get() + position_);
    position_ += s.size();
  }
  void AddNewLine() {
    // Room for CR, LF and the terminator the block always keeps.
    while (Free() < (sizeof(Char) == 1 ? 3u : 5u)) Grow();
    data_[position_++] = Char(13);
    data_[position_++] = Char(10);
  }
  String AsString() const { return data_ ? String(data_.get(), position_) : String(); }

 private:
  size_t Free() const { return capacity_ - position_; }
  void Grow() {
    auto bigger = std::make_unique<Char[]>(capacity_ + 4096);
    if (data_) std::copy(data_.get(), data_.get() + position_, bigger.get());
    data_ = std::move(bigger);
    capacity_ += 4096;
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
