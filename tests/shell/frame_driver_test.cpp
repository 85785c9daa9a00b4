// The end-of-demo rule and the window's aspect ratio, at the exact values the demo fixes for them;
// where the transport's steps back land.
#include <gtest/gtest.h>

#include <tuple>

#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "shell/transport.h"
#include "tests/support/test_tracks.h"

TEST(EndOfDemo, PastRow1024TheFadeSetsTheVolumeAndTheRunEndsOnceItIsBelowTheSilenceThreshold)
{
    // Row, "fade.a" (0 as without track files), the volume 1 - a (a in single precision), run ends.
    const std::tuple<double, double, float, bool> cases[] = {{1024, 1, 0, false},
                                                             {1024.0000001, 1, 0, true},
                                                             {1030, 0.9999, 1.00016594e-4f, false},
                                                             {1030, 0.99991, 9.0003014e-5f, true},
                                                             {2000, 1.5, -0.5f, true},
                                                             {5000, 0, 1, false}};
    for (const auto& [row, fade, volume, ends] : cases) {
        SCOPED_TRACE(testing::Message() << row << " " << fade);
        clear_demo_tracks(demo_state.sync_state);
        set_constant(demo_state.sync_state, TRACK_FADE_A, fade);
        EXPECT_EQ(fade_out_volume(fade), volume);
        EXPECT_EQ(apply_end_of_demo_rule(row), ends);
    }
}

TEST(WindowAspect, IsWidthOverHeightInSinglePrecisionAndSquareWhileTheHeightIsZero)
{
    const std::tuple<int, int, float> cases[] = {{1024, 768, 1.33333337f}, {1024, 0, 1.0f}, {0, 0, 1.0f}};
    for (const auto& [width, height, aspect] : cases) {
        demo_state.window_width = width;
        demo_state.window_height = height;
        EXPECT_EQ(window_aspect(), aspect) << width << " x " << height;
    }
}

TEST(StepBack, GoesToTheStartPlayingAndOneFurtherWhenPressedAgainWithinABeat)
{
    // Row, step (8: a beat, 32: a bar), where the last step back landed (-1: none), where it lands.
    const double rows[][4] = {
        {96.5, 32, -1, 96}, {96.0, 32, -1, 64},  {95.9995, 32, -1, 64}, {0.3, 32, -1, 0},
        {96.3, 32, 96, 64}, {103.9, 32, 96, 64}, {104.0, 32, 96, 96},   {140.0, 32, 96, 128},
        {12.2, 8, 8, 0},    {3.0, 8, 0, 0},      {17.0, 8, 16, 8},      {95.0, 32, 96, 64},
    };
    for (const auto& r : rows)
        EXPECT_EQ(step_back_row(r[0], r[1], r[2]), r[3]) << r[0] << " by " << r[1] << " after " << r[2];
}
