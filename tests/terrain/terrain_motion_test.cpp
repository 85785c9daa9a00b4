// The terrain scene's arithmetic without GL: the box's height over its period, the three
// coloured lights circling the look-at point, and the scene's height field.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "terrain/terrain_scene.h"

namespace {

TEST(BoxHeight, RisesAndFallsAtTheSameRateOverItsPeriod)
{
    // period 8 rows, fall rate 1, scale 2
    EXPECT_EQ(box_height(1.5, 8.0f, 1.0f, 2.0f), 0.5f);
    EXPECT_EQ(box_height(3.5, 8.0f, 1.0f, 2.0f), 1.0f);  // phase 4: the peak
    EXPECT_EQ(box_height(5.5, 8.0f, 1.0f, 2.0f), 0.5f);
    EXPECT_EQ(box_height(7.5, 8.0f, 1.0f, 2.0f), 0.0f);  // phase 0: resting
    EXPECT_EQ(box_height(15.5, 8.0f, 1.0f, 2.0f), 0.0f);
    EXPECT_EQ(box_height(11.5, 8.0f, 1.0f, 2.0f), 1.0f);  // one period later
}

TEST(BoxHeight, FallsFasterThanItRisesWithALargerFallRate)
{
    // fall rate 3: the peak 1.5 at phase 6, then back to 0 within two rows
    EXPECT_EQ(box_height(5.5, 8.0f, 3.0f, 2.0f), 1.5f);
    EXPECT_EQ(box_height(6.5, 8.0f, 3.0f, 2.0f), 0.75f);
    EXPECT_EQ(box_height(7.0, 8.0f, 3.0f, 2.0f), 0.375f);
    EXPECT_EQ(box_height(7.5, 8.0f, 3.0f, 2.0f), 0.0f);
    EXPECT_EQ(box_height(2.5, 8.0f, 3.0f, 2.0f), 0.75f);  // still rising at 2 / 8 per row
}

TEST(BoxHeight, RestsWhenThePeriodIsNotUsable)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // A track without keys gives a period of 0; the phase would be NaN.
    EXPECT_EQ(box_height(3.5, 0.0f, 1.0f, 2.0f), 0.0f);
    EXPECT_EQ(box_height(3.5, -8.0f, 1.0f, 2.0f), 0.0f);
    EXPECT_EQ(box_height(3.5, nan, 1.0f, 2.0f), 0.0f);
    EXPECT_EQ(box_height(3.5, inf, 1.0f, 2.0f), 0.0f);
    EXPECT_EQ(box_height(3.5, 8.0f, nan, 2.0f), 0.0f);
    EXPECT_EQ(box_height(3.5, 8.0f, 1.0f, inf), 0.0f);
    EXPECT_EQ(box_height(std::numeric_limits<double>::quiet_NaN(), 8.0f, 1.0f, 2.0f), 0.0f);
}

TEST(ColouredLights, StartOnACircleAroundTheLookAtPoint)
{
    float positions[3][4];
    coloured_light_positions(0.0, 0.0f, 0.0f, positions);
    const float expected[3][4] = {{0.0f, 1.0f, 3.0f, 1.0f},
                                  {2.598076105117798f, 1.0f, -1.500000238418579f, 1.0f},
                                  {-2.598076343536377f, 1.0f, -1.499999761581421f, 1.0f}};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(positions[k][c], expected[k][c]) << "light " << k << ", component " << c;

    float moved[3][4];
    coloured_light_positions(0.0, 5.0f, -2.0f, moved);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(moved[k][0], expected[k][0] + 5.0f, 1e-6f);
        EXPECT_NEAR(moved[k][2], expected[k][2] - 2.0f, 1e-6f);
    }
}

TEST(ColouredLights, TurnOnceEveryFortyRowsFromZTowardsX)
{
    float start[3][4];
    float quarter[3][4];
    float full[3][4];
    coloured_light_positions(0.0, 0.0f, 0.0f, start);
    coloured_light_positions(10.0, 0.0f, 0.0f, quarter);
    coloured_light_positions(40.0, 0.0f, 0.0f, full);
    EXPECT_NEAR(quarter[0][0], 3.0f, 1e-5f);  // the red light has moved from +z to +x
    EXPECT_NEAR(quarter[0][2], 0.0f, 1e-5f);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(full[k][0], start[k][0], 1e-5f);
        EXPECT_NEAR(full[k][2], start[k][2], 1e-5f);
    }
}

TEST(TerrainSceneHeight, IsTheSceneOwnHeightField)
{
    // Construction makes no GL calls, so the scene can answer without a window.
    const SyncState state{};
    const TerrainScene scene(&state);
    EXPECT_EQ(scene.height_at(0.0f, 0.0f), 0.5f);
    EXPECT_EQ(scene.height_at(0.0f, 12.0f), 2.244999885559082f);
}

}  // namespace
