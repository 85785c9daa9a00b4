// The noise field's fixed values: lattice points, the cell centre, wrapping, period and table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>

#include "terrain/perlin_noise.h"

namespace {

const PerlinNoise field;

TEST(PerlinNoiseTable, HoldsTheReferencePermutationTwice)
{
    ASSERT_EQ(field.permutation.size(), 512u);
    const int first[] = {151, 160, 137, 91, 90, 15, 131, 13};
    const int last[] = {215, 61, 156, 180};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(field.permutation[i], first[i]);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(field.permutation[252 + i], last[i]);
    EXPECT_EQ(field.permutation[0], 151);
    EXPECT_EQ(field.permutation[255], 180);
    EXPECT_EQ(field.permutation[256], 151);
    EXPECT_EQ(field.permutation[511], 180);

    std::set<int> values(field.permutation.begin(), field.permutation.begin() + 256);
    EXPECT_EQ(values.size(), 256u);
    EXPECT_EQ(*values.begin(), 0);
    EXPECT_EQ(*values.rbegin(), 255);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(field.permutation[i + 256], field.permutation[i]) << "entry " << i;
}

TEST(PerlinNoiseValues, LatticePointsAreOneHalf)
{
    const double points[][3] = {{0, 0, 0}, {1, 2, 3}, {-1, -7, 0}, {255, 256, 1}, {-300, 12, -5}};
    for (const auto& p : points)
        EXPECT_EQ(field.noise(p[0], p[1], p[2]), 0.5) << p[0] << ", " << p[1] << ", " << p[2];
}

TEST(PerlinNoiseValues, CellCentreIsThreeEighths)
{
    EXPECT_EQ(field.noise(0.5, 0.5, 0.5), 0.375);
}

TEST(PerlinNoiseValues, NegativeCoordinatesWrapIntoTheTopCell)
{
    EXPECT_EQ(field.noise(-0.25, 0.0, 0.0), 0.34912109375);  // cell 255, offset 0.75
    EXPECT_EQ(field.noise(0.75, 0.0, 0.0), 0.4267578125);    // cell 0, same offset
    EXPECT_EQ(field.noise(-0.25, 0.0, 0.0), field.noise(255.75, 0.0, 0.0));
}

TEST(PerlinNoiseValues, RepeatsEvery256UnitsAlongEachAxis)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-100.0, 100.0);
    // Coordinates on a 1/1024 grid, so that adding 256 is exact.
    auto on_grid = [&]() { return std::round(coordinate(random) * 1024.0) / 1024.0; };
    for (int n = 0; n < 1000; ++n) {
        const double x = on_grid();
        const double y = on_grid();
        const double z = on_grid();
        const double value = field.noise(x, y, z);
        EXPECT_EQ(field.noise(x + 256.0, y, z), value);
        EXPECT_EQ(field.noise(x, y - 256.0, z), value);
        EXPECT_EQ(field.noise(x, y, z + 512.0), value);
    }
}

TEST(PerlinNoiseValues, ResultIsNotClamped)
{
    const double value = field.noise(118.5077374, 200.4747952, 153.4770710);
    EXPECT_GT(value, 1.0);
    EXPECT_NEAR(value, 1.0015, 0.0005);
}

TEST(PerlinNoiseValues, CoordinatesBeyond32BitsKeepTheirLowBitsAndNaNPassesThrough)
{
    // A plain conversion of such a floor to a 32-bit integer would be undefined; the cell is
    // still the whole number modulo 256.
    const double far = std::ldexp(1.0, 40);  // a multiple of 256
    EXPECT_EQ(field.noise(far + 0.5, 0.5, 0.5), 0.375);
    EXPECT_EQ(field.noise(0.5, -far + 0.5, 0.5), 0.375);
    EXPECT_EQ(field.noise(-far - 0.25, 0.0, 0.0), 0.34912109375);
    EXPECT_EQ(field.noise(3e9 + 0.75, 0.0, 0.0), field.noise(std::fmod(3e9, 256.0) + 0.75, 0.0, 0.0));
    // Not a number in, not a number out, without a fault on the way.
    EXPECT_TRUE(std::isnan(field.noise(std::numeric_limits<double>::quiet_NaN(), 0.5, 0.5)));
    EXPECT_TRUE(std::isnan(field.noise(0.5, std::numeric_limits<double>::infinity(), 0.5)));
}

TEST(PerlinNoiseLayer, MatchesTheFullNoiseOnWholeNumberedLayers)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> coordinate(-160.0, 160.0);
    const double layers[] = {0.0, 1.0, -3.0, 255.0};
    for (double z : layers) {
        const int z_cell = prepare_noise_coordinate(z).cell;
        for (int n = 0; n < 20000; ++n) {
            double x = coordinate(random);
            double y = coordinate(random);
            if (n % 10 == 0)
                x = std::floor(x);  // on a lattice line
            const double expected = field.noise(x, y, z);
            const double layered =
                field.noise_on_layer(prepare_noise_coordinate(x), prepare_noise_coordinate(y), z_cell);
            ASSERT_EQ(std::memcmp(&expected, &layered, sizeof expected), 0)
                << x << ", " << y << ", " << z << ": " << expected << " vs " << layered;
        }
    }
}

}  // namespace
