// The variable-length-code LZW compression of GIF image data: codes of 3 to
// 12 bits packed least significant bit first into sub-blocks of at most 255
// bytes, a clear code when the table fills, an end code at the end. Pixels
// are palette indexes, one byte each, rows top to bottom.
#pragma once

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

// Decodes data (the minimum code size byte, then the sub-blocks) into
// width x height indexes, in interlaced row order when asked. Pixel values
// are cut to colorBits bits. Output stops at the last row; data that ends
// early leave the remaining pixels 0. Bad data raise EInvalidGraphicOperation;
// in tolerant mode they set corrupted instead and decoding stops there.
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
