// The terrain's numbers without GL, every one exact: noise, the landscape mesh (and the cached mesh
// against the literal one), the box's motion and the coloured lights.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/terrain/reference_mesh.h"
#include "terrain/terrain_scene.h"
#include "terrain/terrain_scene_internal.h"

namespace {

const PerlinNoise field;

TEST(PerlinNoise, GivesTheReferenceValues)
{
    // Lattice points, the cell centre, cells 255 and 0 at one offset (also beyond 32 bits), no clamping.
    const double cases[][4] = {{1, 2, 3, 0.5},
                               {0.5, 0.5, 0.5, 0.375},
                               {-0.25, 0, 0, 0.34912109375},
                               {0.75, 0, 0, 0.4267578125},
                               {-0x1p40 - 0.25, 0, 0, 0.34912109375},
                               {3e9 + 0.75, 0, 0, 0.4267578125},
                               {118.5077374, 200.4747952, 153.4770710, 1.0014928403690402}};
    for (const auto& c : cases)
        EXPECT_EQ(field.noise(c[0], c[1], c[2]), c[3]) << c[0] << ", " << c[1] << ", " << c[2];
    EXPECT_TRUE(std::isnan(field.noise(NAN, 0.5, 0.5)));
    // Each cell along x starts its own hash chain, so every entry of the table shows in this sum.
    double sum = 0.0;
    for (int i = 0; i < 256; ++i)
        sum += field.noise(i + 0.5, i * 0.37, 0.25);
    EXPECT_EQ(sum, 127.83988319139029);
}

TEST(TerrainScene, HeightAtGivesTheFixedHeights)
{
    // The origin and (2, 0), (20, 0): ring 0, base noise at a lattice point, no detail. (0, 12) and
    // (12, 0): ring 1.6 and full detail, every sample at a lattice point. Then a crest corner off the
    // lattice, as the mesh holds it.
    const TerrainScene scene(nullptr);
    const float cases[][3] = {{0, 0, 0.5f},
                              {2, 0, 0.5f},
                              {20, 0, 0.5f},
                              {0, 12, 2.244999885559082f},
                              {12, 0, 2.244999885559082f},
                              {433 * 0.03f, -17 * 0.03f, 2.8343334197998047f}};
    for (const auto& c : cases)
        EXPECT_EQ(scene.height_at(c[0], c[1]), c[2]) << c[0] << ", " << c[1];
}

TEST(TerrainMesh, CornersGiveTheReferenceValuesAndTheCacheChangesNone)
{
    const TerrainMesh mesh = compute_terrain_mesh(field);
    // Grid point i, k, normal, position: the first (detail partly masked), on the crest (full), the last.
    const float corners[][8] = {{-511, -511, 0.08654357492923737f, 0.9471571445465088f, 0.3088745176792145f,
                                 -15.33f, 0.6561086177825928f, -15.33f},
                                {433, -17, -0.26220548152923584f, 0.8972583413124084f, 0.35521212220191956f,
                                 12.99f, 2.8343334197998047f, -0.51f},
                                {512, 512, 0.08071032911539078f, 0.9967082738876343f, -0.007648836821317673f,
                                 15.36f, 0.3396470248699188f, 15.36f}};
    for (const auto& c : corners) {
        const TerrainCorner& seen = mesh_corner(mesh, static_cast<int>(c[0]), static_cast<int>(c[1]));
        for (int v = 0; v < 6; ++v)  // the normal, then the position
            EXPECT_EQ(v < 3 ? seen.normal[v] : seen.position[v - 3], c[2 + v]) << c[0] << ", " << c[1];
    }
    // Windows over the origin, the crest (radius 13 is index 433), a partly masked flank, the grid's ends.
    const QuadWindow windows[] = {{-32, 31, -32, 31},   {401, 464, -32, 31},      {-32, 31, -464, -401},
                                  {250, 313, 250, 313}, {-511, -448, -511, -448}, {448, 511, 448, 511}};
    for (const QuadWindow& w : windows) {
        const MeshComparison result = compare_with_literal(field, mesh, w);
        EXPECT_EQ(result.values, 64 * 64 * 4 * 6);
        EXPECT_EQ(result.differing_values, 0) << "window at " << w.first_column << ", " << w.first_row;
    }
}

TEST(TerrainScene, BoxAndColouredLightsFollowTheRow)
{
    // Row, period scp.a, fall rate scp.b, scale scp.c, height. Rows before 0 lie in earlier periods.
    const float cases[][5] = {
        {1.5f, 8, 1, 2, 0.5f},     {3.5f, 8, 1, 2, 1},     {7.5f, 8, 1, 2, 0},        {11.5f, 8, 1, 2, 1},
        {-2.5f, 8, 1, 2, 0.5f},    {2.5f, 8, 3, 2, 0.75f}, {5.5f, 8, 3, 2, 1.5f},     {7, 8, 3, 2, 0.375f},
        {100.25f, 6, 2, 3, 1.25f}, {3.5f, 0, 1, 2, 0},     {3.5f, -8, 1, 2, 0},       {3.5f, NAN, 1, 2, 0},
        {3.5f, INFINITY, 1, 2, 0}, {3.5f, 8, NAN, 2, 0},   {3.5f, 8, 1, INFINITY, 0}, {NAN, 8, 1, 2, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(box_height(c[0], c[1], c[2], c[3]), c[4]) << "case " << &c - cases;

    // Row 10, a quarter turn: light 0 has moved from +z to +x of the look-at point (5, -2).
    float positions[3][4];
    coloured_light_positions(10.0, 5.0f, -2.0f, positions);
    EXPECT_EQ(std::vector<float>(&positions[0][0], &positions[0][0] + 12),
              (std::vector<float>{8, 1, -2.000000238418579f, 1, 3.5f, 1, -4.598076343536377f, 1,
                                  3.5000007152557373f, 1, 0.5980767011642456f, 1}));
}

}  // namespace
