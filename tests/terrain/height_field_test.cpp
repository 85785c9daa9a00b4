// The height field's fixed values and the agreement of its cheaper prepared-coordinate path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "terrain/height_field.h"

namespace {

const PerlinNoise field;

TEST(TerrainHeight, BasinLatticePointsLieAtOneHalf)
{
    EXPECT_EQ(terrain_height(field, 0.0f, 0.0f), 0.5f);
    EXPECT_EQ(terrain_height(field, 2.0f, 0.0f), 0.5f);
    EXPECT_EQ(terrain_height(field, 20.0f, 0.0f), 0.5f);  // beyond the ridge the ring cancels
}

TEST(TerrainHeight, RidgeAtRadiusTwelveCarriesTheFullDetail)
{
    // ring 1.6 + relief 0.5, mask 1, detail 0.04·0.5 + 0.25·0.5
    EXPECT_EQ(terrain_height(field, 0.0f, 12.0f), 2.244999885559082f);
    EXPECT_EQ(terrain_height(field, 12.0f, 0.0f), 2.244999885559082f);
}

TEST(TerrainHeight, PreparedCoordinatesGiveTheSameBits)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> coordinate(-16.0f, 16.0f);
    int masked_off = 0;
    for (int n = 0; n < 100000; ++n) {
        const float x = coordinate(random);
        const float z = coordinate(random);
        const float expected = terrain_height(field, x, z);
        const float prepared =
            terrain_height(field, prepare_ground_coordinate(x), prepare_ground_coordinate(z));
        ASSERT_EQ(std::memcmp(&expected, &prepared, sizeof expected), 0)
            << x << ", " << z << ": " << expected << " vs " << prepared;
        masked_off += expected < 0.5f;
    }
    // Both the skipped-detail path and the full path were exercised.
    EXPECT_GT(masked_off, 1000);
    EXPECT_LT(masked_off, 99000);
}

}  // namespace
