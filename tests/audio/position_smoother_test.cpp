// The smooth position against a simulated mixer that moves in stairs, with a perfect clock.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "audio/position_smoother.h"

namespace {

constexpr double PERIOD = 1024.0 / 44100.0;  // OpenAL Soft's usual mixing period
constexpr double LATENCY = 2.0 * PERIOD;
constexpr double FIRST_MIX = 0.007;  // play happens between two mixes
constexpr double QUERY_STEP = 0.002;
constexpr double END = 2.0;

// Mixer offset (seconds of audio mixed) at time t when mix k happens at mix_time(k).
double mixed_at(double t, const std::function<double(int)>& mix_time)
{
    int k = 0;
    while (mix_time(k) <= t)
        ++k;
    return k * PERIOD;
}

PositionBounds bounds_at(double t, const std::function<double(int)>& mix_time)
{
    const double lower = mixed_at(t, mix_time) - LATENCY;
    return {lower, std::min(lower + PERIOD, END), END};
}

double on_time(int k)
{
    return FIRST_MIX + k * PERIOD;
}

struct SimulatedRun {
    double largest_step = 0.0;
    double largest_error_after_settling = 0.0;
    bool went_backwards = false;
    bool ran_ahead_of_mixer = false;
    double final_position = 0.0;
};

SimulatedRun simulate(const std::function<double(int)>& mix_time, double settle_after)
{
    PositionSmoother smoother;
    SimulatedRun run;
    double previous = 0.0;
    for (double t = 0.0; t < END + 0.5; t += QUERY_STEP) {
        const PositionBounds bounds = bounds_at(t, mix_time);
        const double position = smooth_position(smoother, bounds, t);
        if (position < previous)
            run.went_backwards = true;
        if (position > bounds.upper + 1e-12 && position > 0.0)
            run.ran_ahead_of_mixer = true;
        run.largest_step = std::max(run.largest_step, position - previous);
        const double truth = std::min(std::max(t - FIRST_MIX + PERIOD - LATENCY, 0.0), END);
        if (t > settle_after)
            run.largest_error_after_settling =
                std::max(run.largest_error_after_settling, std::fabs(position - truth));
        previous = position;
        run.final_position = position;
    }
    return run;
}

}  // namespace

TEST(PositionSmoother, FollowsTheClockBetweenMixerStairs)
{
    const SimulatedRun run = simulate(on_time, 0.2);
    EXPECT_FALSE(run.went_backwards);
    EXPECT_FALSE(run.ran_ahead_of_mixer);
    EXPECT_LE(run.largest_step, QUERY_STEP + 1e-9) << "stairs of " << PERIOD << " s must not show";
    EXPECT_LE(run.largest_error_after_settling, QUERY_STEP + 1e-9);
    EXPECT_EQ(run.final_position, END);
}

TEST(PositionSmoother, LateMixesAreAbsorbedWithoutJumps)
{
    // Every 20th mix comes 15 ms late and the next one catches up, as a busy machine does.
    const auto late = [](int k) { return on_time(k) + (k % 20 == 10 ? 0.015 : 0.0); };
    const SimulatedRun run = simulate(late, 0.2);
    EXPECT_FALSE(run.went_backwards);
    EXPECT_FALSE(run.ran_ahead_of_mixer);
    EXPECT_LE(run.largest_step, 2.0 * QUERY_STEP + 1e-9) << "catching up runs at most twice the clock";
    EXPECT_LE(run.largest_error_after_settling, 0.016);
    EXPECT_EQ(run.final_position, END);
}

TEST(PositionSmoother, KeepsItsPromisesWhenTheMixerMisbehaves)
{
    PositionSmoother smoother;
    EXPECT_EQ(smooth_position(smoother, {-LATENCY, -LATENCY + PERIOD, END}, 10.0), 0.0)
        << "nothing audible yet";
    EXPECT_NEAR(smooth_position(smoother, {0.5, 0.5 + PERIOD, END}, 10.1), 0.5, 1e-12)
        << "a large gap is jumped";
    // The mixer reports less than before (latency grew): hold, never go back.
    EXPECT_NEAR(smooth_position(smoother, {0.3, 0.3 + PERIOD, END}, 10.101), 0.5, 1e-12);
    // A clock that steps back changes nothing.
    EXPECT_NEAR(smooth_position(smoother, {0.5, 0.5 + PERIOD, END}, 9.0), 0.5, 1e-12);
    // Garbage readings keep the last position.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_NEAR(smooth_position(smoother, {nan, 1.0, END}, 9.01), 0.5, 1e-12);
    EXPECT_NEAR(smooth_position(smoother, {0.5, inf, END}, 9.02), 0.5, 1e-12);
    EXPECT_NEAR(smooth_position(smoother, {0.5, 0.6, END}, nan), 0.5, 1e-12);
    // The end is a hard stop, reached exactly.
    EXPECT_EQ(smooth_position(smoother, {END - 0.001, END, END}, 30.0), END);
    EXPECT_EQ(smooth_position(smoother, {END, END, END}, 40.0), END);
}
