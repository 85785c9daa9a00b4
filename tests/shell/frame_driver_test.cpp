#include <gtest/gtest.h>

#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "test_tracks.h"

namespace {

void set_fade_alpha(double a)
{
    clear_demo_tracks(demo_state.sync_state);
    set_constant(demo_state.sync_state, TRACK_FADE_A, a);
}

}  // namespace

TEST(EndOfDemo, NothingHappensUpToTheFadeOutRow)
{
    set_fade_alpha(1.0);
    EXPECT_FALSE(apply_end_of_demo_rule(0.0));
    EXPECT_FALSE(apply_end_of_demo_rule(1024.0));
    EXPECT_TRUE(apply_end_of_demo_rule(1024.0000001));
}

TEST(EndOfDemo, EndsOnlyOnceTheSinglePrecisionVolumeIsBelowTheThreshold)
{
    EXPECT_EQ(fade_out_volume(1.0), 0.0f);
    EXPECT_GT(fade_out_volume(0.9999), 0.0001f);  // about 0.00010002 after rounding
    set_fade_alpha(0.9999);
    EXPECT_FALSE(apply_end_of_demo_rule(1030.0));
    set_fade_alpha(0.99991);
    EXPECT_TRUE(apply_end_of_demo_rule(1030.0));
    set_fade_alpha(0.0);
    EXPECT_FALSE(apply_end_of_demo_rule(1030.0));
}

TEST(EndOfDemo, AFadeAboveOneGivesANegativeVolumeAndEnds)
{
    EXPECT_LT(fade_out_volume(1.5), 0.0f);
    set_fade_alpha(1.5);
    EXPECT_TRUE(apply_end_of_demo_rule(2000.0));
}

TEST(EndOfDemo, WithoutAnyTrackTheRunNeverEndsByItself)
{
    clear_demo_tracks(demo_state.sync_state);
    EXPECT_FALSE(apply_end_of_demo_rule(5000.0));
}

TEST(WindowAspect, FollowsTheLastReshapeAndStaysFiniteWhenMinimised)
{
    demo_state.window_width = 1024;
    demo_state.window_height = 768;
    EXPECT_EQ(window_aspect(), 1024.0f / 768.0f);
    demo_state.window_height = 0;
    EXPECT_EQ(window_aspect(), 1.0f);
    demo_state.window_width = 0;
    demo_state.window_height = 0;
    EXPECT_EQ(window_aspect(), 1.0f);
}
