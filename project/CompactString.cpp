#include "project/CompactString.h"

#include <stdexcept>
#include <utility>

TCompactString::TCompactString(std::string_view s) {
  if (s.size() <= InlineCapacity) {
    if (!s.empty()) std::memcpy(FBytes, s.data(), s.size());
    FBytes[TagByte] = uint8_t(s.size());
    return;
  }
  if (s.size() > MaxLength) throw std::length_error("Text too long for a compact string");
  char* block = new char[s.size()];
  std::memcpy(block, s.data(), s.size());
  const uint32_t n = uint32_t(s.size());
  std::memcpy(FBytes, &block, sizeof block);
  std::memcpy(FBytes + SizeAt, &n, sizeof n);
  FBytes[TagByte] = HeapTag;
}

// The copy is made before anything of this string changes, so s may view it.
TCompactString& TCompactString::AssignFresh(std::string_view s) {
  TCompactString fresh(s);
  swap(fresh);
  return *this;
}

TCompactString& TCompactString::operator=(TCompactString&& other) noexcept {
  if (this != &other) {
    FreeHeap();
    TakeFrom(other);
  }
  return *this;
}

void TCompactString::clear() noexcept {
  FreeHeap();
  FBytes[TagByte] = 0;
}

void TCompactString::swap(TCompactString& other) noexcept {
  std::swap(FBytes, other.FBytes);
}
