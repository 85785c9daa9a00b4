// The landscape mesh: positions, normals and texture coordinates of the 1023 × 1023 quad grid.
//
// Pure computation, no GL: TerrainScene::init records these values into its display list. Quad
// (i, k), i and k from -511 to 511, spans x from i·0.03 to (i+1)·0.03 and z likewise, so the
// grid covers -15.33 to 15.36 in world units. A corner's texture coordinate is its own (x, z).
// The mesh is held once per grid point (1024 × 1024, 24 MB), since neighbouring quads share
// their corners bit for bit; heights are cached per distinct float coordinate, never per index.
// The grid is computed on every core, in rows; any number of cores gives the same bits.
#pragma once

#include <cstddef>
#include <vector>

#include "terrain/perlin_noise.h"

constexpr int TERRAIN_FIRST_QUAD = -511;
constexpr int TERRAIN_LAST_QUAD = 511;
constexpr int TERRAIN_QUADS_PER_SIDE = TERRAIN_LAST_QUAD - TERRAIN_FIRST_QUAD + 1;  // 1023
constexpr int TERRAIN_POINTS_PER_SIDE = TERRAIN_QUADS_PER_SIDE + 1;                 // 1024
constexpr float TERRAIN_SPACING = 0.03f;  // world units between grid lines
constexpr int QUAD_CORNER_COUNT = 4;

// Grid-point offsets of a quad's corners in recording order: (x0, z0), (x0, z1), (x1, z1),
// (x1, z0), counter-clockwise seen from above.
constexpr int QUAD_CORNERS[QUAD_CORNER_COUNT][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};

struct TerrainCorner {
    float normal[3];    // unit length, y always positive
    float position[3];  // x, height, z; the texture coordinate is (x, z)
};

struct TerrainMesh {
    std::vector<TerrainCorner> corners;  // column-major: [(i + 511) * 1024 + (k + 511)]
};

// The whole grid, with each distinct sample point's height computed once.
TerrainMesh compute_terrain_mesh(const PerlinNoise& noise);

// The corner at grid point (i, k), i and k from -511 to 512.
inline const TerrainCorner& mesh_corner(const TerrainMesh& mesh, int i, int k)
{
    return mesh.corners[static_cast<size_t>(i - TERRAIN_FIRST_QUAD) * TERRAIN_POINTS_PER_SIDE +
                        static_cast<size_t>(k - TERRAIN_FIRST_QUAD)];
}
