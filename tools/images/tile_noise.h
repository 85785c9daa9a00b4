// Periodic gradient noise for seamlessly tiling pictures, and a small deterministic random source.
//
// Coordinates are in lattice cells; a noise with period P repeats every P cells in x and in y, so
// sampling u·P over u in [0, 1) of a picture's width gives a picture whose edges meet. Values lie
// roughly in -1..1. Everything is integer hashing plus float arithmetic: the same seed gives the
// same picture on every run.
#pragma once

#include <cstdint>

// One hashed 32-bit value from three integers (lattice x, lattice y, seed).
uint32_t hash3(uint32_t x, uint32_t y, uint32_t seed);

// Gradient noise at (x, y) repeating every `period` cells (period ≥ 1).
float tile_noise(float x, float y, int period, uint32_t seed);

// Sum of `octaves` layers, each at twice the frequency (and twice the period) and `gain` times
// the amplitude of the one before; normalised so the weights add up to 1.
float tile_fbm(float x, float y, int period, int octaves, float gain, uint32_t seed);

// Like tile_fbm, but of the absolute values: creased "turbulence", 0..about 1.
float tile_turbulence(float x, float y, int period, int octaves, float gain, uint32_t seed);

// A small xorshift random source for placing strokes; never seeded from time.
struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed != 0 ? seed : 0x9E3779B9u) {}
    uint32_t next();
    float uniform();                  // 0 ≤ value < 1
    float range(float lo, float hi);  // lo ≤ value < hi
};
