// The music clock: how rows, the demo's unit of time, map to beats, bars and seconds.
//
// The music is in 4/4 at 128 beats per minute with 8 rows to a beat, so 1024 rows take exactly
// 60 s. Every program that turns seconds into rows or writes positions as BAR:BEAT uses these.
#pragma once

#include <cstdint>

constexpr double BEATS_PER_MINUTE = 128.0;
constexpr int32_t ROWS_PER_BEAT = 8;
constexpr int32_t BEATS_PER_BAR = 4;
constexpr int32_t ROWS_PER_BAR = ROWS_PER_BEAT * BEATS_PER_BAR;
constexpr double ROWS_PER_SECOND = 17.066666666666666;  // the double nearest 1024 / 60
static_assert(ROWS_PER_SECOND == BEATS_PER_MINUTE * ROWS_PER_BEAT / 60.0, "tempo and rows agree");
