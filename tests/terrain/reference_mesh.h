// The landscape computed the long way, as a yardstick for the cached mesh: every quad's four
// corners with five fresh heights each, coordinates formed per quad exactly as recorded.
#pragma once

#include <cstdint>

#include "terrain/perlin_noise.h"
#include "terrain/terrain_mesh.h"

// Quad indices, inclusive, each within -511..511.
struct QuadWindow {
    int first_column;
    int last_column;
    int first_row;
    int last_row;
};

constexpr QuadWindow WHOLE_GRID{TERRAIN_FIRST_QUAD, TERRAIN_LAST_QUAD, TERRAIN_FIRST_QUAD,
                                TERRAIN_LAST_QUAD};

struct MeshComparison {
    uint64_t literal_checksum;  // over every recorded value, in recording order
    uint64_t cached_checksum;
    int64_t values;             // values compared: 8 per corner (normal, texcoord, vertex)
    int64_t differing_values;   // compared by bit pattern
};

// Walks the window quad by quad, computing each corner literally, and compares it with the
// cached mesh's corner. The cost is the literal computation; the comparison is a few loads.
MeshComparison compare_with_literal(const PerlinNoise& noise, const TerrainMesh& mesh, QuadWindow window);
