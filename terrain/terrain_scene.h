// The landscape scene: noise terrain around a marble pedestal whose top is a translucent mirror,
// a marble box rising and falling above it, and the box's reflection confined to the mirror.
//
// init loads "dry_grass.png" and "marble.jpg" and compiles the 1023 × 1023 quad landscape into one
// display list; render draws a frame from the row and the camera and "scp" tracks. World units and
// rows throughout. The SyncState is borrowed; the textures and the list are kept until exit.
#pragma once

#include <cstdint>

#include "scenes/scene.h"
#include "sync/demo_tracks.h"
#include "terrain/perlin_noise.h"

class TerrainScene final : public Scene {
public:
    explicit TerrainScene(const SyncState* state);

    // Needs a current GL context; makes no checks and returns 0.
    int init() override;
    void render() override;

    // The landscape's surface height at ground point (x, z); bit-identical for equal arguments.
    // Needs no GL: the noise table is filled at construction.
    float height_at(float x, float z) const;

private:
    uint32_t grass_texture = 0;
    uint32_t marble_texture = 0;
    const SyncState* state;
    PerlinNoise noise_source;
    uint32_t terrain_list = 0;
};
