#include "imaging/LzwCodec.h"

#include <algorithm>
#include <memory>

#include "imaging/VCLUtils.h"

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeSize = 12;
constexpr size_t kMaxChain = 4096;

// Reads codes from the sub-blocks. When the data are used up the bits left
// are returned padded with zeros, and after them the end code.
class TCodeReader {
 public:
  TCodeReader(const uint8_t* data, size_t size, size_t pos, int endCode)
      : data_(data), size_(size), pos_(pos), endCode_(endCode) {}

  int Read(int codeSize) {
    while (bitCount_ < codeSize && Refill()) {
    }
    if (bitCount_ == 0) return endCode_;
    const int code = int(bits_ & ((1u << codeSize) - 1));
    const int used = std::min(codeSize, bitCount_);
    bits_ >>= used;
    bitCount_ -= used;
    return code;
  }
  size_t Position() const { return pos_; }

 private:
  // Adds the next byte of the current sub-block; false at the end of the data.
  bool Refill() {
    while (blockLeft_ == 0) {
      if (ended_ || pos_ >= size_) return false;
      blockLeft_ = data_[pos_++];
      if (blockLeft_ == 0) ended_ = true;
    }
    if (pos_ >= size_) return false;
    bits_ |= uint32_t(data_[pos_++]) << bitCount_;
    bitCount_ += 8;
    --blockLeft_;
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_;
  int endCode_;
  uint32_t bits_ = 0;
  int bitCount_ = 0;
  int blockLeft_ = 0;
  bool ended_ = false;
};

// Writes pixels in row order (or interlaced order) into the index buffer.
class TPixelSink {
 public:
  TPixelSink(std::vector<uint8_t>& out, int width, int height, bool interlaced, int colorBits)
      : out_(out), width_(width), height_(height), interlaced_(interlaced),
        mask_(uint8_t((1 << colorBits) - 1)), row_(out.data()) {}

  bool Full() const { return y_ >= height_; }
  void Put(int value) {
    const uint16_t one = uint16_t(value);
    PutReversed(&one, 1);
  }
  // Puts values[count - 1] first and values[0] last (a decoder's stack).
  void PutReversed(const uint16_t* values, size_t count) {
    while (count > 0 && !Full()) {
      const size_t n = std::min(count, size_t(width_ - x_));
      for (size_t i = 0; i < n; ++i) row_[size_t(x_) + i] = uint8_t(values[count - 1 - i]) & mask_;
      x_ += int(n);
      count -= n;
      if (x_ == width_) NextRow();
    }
  }

 private:
  void NextRow() {
    x_ = 0;
    y_ = interlaced_ ? NextInterlacedRow(y_, height_, pass_) : y_ + 1;
    if (!Full()) row_ = out_.data() + size_t(y_) * size_t(width_);
  }

  std::vector<uint8_t>& out_;
  int width_, height_;
  bool interlaced_;
  uint8_t mask_;
  uint8_t* row_;
  int x_ = 0, y_ = 0, pass_ = 0;
};

[[noreturn]] void RaiseBadData() { throw EInvalidGraphicOperation(ImagingText::GifBadData); }

void DecodeCodes(const uint8_t* data, size_t size, int width, int height, bool interlaced, int colorBits,
                 bool tolerant, bool& corrupted, const TCodecProgress& progress, std::vector<uint8_t>& out) {
  int minSize = size > 0 ? data[0] : 0;
  if (minSize < 2 || minSize > 9) {
    if (!tolerant) throw EInvalidGraphicOperation(ImagingText::GifCodeSizeError);
    corrupted = true;
    minSize = std::clamp(minSize, 2, 9);
  }
  colorBits = std::clamp(colorBits, 1, 8);
  const int clearCode = 1 << minSize, endCode = clearCode + 1, firstFree = clearCode + 2;
  uint16_t prefix[kMaxCodes] = {}, suffix[kMaxCodes] = {};
  uint16_t stack[kMaxChain + 1] = {};
  int codeSize = minSize + 1, maxCode = 1 << codeSize, freeCode = firstFree;
  int oldCode = -1, finChar = 0;
  bool tableFull = false;
  TCodeReader reader(data, size, size > 0 ? 1 : 0, endCode);
  TPixelSink sink(out, width, height, interlaced, colorBits);

  int code = reader.Read(codeSize);
  int percentDone = 0;
  while (code != endCode && !sink.Full()) {
    if (code == clearCode) {
      codeSize = minSize + 1;
      maxCode = 1 << codeSize;
      freeCode = firstFree;
      tableFull = false;
      oldCode = -1;
    } else if (oldCode < 0) {
      // The first code after a clear (or of the stream) stands for itself.
      oldCode = code;
      finChar = code < clearCode ? code : code & ((1 << colorBits) - 1);
      sink.Put(finChar);
    } else {
      const int inCode = code;
      size_t depth = 0;
      int cur = code;
      if (code >= freeCode) {
        stack[depth++] = uint16_t(finChar);
        cur = oldCode;
      }
      while (cur >= clearCode) {
        if (depth >= kMaxChain) {
          if (!tolerant) RaiseBadData();
          corrupted = true;
          break;
        }
        stack[depth++] = suffix[size_t(cur)];
        cur = prefix[size_t(cur)];
      }
      if (corrupted && tolerant && depth >= kMaxChain) break;
      finChar = cur;
      stack[depth++] = uint16_t(finChar);
      sink.PutReversed(stack, depth);
      if (!tableFull) {
        prefix[size_t(freeCode)] = uint16_t(oldCode);
        suffix[size_t(freeCode)] = uint16_t(finChar);
        if (++freeCode >= maxCode) {
          if (codeSize < kMaxCodeSize) {
            ++codeSize;
            maxCode <<= 1;
          } else {
            tableFull = true;
          }
        }
      }
      oldCode = inCode;
    }
    code = reader.Read(codeSize);
    if (!progress || size == 0) continue;
    const int percent = int(reader.Position() * 100 / size);
    if (percent != percentDone) progress(psRunning, percentDone = percent, AnsiString());
  }
}

// A prime well above the 4096 codes: the probe chains stay short whatever the picture.
constexpr int kHashSlots = 17783;

// Packs codes least significant bit first and cuts the bytes into sub-blocks.
class TCodeWriter {
 public:
  void Write(int code, int codeSize) {
    bits_ |= uint32_t(code) << bitCount_;
    bitCount_ += codeSize;
    while (bitCount_ >= 8) {
      bytes_.push_back(char(bits_ & 0xFF));
      bits_ >>= 8;
      bitCount_ -= 8;
    }
  }
  AnsiString Finish(int minCodeSize) {
    if (bitCount_ > 0) bytes_.push_back(char(bits_ & 0xFF));
    AnsiString out(1, char(minCodeSize));
    for (size_t pos = 0; pos < bytes_.size(); pos += 255) {
      const size_t n = std::min<size_t>(255, bytes_.size() - pos);
      out.push_back(char(n));
      out.append(bytes_, pos, n);
    }
    out.push_back('\0');
    return out;
  }

 private:
  AnsiString bytes_;
  uint32_t bits_ = 0;
  int bitCount_ = 0;
};

struct TDictNode {
  uint16_t Prefix;
  uint8_t Suffix;
};


AnsiString EncodeCodes(const uint8_t* indexes, int width, int height, int bitsPerPixel, bool interlaced,
                       const TCodecProgress& progress) {
  const int initBits = bitsPerPixel <= 1 ? 3 : std::min(bitsPerPixel, 8) + 1;
  const int clearCode = 1 << (initBits - 1), endCode = clearCode + 1;
  const int pixelMask = clearCode - 1;
  std::vector<int16_t> slots(kHashSlots, -1);
  std::vector<TDictNode> nodes(kMaxCodes);
  TCodeWriter writer;
  int codeSize = initBits, maxCode = 1 << initBits, freeCode = endCode;
  writer.Write(clearCode, codeSize);
  int prefix = 0;
  int64_t length = 0, hash = 0;
  int pass = 0, rowsDone = 0;
  for (int y = 0; y < height; y = interlaced ? NextInterlacedRow(y, height, pass) : y + 1) {
    const uint8_t* row = indexes + size_t(y) * size_t(width);
    for (int x = 0; x < width; ++x) {
      const int p = row[x] & pixelMask;
      if (++length == 1) {
        prefix = p;
        hash = (p + 3) * 301;
        continue;
      }
      hash = ((p + length + 4) * hash) % kHashSlots;
      int slot = int(hash);
      while (slots[size_t(slot)] >= 0) {
        const TDictNode& n = nodes[size_t(slots[size_t(slot)])];
        if (n.Prefix == prefix && n.Suffix == p) break;
        slot = slot + 1 == kHashSlots ? 0 : slot + 1;
      }
      if (slots[size_t(slot)] >= 0) {
        prefix = slots[size_t(slot)];
        continue;
      }
      writer.Write(prefix, codeSize);
      ++freeCode;
      slots[size_t(slot)] = int16_t(freeCode);
      nodes[size_t(freeCode)] = TDictNode{uint16_t(prefix), uint8_t(p)};
      prefix = p;
      hash = (p + 3) * 301;
      length = 1;
      if (freeCode >= maxCode) {
        maxCode <<= 1;
        ++codeSize;
      } else if (freeCode >= 0xFFE) {
        writer.Write(prefix, codeSize);
        writer.Write(clearCode, codeSize);
        length = 0;
        freeCode = endCode;
        codeSize = initBits;
        maxCode = 1 << initBits;
        std::fill(slots.begin(), slots.end(), int16_t(-1));
      }
    }
    if (progress) progress(psRunning, int(int64_t(++rowsDone) * 100 / height), AnsiString());
  }
  if (length > 0) writer.Write(prefix, codeSize);
  writer.Write(endCode, codeSize);
  return writer.Finish(initBits - 1);
}

}  // namespace

int NextInterlacedRow(int row, int height, int& pass) {
  static constexpr int kStep[4] = {8, 8, 4, 2};
  static constexpr int kStart[4] = {0, 4, 2, 1};
  if (pass >= 0 && pass < 4 && row + kStep[pass] < height) return row + kStep[pass];
  while (++pass < 4)
    if (kStart[pass] < height) return kStart[pass];
  return height;
}

uint64_t MaxDecodedPixels(size_t size) { return (uint64_t(size) * 8 / 3 + 2) * (kMaxChain + 1); }

std::vector<uint8_t> DecodeGifCodeStream(const uint8_t* data, size_t size, int width, int height,
                                         bool interlaced, int colorBits, bool tolerant, bool& corrupted,
                                         const TCodecProgress& progress) {
  if (width < 0 || height < 0) RaiseBadData();
  std::vector<uint8_t> out(size_t(width) * size_t(height), 0);
  if (width == 0 || height == 0) return out;
  WithProgress(progress, [&] {
    DecodeCodes(data, size, width, height, interlaced, colorBits, tolerant, corrupted, progress, out);
  });
  return out;
}

AnsiString EncodeGifCodeStream(const uint8_t* indexes, int width, int height, int bitsPerPixel,
                               bool interlaced, const TCodecProgress& progress) {
  AnsiString out;
  WithProgress(progress,
               [&] { out = EncodeCodes(indexes, width, height, bitsPerPixel, interlaced, progress); });
  return out;
}
