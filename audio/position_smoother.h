// Turns a mixer position that moves in steps (once per mixing period) into one that rises smoothly
// with a monotonic clock, kept inside the bounds the mixer allows. Pure: no device, no clock of its
// own; the caller passes the bounds and the time. Positions and times are in seconds (positions in
// seconds of the stream's audio, times on any monotonic clock). Not thread-safe; one per stream.
#pragma once

struct PositionSmoother {
    bool started = false;
    double anchor_position = 0.0;  // estimate at anchor_time, seconds of audio
    double anchor_time = 0.0;      // clock seconds
    double speed = 1.0;            // audio seconds per clock second: 1, or faster while catching up
    double last = 0.0;             // last result: results never go below it
};

// Where the audible position may be now, from the mixer: at least `lower` (what the mixer last
// reported as audible) and at most `upper` (that plus one mixing period). `end` is the stream length.
struct PositionBounds {
    double lower = 0.0;
    double upper = 0.0;
    double end = 0.0;
};

// The smooth position at clock time `now`, in [0, end], never below the previous result.
// Between the bounds it follows the clock; above `upper` it waits, below `lower` it catches up at
// a limited speed (a large gap is jumped at once). Non-finite inputs leave the position where it was.
double smooth_position(PositionSmoother& smoother, const PositionBounds& bounds, double now);
