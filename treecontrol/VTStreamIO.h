// Little-endian 32-bit integers in the tree's streams (header, columns).
#pragma once

#include <cstdint>

#include "platform/rtl/Classes.h"

inline void WriteInt(TStream& stream, int32_t value) { stream.WriteBuffer(&value, 4); }

inline int32_t ReadInt(TStream& stream) {
  int32_t value = 0;
  stream.ReadBuffer(&value, 4);
  return value;
}
