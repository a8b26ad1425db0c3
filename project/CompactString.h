// TCompactString: a byte string in 16 bytes, for the names a site tree holds
// by the million. A text of up to 15 bytes sits inline; a longer one lives in
// one heap block of its exact length. Any bytes may stand in it, 0x00 and 0xFF
// among them; there is no terminating NUL, so data() is no C string.
//
// Contract: it reads as a std::string_view (view(), or the implicit
// conversion), valid until the string is assigned, cleared or destroyed.
// Copies and assignments copy the bytes, also from a view into the string
// itself; a moved-from string is empty. A text longer than MaxLength throws
// std::length_error and leaves the string as it was.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class TCompactString {
public:
  static constexpr size_t InlineCapacity = 15;
  static constexpr size_t MaxLength = UINT32_MAX;

  TCompactString() noexcept { FBytes[TagByte] = 0; }
  explicit TCompactString(std::string_view s);
  TCompactString(const TCompactString& other) : TCompactString(other.view()) {}
  TCompactString(TCompactString&& other) noexcept { TakeFrom(other); }
  ~TCompactString() { FreeHeap(); }

  // A short text over a short one is copied in place (memmove: s may view
  // these very bytes); anything else goes through a fresh string.
  TCompactString& operator=(std::string_view s) {
    if (s.size() > InlineCapacity || !IsInline()) return AssignFresh(s);
    if (!s.empty()) std::memmove(FBytes, s.data(), s.size());
    FBytes[TagByte] = uint8_t(s.size());
    return *this;
  }
  TCompactString& operator=(const TCompactString& other) { return *this = other.view(); }
  TCompactString& operator=(TCompactString&& other) noexcept;

  std::string_view view() const noexcept {
    const uint8_t tag = FBytes[TagByte];
    if (tag != HeapTag) return {reinterpret_cast<const char*>(FBytes), tag};
    return {HeapData(), HeapSize()};
  }
  operator std::string_view() const noexcept { return view(); }
  // A copy as a std::string, for callers that need one.
  std::string str() const { return std::string(view()); }

  const char* data() const noexcept { return view().data(); }
  size_t size() const noexcept { return view().size(); }
  bool empty() const noexcept { return FBytes[TagByte] == 0; }
  bool IsInline() const noexcept { return FBytes[TagByte] != HeapTag; }
  void clear() noexcept;
  void swap(TCompactString& other) noexcept;

  friend bool operator==(const TCompactString& a, std::string_view b) noexcept { return a.view() == b; }

private:
  static constexpr size_t TagByte = 15;
  static constexpr uint8_t HeapTag = 0xFF;
  // The heap form: the block's address in bytes 0-7, its length in 8-11.
  static constexpr size_t SizeAt = sizeof(char*);

  const char* HeapData() const noexcept {
    char* p;
    std::memcpy(&p, FBytes, sizeof p);
    return p;
  }
  uint32_t HeapSize() const noexcept {
    uint32_t n;
    std::memcpy(&n, FBytes + SizeAt, sizeof n);
    return n;
  }
  TCompactString& AssignFresh(std::string_view s);
  void FreeHeap() noexcept {
    if (!IsInline()) delete[] HeapData();
  }
  void TakeFrom(TCompactString& other) noexcept {
    std::memcpy(FBytes, other.FBytes, sizeof FBytes);
    other.FBytes[TagByte] = 0;
  }

  alignas(8) unsigned char FBytes[16];
};

static_assert(sizeof(TCompactString) == 16);
