// Evaluation of a track at a fractional row: find the key segment, interpolate as its first key says.
//
// Hold keeps the first key's value; Linear, Smooth (smoothstep) and Ramp (t squared) blend towards
// the next key. Before the first key (and at a NaN row) the first value holds, from the last key on
// the last value. A track without keys, or a null track, is 0 everywhere. Keys out of order never
// divide by zero: a segment of no or negative length gives its second key's value. Allocates nothing.
#pragma once

#include "sync/track.h"

// Index of the key at `row`, else of the last key below it; -1 before the first key or without keys.
int32_t find_key(const Track* track, int32_t row);

// The track's value at a fractional row, in double precision. The row is floored for the key
// search only; rows beyond the 32-bit range lie before the first or after the last key.
double track_value(const Track* track, double row);
