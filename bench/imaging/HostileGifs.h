// GIF files that claim far more than they hold, made in code for the image
// library's benchmark and tests (no such file is kept on disk). The code
// streams use a minimum code size of 2; the files have a global table of
// four colours (black, red, green, blue).
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "imaging/ByteReader.h"

namespace HostileGifs {

// Packs (code, width) pairs least significant bit first into sub-blocks after
// the minimum code size byte, then the terminator.
inline AnsiString PackCodes(int minCodeSize, const std::vector<std::pair<int, int>>& codes) {
  AnsiString bytes;
  uint32_t bits = 0;
  int count = 0;
  for (auto [code, width] : codes) {
    bits |= uint32_t(code) << count;
    for (count += width; count >= 8; count -= 8, bits >>= 8) bytes.push_back(char(bits & 0xFF));
  }
  if (count > 0) bytes.push_back(char(bits & 0xFF));
  AnsiString out(1, char(minCodeSize));
  for (size_t pos = 0; pos < bytes.size(); pos += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - pos);
    PutByte(out, unsigned(n));
    out.append(bytes, pos, n);
  }
  PutByte(out, 0);
  return out;
}

// A code stream written the way a decoder reads it: each code as wide as the
// decoder's table then is. Grow gives the longest strings the table allows,
// so few bytes stand for many pixels.
class TCodeStream {
 public:
  static constexpr int kClear = 4, kEnd = 5;

  // A clear code, then pixel 1 (one pixel).
  void StartTable() {
    Put(kClear);
    codeSize_ = 3;
    freeCode_ = 6;
    last_ = 1;
    Put(1);
    pixels_ += 1;
  }
  // Codes that each repeat the last string and one pixel more, while the
  // table has room and until the pixels reach the given count.
  void Grow(uint64_t pixels) {
    while (pixels_ < pixels && freeCode_ < 4096) {
      Put(freeCode_);
      last_ += 1;
      pixels_ += last_;
      if (++freeCode_ >= 1 << codeSize_ && codeSize_ < 12) ++codeSize_;
    }
  }
  // Tables filled one after the other until the stream holds the pixels.
  void Pixels(uint64_t pixels) {
    while (pixels_ < pixels) {
      StartTable();
      Grow(pixels);
    }
  }
  // Clear codes (no pixels) until the packed stream is about size bytes.
  void PadTo(size_t size) {
    while (bits_ / 8 + bits_ / 8 / 255 + 3 < size) {
      Put(kClear);
      codeSize_ = 3;
      freeCode_ = 6;
    }
  }
  uint64_t PixelCount() const { return pixels_; }
  AnsiString Finish() {
    Put(kEnd);
    return PackCodes(2, codes_);
  }

 private:
  void Put(int code) {
    codes_.emplace_back(code, codeSize_);
    bits_ += uint64_t(codeSize_);
  }

  std::vector<std::pair<int, int>> codes_;
  int codeSize_ = 3;
  int freeCode_ = 6;
  uint64_t last_ = 0;  // pixels of the last string
  uint64_t pixels_ = 0;
  uint64_t bits_ = 0;
};

// A screen of width x height with the four colours.
inline AnsiString Header(int width, int height, const char* signature = "GIF89a") {
  AnsiString out = signature;
  PutWord(out, unsigned(width));
  PutWord(out, unsigned(height));
  out += AnsiString("\x81\x02\x00", 3);
  out += AnsiString("\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF", 12);
  return out;
}

// An image of width x height at the screen's top left, without a table of its own.
inline AnsiString Image(int width, int height, const AnsiString& data) {
  AnsiString out(",");
  PutWord(out, 0);
  PutWord(out, 0);
  PutWord(out, unsigned(width));
  PutWord(out, unsigned(height));
  PutByte(out, 0);
  return out + data;
}

// Data that decode to about the given pixels, padded with clear codes to
// about size bytes (so that the data could stand for a larger picture).
inline AnsiString DataOf(uint64_t pixels, size_t size) {
  TCodeStream codes;
  codes.Pixels(pixels);
  codes.PadTo(size);
  return codes.Finish();
}

// One frame of width x height whose data decode to about the given pixels
// and take about size bytes.
inline AnsiString ClaimingGif(int width, int height, uint64_t pixels, size_t size) {
  return Header(width, height) + Image(width, height, DataOf(pixels, size)) + ";";
}

// frames frames of width x height, each decoding to about the given pixels
// in about size bytes.
inline AnsiString ClaimingAnimation(int frames, int width, int height, uint64_t pixels, size_t size) {
  const AnsiString frame = Image(width, height, DataOf(pixels, size));
  AnsiString out = Header(width, height);
  out.reserve(out.size() + size_t(frames) * frame.size() + 1);
  for (int i = 0; i < frames; ++i) out += frame;
  return out + ";";
}

}  // namespace HostileGifs
