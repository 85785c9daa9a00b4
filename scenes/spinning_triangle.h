// The first scene: a flat triangle of circumradius 1 at the origin in the plane z = 0, turning
// about z by 18 degrees per row, seen through the camera tracks.
//
// It sets no colour or GL enable of its own: it is drawn with whatever colour, blending and fog the
// rest of the frame left in force (from the second frame on, the previous frame's fade colour).
// Back-face culling hides it from the positive-z side.
#pragma once

#include "scenes/scene.h"

class SpinningTriangle : public Scene {
public:
    explicit SpinningTriangle(const SyncState* state) : state(state) {}

    int init() override;
    void render() override;

private:
    const SyncState* state;
};
