// The end-of-demo rule and the window's aspect ratio, at the exact values the demo fixes for them.
#include <gtest/gtest.h>

#include <tuple>

#include "shell/demo_state.h"
#include "shell/frame_driver.h"
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
