#include "terrain/perlin_noise.h"

#include <cmath>

namespace {

constexpr int TABLE_SIZE = 256;
constexpr int CELL_MASK = 255;

// The reference permutation of improved gradient noise: every integer 0..255 once.
// clang-format off
constexpr int32_t REFERENCE_PERMUTATION[TABLE_SIZE] = {
    151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225,
    140, 36,  103, 30,  69,  142, 8,   99,  37,  240, 21,  10,  23,  190, 6,   148,
    247, 120, 234, 75,  0,   26,  197, 62,  94,  252, 219, 203, 117, 35,  11,  32,
    57,  177, 33,  88,  237, 149, 56,  87,  174, 20,  125, 136, 171, 168, 68,  175,
    74,  165, 71,  134, 139, 48,  27,  166, 77,  146, 158, 231, 83,  111, 229, 122,
    60,  211, 133, 230, 220, 105, 92,  41,  55,  46,  245, 40,  244, 102, 143, 54,
    65,  25,  63,  161, 1,   216, 80,  73,  209, 76,  132, 187, 208, 89,  18,  169,
    200, 196, 135, 130, 116, 188, 159, 86,  164, 100, 109, 198, 173, 186, 3,   64,
    52,  217, 226, 250, 124, 123, 5,   202, 38,  147, 118, 126, 255, 82,  85,  212,
    207, 206, 59,  227, 47,  16,  58,  17,  182, 189, 28,  42,  223, 183, 170, 213,
    119, 248, 152, 2,   44,  154, 163, 70,  221, 153, 101, 155, 167, 43,  172, 9,
    129, 22,  39,  253, 19,  98,  108, 110, 79,  113, 224, 232, 178, 185, 112, 104,
    218, 246, 97,  228, 251, 34,  242, 193, 238, 210, 144, 12,  191, 179, 162, 241,
    81,  51,  145, 235, 249, 14,  239, 107, 49,  192, 214, 31,  181, 199, 106, 157,
    184, 84,  204, 176, 115, 121, 50,  45,  127, 4,   150, 254, 138, 236, 205, 93,
    222, 114, 67,  29,  24,  72,  243, 141, 128, 195, 78,  66,  215, 61,  156, 180,
};
// clang-format on

// The low 8 bits of a floored coordinate. Outside the 32-bit range, where a plain conversion
// would be undefined, the remainder modulo 256 gives the same bits the wrap would; a value that
// is not finite picks cell 0 (the sample is not a number then anyway).
int lattice_cell(double floored)
{
    if (floored >= -2147483648.0 && floored < 2147483648.0)
        return static_cast<int32_t>(floored) & CELL_MASK;
    if (!std::isfinite(floored))
        return 0;
    double remainder = std::fmod(floored, static_cast<double>(TABLE_SIZE));
    if (remainder < 0.0)
        remainder += TABLE_SIZE;
    return static_cast<int>(remainder);
}

double fade(double t)
{
    return t * t * t * ((t * 6.0 - 15.0) * t + 10.0);
}

double lerp(double t, double a, double b)
{
    return a + t * (b - a);
}

// The dot product of the offset (a, b, c) with one of twelve cube edge directions.
double grad(int hash, double a, double b, double c)
{
    const int h = hash & 15;
    const double s = h < 8 ? a : b;
    const double t = h < 4 ? b : (h == 12 || h == 14 ? a : c);
    return ((h & 1) == 0 ? s : -s) + ((h & 2) == 0 ? t : -t);
}

}  // namespace

NoiseCoordinate prepare_noise_coordinate(double value)
{
    const double floored = std::floor(value);
    const double offset = value - floored;
    return NoiseCoordinate{lattice_cell(floored), offset, fade(offset)};
}

PerlinNoise::PerlinNoise() : permutation(REFERENCE_PERMUTATION, REFERENCE_PERMUTATION + TABLE_SIZE)
{
    permutation.insert(permutation.end(), REFERENCE_PERMUTATION, REFERENCE_PERMUTATION + TABLE_SIZE);
}

double PerlinNoise::noise(double x, double y, double z) const
{
    const NoiseCoordinate cx = prepare_noise_coordinate(x);
    const NoiseCoordinate cy = prepare_noise_coordinate(y);
    const NoiseCoordinate cz = prepare_noise_coordinate(z);
    const int32_t* p = permutation.data();
    const double fx = cx.offset;
    const double fy = cy.offset;
    const double fz = cz.offset;

    const int a = p[cx.cell] + cy.cell;
    const int aa = p[a] + cz.cell;
    const int ab = p[a + 1] + cz.cell;
    const int b = p[cx.cell + 1] + cy.cell;
    const int ba = p[b] + cz.cell;
    const int bb = p[b + 1] + cz.cell;

    const double near_layer =
        lerp(cy.weight, lerp(cx.weight, grad(p[aa], fx, fy, fz), grad(p[ba], fx - 1, fy, fz)),
             lerp(cx.weight, grad(p[ab], fx, fy - 1, fz), grad(p[bb], fx - 1, fy - 1, fz)));
    const double far_layer =
        lerp(cy.weight, lerp(cx.weight, grad(p[aa + 1], fx, fy, fz - 1), grad(p[ba + 1], fx - 1, fy, fz - 1)),
             lerp(cx.weight, grad(p[ab + 1], fx, fy - 1, fz - 1), grad(p[bb + 1], fx - 1, fy - 1, fz - 1)));
    const double n = lerp(cz.weight, near_layer, far_layer);
    return (n + 1.0) * 0.5;
}

double PerlinNoise::noise_on_layer(const NoiseCoordinate& x, const NoiseCoordinate& y, int z_cell) const
{
    // With a z offset of +0 the z weight is +0, so the z interpolation returns the near layer
    // unchanged (up to the sign of a zero, which the final +1 removes).
    const int32_t* p = permutation.data();
    const double fx = x.offset;
    const double fy = y.offset;
    constexpr double fz = 0.0;

    const int a = p[x.cell] + y.cell;
    const int aa = p[a] + z_cell;
    const int ab = p[a + 1] + z_cell;
    const int b = p[x.cell + 1] + y.cell;
    const int ba = p[b] + z_cell;
    const int bb = p[b + 1] + z_cell;

    const double n = lerp(y.weight, lerp(x.weight, grad(p[aa], fx, fy, fz), grad(p[ba], fx - 1, fy, fz)),
                          lerp(x.weight, grad(p[ab], fx, fy - 1, fz), grad(p[bb], fx - 1, fy - 1, fz)));
    return (n + 1.0) * 0.5;
}
