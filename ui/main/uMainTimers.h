// Timer intervals of the main window's scheduler: minutes as milliseconds,
// computed in 64 bits and clamped to the timer's range (a zero or negative
// length fires as soon as possible).
#pragma once

#include <algorithm>
#include <cstdint>

inline unsigned MinutesInterval(int32_t Minutes) {
  constexpr int64_t MaxTimerInterval = 0x7FFFFFFF;
  return unsigned(std::clamp<int64_t>(int64_t(Minutes) * 60000, 1, MaxTimerInterval));
}
