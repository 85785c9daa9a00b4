// The landscape computed the long way, as a yardstick for the cached mesh: every quad's four corners
// with five fresh heights each, coordinates formed per quad exactly as recorded.
#pragma once

#include <cstdint>

#include "terrain/terrain_mesh.h"

struct QuadWindow {  // quad indices, inclusive, each within -511..511
    int first_column, last_column, first_row, last_row;
};
constexpr QuadWindow WHOLE_GRID{TERRAIN_FIRST_QUAD, TERRAIN_LAST_QUAD, TERRAIN_FIRST_QUAD, TERRAIN_LAST_QUAD};

// Values compared by bit pattern (a corner's normal and position) and each side's checksum.
struct MeshComparison {
    uint64_t literal_checksum, cached_checksum;
    int64_t values, differing_values;
};

MeshComparison compare_with_literal(const PerlinNoise& noise, const TerrainMesh& mesh, QuadWindow window);
