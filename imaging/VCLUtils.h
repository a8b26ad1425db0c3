// Small helpers shared by the image library: its exception classes, its own
// message texts, the not-implemented reaction and a few integer and memory
// helpers. The texts are the library's own and are used as they stand.
// Memory that a picture needs and cannot get is EOutOfMemory, never an
// abort of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "platform/graphics/Colors.h"
#include "platform/rtl/Persistent.h"
#include "platform/rtl/SysUtils.h"

// Raised when a picture operation cannot be carried out (bad GIF data, a size
// change of a GIF image, nothing to write).
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
};

// Raised when the memory a picture needs cannot be had.
class EOutOfMemory : public Exception {
 public:
  using Exception::Exception;
};

// The library's message texts, by their resource numbers.
namespace ImagingText {
inline constexpr const char* GifUnknownVersion = "Неизвестная версия изображения GIF";     // 61092
inline constexpr const char* GifEncodeError = "Ошибка кодировки данных в формат GIF";      // 61093
inline constexpr const char* GifBadData = "Неверные данные в формате GIF";                  // 61094
inline constexpr const char* GifCodeSizeError =
    "Размер кода GIF не принадлежит диапазону от 2 до 9";                                 // 61095
inline constexpr const char* GifBadColorCount =
    "Неверное число цветов; должно быть степенью числа 2";                                // 61096
inline constexpr const char* GifUnknownExtension = "Неопределенное расширение GIF: %.2x";  // 61097
inline constexpr const char* GifNoData = "Нет данных для записи в формате GIF";             // 61098
inline constexpr const char* GifCannotResize = "Невозможно изменить размер изображения GIF";  // 61099
inline constexpr const char* GifFileDescription = "CompuServe GIF Image";                   // 61100
inline constexpr const char* NotImplemented = "Функция не реализована";                     // 61257
inline constexpr const char* InvalidBitmap = "Bitmap image is not valid";                   // 65411
inline constexpr const char* StreamReadError = "Stream read error";
inline constexpr const char* OutOfMemory = "Out of memory";
}  // namespace ImagingText

[[noreturn]] void RaiseStreamReadError();
[[noreturn]] void RaiseOutOfMemory();

// Runs work; memory that cannot be had ends it with EOutOfMemory.
template <class F>
decltype(auto) WithMemoryGuard(F&& work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  }
}

inline int32_t MaxInt32(int32_t a, int32_t b) { return a > b ? a : b; }
inline int32_t MinInt32(int32_t a, int32_t b) { return a < b ? a : b; }

// The colour's RGB value marked as palette-relative.
inline TColor PaletteRelativeColor(TColor color) { return ColorToRGB(color) | 0x02000000; }

bool MemoryEquals(const void* p1, const void* p2, size_t length);

// Resets the screen cursor, tells the user that the function is not
// implemented and ends the current operation silently (EAbort).
[[noreturn]] void ShowNotImplemented();
