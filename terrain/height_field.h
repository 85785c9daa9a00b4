// The landscape's height field: one surface height y for every ground point (x, z), in world units.
//
// A basin of gentle noise, a ring-shaped ridge cresting 13 units from the origin, plain noise again
// beyond 17 units, and fine detail only where the ground is high. Every rounding step is fixed, so
// equal arguments give bit-identical heights (neighbouring mesh quads rely on it). No clamping:
// heights stay near 0..3.7. The noise generator is borrowed, never owned.
#pragma once

#include "terrain/perlin_noise.h"

// The height at (x, z), computed step by step with three noise samples.
float terrain_height(const PerlinNoise& noise, float x, float z);

// A ground coordinate prepared for the three noise samples (scales 0.5, 2 and 10), so that a
// table of heights over shared coordinates does the floors and fades once per coordinate.
struct GroundCoordinate {
    float value;
    NoiseCoordinate relief;  // 0.5 × value
    NoiseCoordinate medium;  // 2 × value
    NoiseCoordinate fine;    // 10 × value
};

GroundCoordinate prepare_ground_coordinate(float value);

// Bit for bit terrain_height(noise, x.value, z.value), cheaper: it skips the detail samples where
// the detail mask is 0, since they then add exactly nothing.
float terrain_height(const PerlinNoise& noise, const GroundCoordinate& x, const GroundCoordinate& z);
