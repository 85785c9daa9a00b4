#include "tests/terrain/reference_mesh.h"

#include <cstring>

#include "terrain/terrain_mesh_internal.h"

MeshComparison compare_with_literal(const PerlinNoise& noise, const TerrainMesh& mesh, QuadWindow window)
{
    MeshComparison result{};
    for (int i = window.first_column; i <= window.last_column; ++i) {
        for (int k = window.first_row; k <= window.last_row; ++k) {
            for (const auto& offset : QUAD_CORNERS) {
                const float x = offset[0] ? terrain_line_high(i) : terrain_line_low(i);
                const float z = offset[1] ? terrain_line_high(k) : terrain_line_low(k);
                const TerrainCorner literal = compute_terrain_corner(noise, x, z);
                uint32_t a[6], b[6];  // the normal, then the position
                std::memcpy(a, &literal, sizeof a);
                std::memcpy(b, &mesh_corner(mesh, i + offset[0], k + offset[1]), sizeof b);
                for (int v = 0; v < 6; ++v) {
                    result.literal_checksum = result.literal_checksum * 1099511628211ull + a[v];
                    result.cached_checksum = result.cached_checksum * 1099511628211ull + b[v];
                    result.differing_values += a[v] != b[v];
                }
                result.values += 6;
            }
        }
    }
    return result;
}
