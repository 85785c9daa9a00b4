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

    // The landscape's surface height at ground point (x, z).
    float height_at(float x, float z) const;

private:
    uint32_t grass_texture = 0;
    uint32_t marble_texture = 0;
    const SyncState* state;
    PerlinNoise noise_source;
    uint32_t terrain_list = 0;
};

// The box's height above the pedestal at a row: it climbs at scale / period per row and falls
// back fall_rate times as fast, once per period (in rows). A period that is not positive, or
// any value for which the height would not be a number, gives 0: the box rests.
float box_height(double row, float period, float fall_rate, float scale);

// The places of the three coloured lights at a row, as GL positions (x, y, z, 1): radius 3 at
// height 1 around (centre_x, centre_z), 120 degrees apart, one turn every 40 rows.
void coloured_light_positions(double row, float centre_x, float centre_z, float positions[3][4]);
