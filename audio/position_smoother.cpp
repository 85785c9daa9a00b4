// Smooth playback position: clock-driven between the mixer's updates, held inside its bounds.
#include "audio/position_smoother.h"

#include <cmath>

namespace {

// Behind the mixer the estimate runs this much faster than the clock, so that a late estimate
// closes the gap in small steps (2 ms of clock → at most 4 ms of audio) instead of one jump.
constexpr double CATCH_UP_SPEED = 2.0;
// A gap larger than this (seconds) is not worth a slow catch-up: the picture jumps once.
constexpr double MAX_CATCH_UP_GAP = 0.1;

void anchor(PositionSmoother& smoother, double position, double now, double speed)
{
    smoother.anchor_position = position;
    smoother.anchor_time = now;
    smoother.speed = speed;
}

}  // namespace

double smooth_position(PositionSmoother& smoother, const PositionBounds& bounds, double now)
{
    if (!std::isfinite(bounds.lower) || !std::isfinite(bounds.upper) || !std::isfinite(bounds.end) ||
        !std::isfinite(now))
        return smoother.last;
    if (!smoother.started) {
        // Start at the top of the bounds: running ahead is corrected by waiting, which never shows,
        // while running behind needs catching up. At play the top is still below zero (the latency).
        smoother.started = true;
        anchor(smoother, bounds.upper, now, 1.0);
    }
    // A clock that went backwards (it should not) must not move the estimate backwards either.
    if (now < smoother.anchor_time)
        anchor(smoother, smoother.anchor_position, now, smoother.speed);

    double estimate = smoother.anchor_position + (now - smoother.anchor_time) * smoother.speed;
    if (estimate < bounds.lower) {
        if (bounds.lower - estimate > MAX_CATCH_UP_GAP) {
            estimate = bounds.lower;
            anchor(smoother, estimate, now, 1.0);
        } else {
            anchor(smoother, estimate, now, CATCH_UP_SPEED);
        }
    } else if (estimate > bounds.upper) {
        estimate = bounds.upper;
        anchor(smoother, estimate, now, 1.0);
    } else if (smoother.speed != 1.0) {
        anchor(smoother, estimate, now, 1.0);
    }

    if (estimate > bounds.end)
        estimate = bounds.end;
    if (estimate < smoother.last)
        estimate = smoother.last;
    if (estimate < 0.0)
        estimate = 0.0;
    smoother.last = estimate;
    return estimate;
}
