// The second scene: a row of textured cubes along x, tumbling in step about x, y and z, lit by a
// red, a green and a blue point light and seen through the camera tracks.
//
// "scp.a" counts the cubes (its fraction slides the next one out of the last), "scp.b" spaces their
// centres in world units. No material or texture environment is set; lights, lighting, texturing
// and depth testing are left on. The texture comes from "jimage.bmp" in init and lives until exit.
#pragma once

#include <cstdint>

#include "scenes/scene.h"

class SpinningCube : public Scene {
public:
    explicit SpinningCube(const SyncState* state) : state(state) {}

    int init() override;
    void render() override;

private:
    uint32_t texture = 0;  // set by init
    const SyncState* state;
};
