#include "imaging/LzwCodec.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

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

// Appends the decoded pixels to the index buffer until it holds the picture.
class TPixelSink {
 public:
  TPixelSink(TIndexBuffer& out, uint64_t pixelCount, int colorBits)
      : out_(out), limit_(size_t(pixelCount)), mask_(uint8_t((1 << colorBits) - 1)) {}

  bool Full() const { return out_.Size() >= limit_; }
  void Put(int value) {
    const uint16_t one = uint16_t(value);
    PutReversed(&one, 1);
  }
  // Puts values[count - 1] first and values[0] last (a decoder's stack).
  void PutReversed(const uint16_t* values, size_t count) {
    const size_t n = std::min(count, limit_ - out_.Size());
    uint8_t* to = out_.Append(n, limit_);
    for (size_t i = 0; i < n; ++i) to[i] = uint8_t(values[count - 1 - i]) & mask_;
  }

 private:
  TIndexBuffer& out_;
  size_t limit_;
  uint8_t mask_;
};

[[noreturn]] void RaiseBadData() { throw EInvalidGraphicOperation(ImagingText::GifBadData); }

void DecodeCodes(const uint8_t* data, size_t size, uint64_t pixelCount, int colorBits, bool tolerant,
                 bool& corrupted, const TCodecProgress& progress, TIndexBuffer& out) {
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
  TPixelSink sink(out, pixelCount, colorBits);

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

// The encoder's dictionary: the code of each string known so far, found by
// its prefix code and last pixel in an open-addressing table twice as large
// as the 4096 codes, so that probes stay short whatever the picture. A slot
// holds the key (prefix shl 8 + pixel) above the code; codes stop at 4094,
// so no slot of a string is all ones. Each prefix also remembers the string
// it was last extended to (pixel + 1 above the code, 0 for none), which a
// run of one colour finds again without a probe.
class TCodeTable {
 public:
  static constexpr int kNotFound = -1;

  TCodeTable() : slots_(kSlots, kEmpty), last_(4096, 0) {}
  void Clear() {
    std::fill(slots_.begin(), slots_.end(), kEmpty);
    std::fill(last_.begin(), last_.end(), 0);
  }
  // The string's code, or kNotFound with slot_ left where it goes.
  int Find(int prefix, int pixel) {
    const uint32_t last = last_[size_t(prefix)];
    if (last >> 12 == uint32_t(pixel) + 1) return int(last & 0xFFF);
    key_ = uint32_t(prefix) << 8 | uint32_t(pixel);
    slot_ = (key_ * 2654435761u) >> (32 - kSlotBits);
    for (; slots_[slot_] != kEmpty; slot_ = (slot_ + 1) & (kSlots - 1))
      if (slots_[slot_] >> 12 == key_) {
        last_[size_t(prefix)] = (uint32_t(pixel) + 1) << 12 | (slots_[slot_] & 0xFFF);
        return int(slots_[slot_] & 0xFFF);
      }
    return kNotFound;
  }
  // Gives the string last looked for the code.
  void Add(int code) {
    slots_[slot_] = key_ << 12 | uint32_t(code);
    last_[key_ >> 8] = ((key_ & 0xFF) + 1) << 12 | uint32_t(code);
  }

 private:
  static constexpr int kSlotBits = 13;
  static constexpr uint32_t kSlots = 1u << kSlotBits;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  std::vector<uint32_t> slots_;
  std::vector<uint32_t> last_;
  uint32_t key_ = 0;
  uint32_t slot_ = 0;
};

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

AnsiString EncodeCodes(const uint8_t* indexes, int width, int height, int bitsPerPixel, bool interlaced,
                       const TCodecProgress& progress) {
  const int initBits = bitsPerPixel <= 1 ? 3 : std::min(bitsPerPixel, 8) + 1;
  const int clearCode = 1 << (initBits - 1), endCode = clearCode + 1;
  const int pixelMask = clearCode - 1;
  TCodeTable table;
  TCodeWriter writer;
  int codeSize = initBits, maxCode = 1 << initBits, freeCode = endCode;
  writer.Write(clearCode, codeSize);
  int prefix = 0;
  bool started = false;  // prefix holds the string so far
  int pass = 0, rowsDone = 0;
  for (int y = 0; y < height; y = interlaced ? NextInterlacedRow(y, height, pass) : y + 1) {
    const uint8_t* row = indexes + size_t(y) * size_t(width);
    for (int x = 0; x < width; ++x) {
      const int p = row[x] & pixelMask;
      if (!started) {
        prefix = p;
        started = true;
        continue;
      }
      const int code = table.Find(prefix, p);
      if (code != TCodeTable::kNotFound) {
        prefix = code;
        continue;
      }
      writer.Write(prefix, codeSize);
      table.Add(++freeCode);
      prefix = p;
      if (freeCode >= maxCode) {
        maxCode <<= 1;
        ++codeSize;
      } else if (freeCode >= 0xFFE) {
        writer.Write(prefix, codeSize);
        writer.Write(clearCode, codeSize);
        started = false;
        freeCode = endCode;
        codeSize = initBits;
        maxCode = 1 << initBits;
        table.Clear();
      }
    }
    if (progress) progress(psRunning, int(int64_t(++rowsDone) * 100 / height), AnsiString());
  }
  if (started) writer.Write(prefix, codeSize);
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

TIndexBuffer::TIndexBuffer(TIndexBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

TIndexBuffer& TIndexBuffer::operator=(TIndexBuffer&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  return *this;
}

TIndexBuffer::~TIndexBuffer() { std::free(data_); }

void TIndexBuffer::Grow(size_t needed, size_t limit) {
  const size_t capacity = std::min(limit, std::max({needed, capacity_ * 2, size_t(65536)}));
  void* grown = std::realloc(data_, capacity);
  if (!grown) RaiseOutOfMemory();
  data_ = static_cast<uint8_t*>(grown);
  capacity_ = capacity;
}

TIndexBuffer DecodeGifIndexes(const uint8_t* data, size_t size, uint64_t pixelCount, int colorBits,
                              bool tolerant, bool& corrupted, const TCodecProgress& progress) {
  TIndexBuffer out;
  if (pixelCount == 0) return out;
  WithProgress(progress,
               [&] { DecodeCodes(data, size, pixelCount, colorBits, tolerant, corrupted, progress, out); });
  return out;
}

std::vector<uint8_t> DecodeGifCodeStream(const uint8_t* data, size_t size, int width, int height,
                                         bool interlaced, int colorBits, bool tolerant, bool& corrupted,
                                         const TCodecProgress& progress) {
  if (width < 0 || height < 0) RaiseBadData();
  const TIndexBuffer indexes =
      DecodeGifIndexes(data, size, uint64_t(width) * uint64_t(height), colorBits, tolerant, corrupted, progress);
  std::vector<uint8_t> out(size_t(width) * size_t(height), 0);
  PlaceDecodedRows(indexes, width, height, interlaced, [&](int y, const uint8_t* row, size_t count) {
    std::copy(row, row + count, out.begin() + ptrdiff_t(size_t(y) * size_t(width)));
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
