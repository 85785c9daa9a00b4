#include "terrain/terrain_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <pthread.h>
#include <unistd.h>

#include "terrain/height_field.h"
#include "terrain/terrain_mesh_internal.h"

namespace {

constexpr float TANGENT_RUN = 0.06f;  // twice the spacing: from left to right neighbour
constexpr float TANGENT_RUN_SQUARED = 0.0036f;

// 1 / sqrt(sum): the sum as given in single precision, the root in double, rounded to single,
// the reciprocal in single.
float inverse_length(float squared_sum)
{
    return 1.0f / static_cast<float>(std::sqrt(static_cast<double>(squared_sum)));
}

uint32_t bits_of(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Orders floats by value and tells a -0 from a +0, so that the table below keys heights by
// the exact coordinate that would have been passed.
bool coordinate_before(float a, float b)
{
    if (a != b)
        return a < b;
    return bits_of(a) < bits_of(b);
}

bool same_coordinate(float a, float b)
{
    return bits_of(a) == bits_of(b);
}

// Every distinct float that a corner or one of its neighbours can have along one axis: the
// grid lines and the lines ± 0.03. The neighbours mostly fall between grid lines, so this is
// about 1.6 times the grid, not 3 times.
struct CoordinateAxis {
    std::vector<float> values;       // sorted, each exact coordinate once
    std::vector<int> line_slot;      // per grid point: index of the line itself in values
    std::vector<int> lower_slot;     // per grid point: index of line - 0.03
    std::vector<int> upper_slot;     // per grid point: index of line + 0.03
    std::vector<int> grid_point_of;  // per value: its grid point, or -1 for an in-between value
};

int slot_of(const std::vector<float>& values, float value)
{
    return static_cast<int>(std::lower_bound(values.begin(), values.end(), value, coordinate_before) -
                            values.begin());
}

// Runs body(first, last) over [0, count) in one contiguous part per core, the first part on the
// calling thread. Every element is computed by the same code whichever thread takes it, so the
// results are the same bit for bit as on one core. A helper thread that cannot be started leaves
// its part to the calling thread.
template <typename Body> void on_every_core(size_t count, const Body& body)
{
    struct Part {
        const Body* body;
        size_t first, last;
        pthread_t thread;
        bool started;
    };
    const size_t cores = static_cast<size_t>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    std::vector<Part> parts(std::min(cores, std::max<size_t>(count, 1)));
    const auto run = [](void* part) -> void* {
        const Part& p = *static_cast<Part*>(part);
        (*p.body)(p.first, p.last);
        return nullptr;
    };
    for (size_t n = 0; n < parts.size(); ++n) {
        parts[n] = {&body, count * n / parts.size(), count * (n + 1) / parts.size(), {}, false};
        if (n > 0)
            parts[n].started = pthread_create(&parts[n].thread, nullptr, run, &parts[n]) == 0;
    }
    body(parts[0].first, parts[0].last);
    for (Part& part : parts) {
        if (part.started)
            pthread_join(part.thread, nullptr);
        else if (&part != &parts[0])
            body(part.first, part.last);
    }
}

CoordinateAxis build_axis(const std::vector<float>& lines)
{
    CoordinateAxis axis;
    for (float line : lines) {
        axis.values.push_back(line);
        axis.values.push_back(line - TERRAIN_SPACING);
        axis.values.push_back(line + TERRAIN_SPACING);
    }
    std::sort(axis.values.begin(), axis.values.end(), coordinate_before);
    axis.values.erase(std::unique(axis.values.begin(), axis.values.end(), same_coordinate),
                      axis.values.end());

    axis.grid_point_of.assign(axis.values.size(), -1);
    for (size_t j = 0; j < lines.size(); ++j) {
        const int slot = slot_of(axis.values, lines[j]);
        axis.line_slot.push_back(slot);
        axis.lower_slot.push_back(slot_of(axis.values, lines[j] - TERRAIN_SPACING));
        axis.upper_slot.push_back(slot_of(axis.values, lines[j] + TERRAIN_SPACING));
        axis.grid_point_of[static_cast<size_t>(slot)] = static_cast<int>(j);
    }
    return axis;
}

}  // namespace

float terrain_line_low(int index)
{
    return static_cast<float>(index) * TERRAIN_SPACING;
}

float terrain_line_high(int index)
{
    return static_cast<float>((static_cast<double>(static_cast<float>(index)) + 1.0) *
                              static_cast<double>(TERRAIN_SPACING));
}

void terrain_normal(float left, float right, float back, float front, float normal[3])
{
    const float dx = right - left;
    const float dz = front - back;

    const float along_x = inverse_length(TANGENT_RUN_SQUARED + dx * dx);
    const float ax = TANGENT_RUN * along_x;
    const float ay = dx * along_x;
    const float az = 0.0f * along_x;

    const float along_z = inverse_length(TANGENT_RUN_SQUARED + dz * dz);
    const float bx = 0.0f * along_z;
    const float by = dz * along_z;
    const float bz = TANGENT_RUN * along_z;

    // (z tangent) × (x tangent) points up for every slope.
    const float nx = by * az - bz * ay;
    const float ny = bz * ax - bx * az;
    const float nz = bx * ay - by * ax;
    const float unit = inverse_length(ny * ny + nx * nx + nz * nz);
    normal[0] = nx * unit;
    normal[1] = ny * unit;
    normal[2] = nz * unit;
}

TerrainCorner compute_terrain_corner(const PerlinNoise& noise, float x, float z)
{
    const float left = terrain_height(noise, x - TERRAIN_SPACING, z);
    const float right = terrain_height(noise, x + TERRAIN_SPACING, z);
    const float back = terrain_height(noise, x, z - TERRAIN_SPACING);
    const float front = terrain_height(noise, x, z + TERRAIN_SPACING);
    TerrainCorner corner;
    terrain_normal(left, right, back, front, corner.normal);
    corner.position[0] = x;
    corner.position[1] = terrain_height(noise, x, z);
    corner.position[2] = z;
    return corner;
}

TerrainMesh compute_terrain_mesh(const PerlinNoise& noise)
{
    constexpr size_t points = TERRAIN_POINTS_PER_SIDE;
    std::vector<float> lines(points);
    for (size_t j = 0; j < points; ++j)
        lines[j] = terrain_line_low(TERRAIN_FIRST_QUAD + static_cast<int>(j));

    // Both axes run over the same lines, so one axis table serves x and z.
    const CoordinateAxis axis = build_axis(lines);
    std::vector<GroundCoordinate> prepared;
    prepared.reserve(axis.values.size());
    for (float value : axis.values)
        prepared.push_back(prepare_ground_coordinate(value));

    // Heights at (any axis value, grid line z): the corners themselves and their left and right
    // neighbours.
    std::vector<float> across_x(axis.values.size() * points);
    on_every_core(axis.values.size(), [&](size_t first, size_t last) {
        for (size_t a = first; a < last; ++a)
            for (size_t k = 0; k < points; ++k)
                across_x[a * points + k] =
                    terrain_height(noise, prepared[a], prepared[static_cast<size_t>(axis.line_slot[k])]);
    });

    // Heights at (grid line x, in-between z): the back and front neighbours not on a grid line.
    std::vector<int> between_slot(axis.values.size(), -1);
    std::vector<size_t> between_values;
    for (size_t b = 0; b < axis.values.size(); ++b) {
        if (axis.grid_point_of[b] < 0) {
            between_slot[b] = static_cast<int>(between_values.size());
            between_values.push_back(b);
        }
    }
    std::vector<float> across_z(points * between_values.size());
    on_every_core(points, [&](size_t first, size_t last) {
        for (size_t i = first; i < last; ++i) {
            const GroundCoordinate& x = prepared[static_cast<size_t>(axis.line_slot[i])];
            for (size_t b = 0; b < between_values.size(); ++b)
                across_z[i * between_values.size() + b] =
                    terrain_height(noise, x, prepared[between_values[b]]);
        }
    });

    auto height_on_x_line = [&](size_t i, int z_slot) {
        const int k = axis.grid_point_of[static_cast<size_t>(z_slot)];
        if (k >= 0)
            return across_x[static_cast<size_t>(axis.line_slot[i]) * points + static_cast<size_t>(k)];
        return across_z[i * between_values.size() +
                        static_cast<size_t>(between_slot[static_cast<size_t>(z_slot)])];
    };

    TerrainMesh mesh;
    mesh.corners.resize(points * points);
    on_every_core(points, [&](size_t first, size_t last) {
        for (size_t i = first; i < last; ++i) {
            for (size_t k = 0; k < points; ++k) {
                TerrainCorner& corner = mesh.corners[i * points + k];
                const float left = across_x[static_cast<size_t>(axis.lower_slot[i]) * points + k];
                const float right = across_x[static_cast<size_t>(axis.upper_slot[i]) * points + k];
                const float back = height_on_x_line(i, axis.lower_slot[k]);
                const float front = height_on_x_line(i, axis.upper_slot[k]);
                terrain_normal(left, right, back, front, corner.normal);
                corner.position[0] = lines[i];
                corner.position[1] = across_x[static_cast<size_t>(axis.line_slot[i]) * points + k];
                corner.position[2] = lines[k];
            }
        }
    });
    return mesh;
}
