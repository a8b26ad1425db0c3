// The variable-length-code LZW compression of GIF image data: codes of 3 to
// 12 bits packed least significant bit first into sub-blocks of at most 255
// bytes, a clear code when the table fills, an end code at the end. Pixels
// are palette indexes, one byte each, rows top to bottom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/rtl/SysUtils.h"

// Decodes data (the minimum code size byte, then the sub-blocks) into
// width x height indexes, in interlaced row order when asked. Pixel values
// are cut to colorBits bits. Output stops at the last row; data that ends
// early leave the remaining pixels 0. Bad data raise EInvalidGraphicOperation;
// in tolerant mode they set corrupted instead and decoding stops there.
std::vector<uint8_t> DecodeGifCodeStream(const uint8_t* data, size_t size, int width, int height,
                                         bool interlaced, int colorBits, bool tolerant,
                                         bool& corrupted);

// Encodes width x height indexes of bitsPerPixel (1 to 8) bits into the
// minimum code size byte, the sub-blocks and the terminator.
AnsiString EncodeGifCodeStream(const uint8_t* indexes, int width, int height, int bitsPerPixel,
                               bool interlaced);

// The row after row in the interlaced order (rows 0, 8, ...; 4, 12, ...;
// 2, 6, ...; 1, 3, ...); height once every row was visited.
int NextInterlacedRow(int row, int height, int& pass);
