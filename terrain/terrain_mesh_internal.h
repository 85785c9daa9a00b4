// Internal to terrain/ and its tests; may change at any time. The literal steps of one mesh
// corner, which the cached computation of the whole grid must reproduce bit for bit.
#pragma once

#include "terrain/perlin_noise.h"
#include "terrain/terrain_mesh.h"

// The lower and upper grid-line coordinate of quad index i along either axis. The upper one is
// formed in double precision, yet equals terrain_line_low(i + 1) bit for bit.
float terrain_line_low(int index);
float terrain_line_high(int index);

// The unit normal of a corner from the heights 0.03 to its left, right, back (-z) and front
// (+z): along (-dx, 0.06, -dz), with every single-precision rounding of the reference steps.
void terrain_normal(float left, float right, float back, float front, float normal[3]);

// One corner computed straight from its five heights, without any cache.
TerrainCorner compute_terrain_corner(const PerlinNoise& noise, float x, float z);
