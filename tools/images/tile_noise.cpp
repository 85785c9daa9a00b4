// Periodic gradient noise and the random source of the picture generator (see tile_noise.h).
#include "tools/images/tile_noise.h"

#include <cmath>

#include "base/angles.h"

namespace {

constexpr float UNIT_FROM_HASH = 1.0f / 4294967296.0f;  // maps a 32-bit hash to 0..1

int wrap(int i, int period)
{
    const int m = i % period;
    return m < 0 ? m + period : m;
}

// Quintic fade: flat first and second derivatives at the lattice, so no creases at cell edges.
float fade(float t)
{
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

float lattice_dot(int ix, int iy, float dx, float dy, int period, uint32_t seed)
{
    const uint32_t h =
        hash3(static_cast<uint32_t>(wrap(ix, period)), static_cast<uint32_t>(wrap(iy, period)), seed);
    const float angle = static_cast<float>(h) * UNIT_FROM_HASH * (2.0f * PI_FLOAT);
    return std::cos(angle) * dx + std::sin(angle) * dy;
}

}  // namespace

uint32_t hash3(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B1u ^ x * 0x85EBCA77u ^ y * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float tile_noise(float x, float y, int period, uint32_t seed)
{
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const float dx = x - fx, dy = y - fy;
    const float n00 = lattice_dot(ix, iy, dx, dy, period, seed);
    const float n10 = lattice_dot(ix + 1, iy, dx - 1.0f, dy, period, seed);
    const float n01 = lattice_dot(ix, iy + 1, dx, dy - 1.0f, period, seed);
    const float n11 = lattice_dot(ix + 1, iy + 1, dx - 1.0f, dy - 1.0f, period, seed);
    const float u = fade(dx), v = fade(dy);
    const float a = n00 + (n10 - n00) * u;
    const float b = n01 + (n11 - n01) * u;
    // Gradient noise of unit gradients stays within about ±0.71; scale it to about ±1.
    return (a + (b - a) * v) * 1.4f;
}

float tile_fbm(float x, float y, int period, int octaves, float gain, uint32_t seed)
{
    float sum = 0.0f, weight = 1.0f, total = 0.0f, scale = 1.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += weight * tile_noise(x * scale, y * scale, period * static_cast<int>(scale),
                                   seed + static_cast<uint32_t>(o));
        total += weight;
        weight *= gain;
        scale *= 2.0f;
    }
    return sum / total;
}

float tile_turbulence(float x, float y, int period, int octaves, float gain, uint32_t seed)
{
    float sum = 0.0f, weight = 1.0f, total = 0.0f, scale = 1.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += weight * std::fabs(tile_noise(x * scale, y * scale, period * static_cast<int>(scale),
                                             seed + static_cast<uint32_t>(o)));
        total += weight;
        weight *= gain;
        scale *= 2.0f;
    }
    return sum / total;
}

uint32_t Random::next()
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

float Random::uniform()
{
    return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f);
}

float Random::range(float lo, float hi)
{
    return lo + (hi - lo) * uniform();
}
