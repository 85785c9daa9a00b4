// The landscape's noise: deterministic three-dimensional gradient noise with values near 0..1.
//
// No seed and no state beyond the permutation table, so every instance gives the same field,
// which repeats every 256 units along each axis. Results are not clamped: a few points lie
// marginally outside 0..1. The generator only reads its table after construction.
#pragma once

#include <cstdint>
#include <vector>

// One coordinate of a sample point, reduced to its lattice cell (0..255), its offset inside the
// cell (0 <= offset < 1) and the fade weight of that offset. Preparing a coordinate once lets
// many sample points that share it skip the repeated floor and fade.
struct NoiseCoordinate {
    int cell;
    double offset;
    double weight;
};

NoiseCoordinate prepare_noise_coordinate(double value);

class PerlinNoise {
public:
    PerlinNoise();

    // The field at (x, y, z), (n + 1) / 2 for the raw gradient noise n.
    double noise(double x, double y, double z) const;

    // Bit for bit noise(x, y, z) for a whole-numbered z whose cell is z_cell: the z weight is
    // then exactly 0, so only the four corners of the z_cell layer contribute.
    double noise_on_layer(const NoiseCoordinate& x, const NoiseCoordinate& y, int z_cell) const;

    // 512 entries: the 256-entry reference permutation twice, so hashes never need wrapping.
    std::vector<int32_t> permutation;
};
