#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scenes/scene.h"

TEST(SceneChoice, TruncatesTowardZeroWithinTheList)
{
    EXPECT_EQ(choose_scene(0.0, 3), 0);
    EXPECT_EQ(choose_scene(1.0, 3), 1);
    EXPECT_EQ(choose_scene(2.9, 3), 2);
    EXPECT_EQ(choose_scene(-0.5, 3), 0);
}

TEST(SceneChoice, AnythingOutsideTheListChoosesTheFirstScene)
{
    EXPECT_EQ(choose_scene(3.0, 3), 0);
    EXPECT_EQ(choose_scene(-1.0, 3), 0);
    EXPECT_EQ(choose_scene(1e12, 3), 0);
    EXPECT_EQ(choose_scene(-1e12, 3), 0);
    EXPECT_EQ(choose_scene(std::numeric_limits<double>::infinity(), 3), 0);
    EXPECT_EQ(choose_scene(-std::numeric_limits<double>::infinity(), 3), 0);
    EXPECT_EQ(choose_scene(std::nan(""), 3), 0);
    // A list that has not grown yet has only its fallback.
    EXPECT_EQ(choose_scene(1.0, 1), 0);
}
