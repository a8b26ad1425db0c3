// TByteReader: bounds-checked little-endian reading of a byte buffer that the
// image readers use for every file they parse. Reading past the end raises
// EReadError ("Stream read error"); nothing is read outside the buffer.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/VCLUtils.h"
#include "platform/rtl/Classes.h"

class TByteReader {
 public:
  TByteReader(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  explicit TByteReader(const AnsiString& bytes) : TByteReader(bytes.data(), bytes.size()) {}

  size_t Size() const { return size_; }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ >= size_; }
  const uint8_t* Current() const { return data_ + pos_; }

  uint8_t Byte() {
    Need(1);
    return data_[pos_++];
  }
  uint16_t Word() {
    Need(2);
    uint16_t v = uint16_t(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t DWord() {
    Need(4);
    uint32_t v = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8 |
                 uint32_t(data_[pos_ + 2]) << 16 | uint32_t(data_[pos_ + 3]) << 24;
    pos_ += 4;
    return v;
  }
  void Read(void* buffer, size_t count) {
    Need(count);
    if (count) std::memcpy(buffer, data_ + pos_, count);
    pos_ += count;
  }
  AnsiString Bytes(size_t count) {
    Need(count);
    AnsiString s(reinterpret_cast<const char*>(data_ + pos_), count);
    pos_ += count;
    return s;
  }
  void Skip(size_t count) {
    Need(count);
    pos_ += count;
  }

 private:
  void Need(size_t count) const {
    if (count > size_ - pos_) RaiseStreamReadError();
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Little-endian writing into a byte string.
inline void PutByte(AnsiString& out, unsigned v) { out.push_back(char(v & 0xFF)); }
inline void PutWord(AnsiString& out, unsigned v) {
  PutByte(out, v);
  PutByte(out, v >> 8);
}
inline void PutDWord(AnsiString& out, uint32_t v) {
  PutWord(out, v & 0xFFFF);
  PutWord(out, v >> 16);
}

// The bytes from the stream's position to its end.
AnsiString ReadRestOfStream(TStream& stream);
// Moves the stream back over the bytes of the reader that were not used, so
// that after reading one object from the rest of a stream the stream stands
// right behind that object.
void ReturnUnread(TStream& stream, const TByteReader& reader);
void WriteBytes(TStream& stream, const AnsiString& bytes);
