// Evaluation of a track at a fractional row: find the key segment, interpolate as its first key says.
//
// Hold keeps the first key's value, Linear, Smooth (smoothstep) and Ramp (t squared) blend towards
// the next key. Before the first key the first value holds, from the last key on the last value.
// A track without keys is 0 everywhere. Reads only; allocates nothing.
#pragma once

#include "sync/track.h"

// Index of the key at `row`, else of the last key below it; -1 before the first key or without keys.
int32_t find_key(const Track* track, int32_t row);

// The track's value at a fractional row, in double precision.
double track_value(const Track* track, double row);
