// Little-endian 32-bit integers in the tree's streams (header, columns), and
// the ranges a reader holds every number it takes from outside to.
#pragma once

#include <cstdint>

#include "platform/rtl/Classes.h"

inline void WriteInt(TStream& stream, int32_t value) { stream.WriteBuffer(&value, 4); }

inline int32_t ReadInt(TStream& stream) {
  int32_t value = 0;
  stream.ReadBuffer(&value, 4);
  return value;
}

// A number read from outside, held to [low, high].
inline int32_t ReadIntIn(TStream& stream, int32_t low, int32_t high) {
  const int32_t value = ReadInt(stream);
  return value < low ? low : value > high ? high : value;
}

// Limits of the header stream: the sum of all column widths and margins must
// stay far inside 32-bit positions, and a header or its font no taller than
// any screen.
constexpr int32_t MaxStreamColumns = 10000;
constexpr int32_t MaxStreamColumnWidth = 100000;
constexpr int32_t MaxStreamColumnSpacing = 10000;
constexpr int32_t MaxStreamHeaderHeight = 1000;
constexpr int32_t MaxStreamFontHeight = 200;
