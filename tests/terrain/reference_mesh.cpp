#include "reference_mesh.h"

#include <cstring>

namespace {

constexpr uint64_t FNV_OFFSET = 14695981039346656037ull;
constexpr uint64_t FNV_PRIME = 1099511628211ull;
constexpr int RECORDED_VALUES = 8;

uint32_t bits_of(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The values a corner puts into the display list, in call order: normal, texcoord, vertex.
void recorded_values(const TerrainCorner& corner, float values[RECORDED_VALUES])
{
    const float recorded[RECORDED_VALUES] = {corner.normal[0],   corner.normal[1],   corner.normal[2],
                                             corner.position[0], corner.position[2], corner.position[0],
                                             corner.position[1], corner.position[2]};
    std::memcpy(values, recorded, sizeof recorded);
}

uint64_t mix(uint64_t hash, uint32_t bits)
{
    for (int byte = 0; byte < 4; ++byte) {
        hash ^= (bits >> (8 * byte)) & 0xffu;
        hash *= FNV_PRIME;
    }
    return hash;
}

}  // namespace

MeshComparison compare_with_literal(const PerlinNoise& noise, const TerrainMesh& mesh, QuadWindow window)
{
    MeshComparison result{FNV_OFFSET, FNV_OFFSET, 0, 0};
    for (int i = window.first_column; i <= window.last_column; ++i) {
        const float x[2] = {terrain_line_low(i), terrain_line_high(i)};
        for (int k = window.first_row; k <= window.last_row; ++k) {
            const float z[2] = {terrain_line_low(k), terrain_line_high(k)};
            for (const auto& offset : QUAD_CORNERS) {
                float literal[RECORDED_VALUES];
                float cached[RECORDED_VALUES];
                recorded_values(compute_terrain_corner(noise, x[offset[0]], z[offset[1]]), literal);
                recorded_values(mesh_corner(mesh, i + offset[0], k + offset[1]), cached);
                for (int v = 0; v < RECORDED_VALUES; ++v) {
                    result.literal_checksum = mix(result.literal_checksum, bits_of(literal[v]));
                    result.cached_checksum = mix(result.cached_checksum, bits_of(cached[v]));
                    result.differing_values += bits_of(literal[v]) != bits_of(cached[v]);
                }
                result.values += RECORDED_VALUES;
            }
        }
    }
    return result;
}
