// The landscape mesh: grid lines, normals, shared corners, and the cached mesh against the
// literal per-quad computation on windows of the grid.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "reference_mesh.h"
#include "terrain/height_field.h"
#include "terrain/terrain_mesh.h"

namespace {

bool same_bits(const float* a, const float* b, size_t count)
{
    return std::memcmp(a, b, count * sizeof(float)) == 0;
}

class TerrainMeshTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        field = new PerlinNoise();
        mesh = new TerrainMesh(compute_terrain_mesh(*field));
    }

    static const PerlinNoise* field;
    static const TerrainMesh* mesh;
};

const PerlinNoise* TerrainMeshTest::field = nullptr;
const TerrainMesh* TerrainMeshTest::mesh = nullptr;

TEST(TerrainGrid, UpperLineOfAQuadIsTheNextQuadsLowerLine)
{
    for (int i = TERRAIN_FIRST_QUAD; i <= TERRAIN_LAST_QUAD; ++i)
        EXPECT_EQ(terrain_line_high(i), terrain_line_low(i + 1)) << "quad " << i;
    EXPECT_EQ(terrain_line_low(TERRAIN_FIRST_QUAD), -511.0f * 0.03f);
    EXPECT_FLOAT_EQ(terrain_line_low(TERRAIN_FIRST_QUAD), -15.33f);
    EXPECT_FLOAT_EQ(terrain_line_high(TERRAIN_LAST_QUAD), 15.36f);
}

TEST(TerrainNormal, FlatGroundPointsStraightUp)
{
    const float heights[] = {0.0f, 0.5f, 2.244999885559082f, -1.0f};
    for (float h : heights) {
        float normal[3];
        terrain_normal(h, h, h, h, normal);
        EXPECT_EQ(normal[0], 0.0f);
        EXPECT_EQ(normal[1], 1.0f);
        EXPECT_EQ(normal[2], 0.0f);
    }
}

TEST(TerrainNormal, FortyFiveDegreeSlopesTiltHalfway)
{
    float normal[3];
    terrain_normal(0.0f, 0.06f, 0.5f, 0.5f, normal);  // rising towards +x
    EXPECT_EQ(normal[0], -0.7071068286895752f);
    EXPECT_EQ(normal[1], 0.7071068286895752f);
    EXPECT_EQ(normal[2], 0.0f);

    terrain_normal(0.5f, 0.5f, 0.06f, 0.0f, normal);  // falling towards +z
    EXPECT_EQ(normal[0], 0.0f);
    EXPECT_EQ(normal[1], 0.7071068286895752f);
    EXPECT_EQ(normal[2], 0.7071068286895752f);
}

TEST_F(TerrainMeshTest, FirstCornerIsTheGridsLowCorner)
{
    const TerrainCorner& first = mesh_corner(*mesh, TERRAIN_FIRST_QUAD, TERRAIN_FIRST_QUAD);
    const float edge = -511.0f * 0.03f;  // the texture coordinate too: s = t = x = z
    EXPECT_EQ(first.position[0], edge);
    EXPECT_EQ(first.position[2], edge);
    EXPECT_EQ(first.position[1], terrain_height(*field, edge, edge));
}

TEST_F(TerrainMeshTest, OriginCornerTakesItsNormalFromItsFourNeighbours)
{
    const TerrainCorner& origin = mesh_corner(*mesh, 0, 0);
    EXPECT_EQ(origin.position[0], 0.0f);
    EXPECT_EQ(origin.position[1], 0.5f);
    EXPECT_EQ(origin.position[2], 0.0f);
    float normal[3];
    terrain_normal(terrain_height(*field, -0.03f, 0.0f), terrain_height(*field, 0.03f, 0.0f),
                   terrain_height(*field, 0.0f, -0.03f), terrain_height(*field, 0.0f, 0.03f), normal);
    EXPECT_TRUE(same_bits(origin.normal, normal, 3));
}

TEST_F(TerrainMeshTest, EveryNormalIsUprightUnitLength)
{
    float lowest_y = 1.0f;
    for (const TerrainCorner& corner : mesh->corners) {
        ASSERT_GT(corner.normal[1], 0.0f) << corner.position[0] << ", " << corner.position[2];
        const float length = corner.normal[0] * corner.normal[0] + corner.normal[1] * corner.normal[1] +
                             corner.normal[2] * corner.normal[2];
        ASSERT_NEAR(length, 1.0f, 1e-5f);
        lowest_y = std::min(lowest_y, corner.normal[1]);
    }
    // The ridge's flanks are real slopes, so this covered more than gentle ground.
    EXPECT_LT(lowest_y, 0.6f);
}

TEST_F(TerrainMeshTest, SharedCornerIsIdenticalInEachOfItsQuads)
{
    // Quads to the left/back reach a corner through their upper line, the others through their
    // lower line; the literal computation must land on the same bits either way.
    const int corners[][2] = {{0, 0}, {-510, 37}, {433, 0}, {-300, -301}, {511, 511}, {250, -433}};
    for (const auto& c : corners) {
        const int i = c[0];
        const int k = c[1];
        const TerrainCorner reference = compute_terrain_corner(*field, terrain_line_low(i), terrain_line_low(k));
        const float xs[] = {terrain_line_low(i), terrain_line_high(i - 1)};
        const float zs[] = {terrain_line_low(k), terrain_line_high(k - 1)};
        for (float x : xs) {
            for (float z : zs) {
                const TerrainCorner seen = compute_terrain_corner(*field, x, z);
                EXPECT_TRUE(same_bits(seen.normal, reference.normal, 3)) << i << ", " << k;
                EXPECT_TRUE(same_bits(seen.position, reference.position, 3)) << i << ", " << k;
            }
        }
        const TerrainCorner& cached = mesh_corner(*mesh, i, k);
        EXPECT_TRUE(same_bits(cached.normal, reference.normal, 3)) << i << ", " << k;
        EXPECT_TRUE(same_bits(cached.position, reference.position, 3)) << i << ", " << k;
    }
}

TEST_F(TerrainMeshTest, CachedMeshMatchesTheLiteralComputation)
{
    // The whole grid is compared by the benchmark; here windows over the origin, the crest of
    // the ridge (radius 13 is index 433), the flanks, the outer plain and the grid's edges.
    const QuadWindow windows[] = {
        {-32, 31, -32, 31},                   // origin
        {401, 464, -32, 31},                  // crest along +x
        {-32, 31, -464, -401},                // crest along -z
        {250, 313, 250, 313},                 // flank, partly detailed ground
        {TERRAIN_FIRST_QUAD, -448, TERRAIN_FIRST_QUAD, -448},  // outer plain, first quad
        {448, TERRAIN_LAST_QUAD, 448, TERRAIN_LAST_QUAD},      // last quad
    };
    for (const QuadWindow& window : windows) {
        const MeshComparison result = compare_with_literal(*field, *mesh, window);
        EXPECT_EQ(result.values, 64 * 64 * 4 * 8);
        EXPECT_EQ(result.differing_values, 0) << "window at " << window.first_column << ", " << window.first_row;
        EXPECT_EQ(result.literal_checksum, result.cached_checksum);
    }
}

}  // namespace
