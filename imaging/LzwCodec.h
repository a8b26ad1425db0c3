// The variable-length-code LZW compression of GIF image data: codes of 3 to
// 12 bits packed least significant bit first into sub-blocks of at most 255
// bytes, a clear code when the table fills, an end code at the end. Pixels
// are palette indexes, one byte each, rows top to bottom.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/graphics/Graphic.h"
#include "platform/rtl/SysUtils.h"

// Told the stage of a decoding or encoding, the percentage done while it
// runs, and at the end the message of the exception that ended it, if any.
using TCodecProgress = std::function<void(TProgressStage stage, int percentDone, const AnsiString& message)>;

// Runs work between a start and an end notification (nothing without a progress).
template <class F>
void WithProgress(const TCodecProgress& progress, F&& work) {
  if (!progress) return work();
  progress(psStarting, 0, AnsiString());
  try {
    work();
  } catch (const Exception& e) {
    progress(psEnding, 100, e.Message());
    throw;
  } catch (...) {
    progress(psEnding, 100, AnsiString());
    throw;
  }
  progress(psEnding, 100, AnsiString());
}

// Palette indexes in the order a code stream gives them. The block grows
// with the indexes appended, up to a limit, and is taken with malloc (a large
// block grows in place), so that memory that cannot be had is EOutOfMemory.
class TIndexBuffer {
 public:
  TIndexBuffer() = default;
  TIndexBuffer(TIndexBuffer&& other) noexcept;
  TIndexBuffer& operator=(TIndexBuffer&& other) noexcept;
  ~TIndexBuffer();

  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  // Room for count more indexes (limit in all at the most), to be written.
  uint8_t* Append(size_t count, size_t limit) {
    if (size_ + count > capacity_) Grow(size_ + count, limit);
    uint8_t* to = data_ + size_;
    size_ += count;
    return to;
  }

 private:
  void Grow(size_t needed, size_t limit);

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Decodes data (the minimum code size byte, then the sub-blocks) into at
// most pixelCount indexes in the stream's order (an interlaced picture's rows
// in pass order), cut to colorBits bits. Decoding ends at pixelCount, at the
// end code or where the data end, and memory grows with the indexes decoded,
// whatever pixelCount claims. Bad data raise EInvalidGraphicOperation; in
// tolerant mode they set corrupted instead and decoding stops there.
TIndexBuffer DecodeGifIndexes(const uint8_t* data, size_t size, uint64_t pixelCount, int colorBits,
                              bool tolerant, bool& corrupted, const TCodecProgress& progress = nullptr);

// Calls place(y, row, count) for the rows of a width x height picture in the
// order the stream holds them: row points at the count indexes decoded for
// row y (fewer than width, or none, where the data ended).
template <class F>
void PlaceDecodedRows(const TIndexBuffer& indexes, int width, int height, bool interlaced, F&& place);

// The decoded picture as width x height indexes, rows top to bottom; pixels
// the data leave out are 0.
std::vector<uint8_t> DecodeGifCodeStream(const uint8_t* data, size_t size, int width, int height,
                                         bool interlaced, int colorBits, bool tolerant, bool& corrupted,
                                         const TCodecProgress& progress = nullptr);

// The most pixels that size bytes of code data can decode to: each code
// takes at least 3 bits and stands for at most 4097 pixels.
uint64_t MaxDecodedPixels(size_t size);

// Encodes width x height indexes of bitsPerPixel (1 to 8) bits into the
// minimum code size byte, the sub-blocks and the terminator. Takes time in
// proportion to the pixels.
AnsiString EncodeGifCodeStream(const uint8_t* indexes, int width, int height, int bitsPerPixel,
                               bool interlaced, const TCodecProgress& progress = nullptr);

// The row after row in the interlaced order (rows 0, 8, ...; 4, 12, ...;
// 2, 6, ...; 1, 3, ...); height once every row was visited.
int NextInterlacedRow(int row, int height, int& pass);

template <class F>
void PlaceDecodedRows(const TIndexBuffer& indexes, int width, int height, bool interlaced, F&& place) {
  size_t offset = 0;
  int pass = 0;
  for (int y = 0; y < height; y = interlaced ? NextInterlacedRow(y, height, pass) : y + 1) {
    const size_t count = offset < indexes.Size() ? std::min(size_t(width), indexes.Size() - offset) : 0;
    place(y, count ? indexes.Data() + offset : indexes.Data(), count);
    offset += size_t(width);
  }
}
