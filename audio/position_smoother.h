// Turns a mixer position that moves in steps (once per mixing period) into one that follows a
// monotonic clock steadily. Pure: no device, no clock of its own; the caller passes what the mixer
// reports and the time. Positions and times are in seconds (positions in seconds of the stream's
// audio, times on any monotonic clock). Does not know about pausing or seeking: the caller starts
// a fresh smoother when playback jumps. Not thread-safe; one per stream.
#pragma once

constexpr int LAG_BUCKETS = 4;  // the lag window in quarters, so that old lags leave it in steps

struct PositionSmoother {
    bool started = false;
    double offset = 0.0;        // clock seconds minus audio seconds: the estimate is the clock minus this
    double last_time = 0.0;     // clock seconds at the previous call
    double last = 0.0;          // last result: results never go below it
    double report = 0.0;        // the mixer's last report (`lower`): its lag counts when first seen
    double bucket_start = 0.0;  // clock seconds when the newest quarter began
    double least_lag[LAG_BUCKETS]{};  // smallest clock minus report in each quarter, newest first
};

// What the mixer says: `lower` is what it last reported as audible (the truth is at most one
// mixing period later), `upper` the most the position may show (less than a period past what it
// has mixed). `end` is the stream length. `lost`: the output is gone and no report will come
// again; `lower` and `upper` mean nothing then.
struct PositionBounds {
    double lower = 0.0;
    double upper = 0.0;
    double end = 0.0;
    bool lost = false;
};

// The smooth position at clock time `now`, in [0, end], never below the previous result.
// The mixer's reports lag the truth by zero to one period, so the least lag of the reports that
// were new over about the last second gives the offset between clock and stream; the position
// follows the clock from that offset, slewing gently when it moves (it may fall a little behind
// `lower` meanwhile), and never runs past `upper` (it waits there). An offset that moves by more
// than 0.1 s is jumped.
// Once the output is lost the position runs on at the clock's pace from where it stood (a fresh
// smoother from its `last`) to `end`. Non-finite inputs leave the position where it was.
double smooth_position(PositionSmoother& smoother, const PositionBounds& bounds, double now);
