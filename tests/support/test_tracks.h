// Tracks made in memory for tests: no files, same evaluation as the real thing.
#pragma once

#include <initializer_list>

#include "sync/demo_tracks.h"
#include "sync/track.h"

// A new track holding these keys (row, value, interpolation as a number); lives until exit.
Track* make_track(std::initializer_list<TrackKey> keys);

// Gives every demo track of `state` a fresh empty track (value 0 everywhere).
void clear_demo_tracks(SyncState& state);

// Makes the demo track hold `value` at every row.
void set_constant(SyncState& state, DemoTrack track, double value);
