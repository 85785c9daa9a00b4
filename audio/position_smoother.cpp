// Smooth playback position: the clock from the least lagging of the mixer's recent reports.
#include "audio/position_smoother.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Lags are remembered this long (seconds): long enough to hold dozens of mixes, one of which was
// read almost as it happened; short enough to follow a clock that drifts against the output's.
constexpr double LAG_WINDOW = 1.0;
constexpr double BUCKET_SECONDS = LAG_WINDOW / LAG_BUCKETS;
// When the offset moves, the position closes the gap over about a settling time, running at most
// MAX_SLEW faster or slower than the clock (2%: no eye sees that speed change). Behind the best
// report it catches up within a quarter second. Reports that all come later than before are far
// more often a busy mixer than a drifting clock, so the position slows down for them only slowly.
constexpr double SETTLE_BEHIND_SECONDS = 0.25;
constexpr double SETTLE_AHEAD_SECONDS = 4.0;
constexpr double MAX_SLEW = 0.02;
// Falling further behind a report than this (seconds) is not the mixer's jitter but a start or
// a change of pace: the position jumps to within this much and slews the rest.
constexpr double MAX_BEHIND = 0.001;
// An offset that moves more than this (seconds) is not slewed but jumped: the output stalled or
// caught up, and taking seconds over it would leave the picture visibly off the music.
constexpr double MAX_SLEW_GAP = 0.1;
constexpr double NO_LAG = std::numeric_limits<double>::infinity();

void start(PositionSmoother& smoother, double lag, double report, double now)
{
    smoother.started = true;
    smoother.offset = lag;
    smoother.report = report;
    smoother.last_time = now;
    smoother.bucket_start = now;
    std::fill(smoother.least_lag, smoother.least_lag + LAG_BUCKETS, NO_LAG);
}

// Ages the window to `now` and returns the least lag in it, `lag` included.
double least_lag(PositionSmoother& smoother, double lag, double now)
{
    double* buckets = smoother.least_lag;
    if (now - smoother.bucket_start >= LAG_WINDOW) {  // a long gap: everything in the window is stale
        std::fill(buckets, buckets + LAG_BUCKETS, NO_LAG);
        smoother.bucket_start = now;
    }
    while (now - smoother.bucket_start >= BUCKET_SECONDS) {
        std::copy_backward(buckets, buckets + LAG_BUCKETS - 1, buckets + LAG_BUCKETS);
        buckets[0] = NO_LAG;
        smoother.bucket_start += BUCKET_SECONDS;
    }
    buckets[0] = std::min(buckets[0], lag);
    return *std::min_element(buckets, buckets + LAG_BUCKETS);
}

}  // namespace

double smooth_position(PositionSmoother& smoother, const PositionBounds& bounds, double now)
{
    if (!std::isfinite(bounds.end) || !std::isfinite(now))
        return smoother.last;
    if (bounds.lost) {
        // Nothing will be heard again, so nothing is left to follow but the clock; a jump either
        // way would show as a cut in a picture that was running smoothly.
        const double elapsed = smoother.started ? std::max(now - smoother.last_time, 0.0) : 0.0;
        smoother.started = true;
        smoother.last_time = std::max(now, smoother.last_time);
        smoother.last = std::max(std::min(smoother.last + elapsed, bounds.end), smoother.last);
        return smoother.last;
    }
    if (!std::isfinite(bounds.lower) || !std::isfinite(bounds.upper))
        return smoother.last;
    // How far the clock is ahead of this report: the offset plus this report's lag.
    const double lag = now - bounds.lower;
    if (!smoother.started) {
        start(smoother, lag, bounds.lower, now);
    } else {
        // A clock that went backwards (it should not) gives no time to slew in.
        const double elapsed = std::max(now - smoother.last_time, 0.0);
        smoother.last_time = std::max(now, smoother.last_time);
        // A report lags least when first seen. Seen again it has only grown stale: through a stall,
        // once the lags before it had aged out, it would set the offset between the ones before
        // and after the stall, and slewing off that error takes seconds.
        const bool fresh = bounds.lower != smoother.report;
        smoother.report = bounds.lower;
        const double target = least_lag(smoother, fresh ? lag : NO_LAG, smoother.last_time);
        // With no fresh report in the whole window (the mixer stopped) the offset stays.
        const double gap = std::isinf(target) ? 0.0 : target - smoother.offset;
        if (std::fabs(gap) > MAX_SLEW_GAP)
            smoother.offset = target;
        else {
            const double settle = gap < 0.0 ? SETTLE_BEHIND_SECONDS : SETTLE_AHEAD_SECONDS;
            const double step = std::min(std::fabs(gap) / settle, MAX_SLEW) * elapsed;
            smoother.offset += std::clamp(gap, -step, step);
        }
        smoother.offset = std::min(smoother.offset, lag + MAX_BEHIND);
    }

    double estimate = now - smoother.offset;
    // Ahead of the mixer by a whole period means it stalled: wait for it rather than run on.
    estimate = std::min(estimate, bounds.upper);
    estimate = std::min(estimate, bounds.end);
    estimate = std::max(estimate, smoother.last);
    estimate = std::max(estimate, 0.0);
    smoother.last = estimate;
    return estimate;
}
