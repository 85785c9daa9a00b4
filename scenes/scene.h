// The demo's scenes: everything the picture shows is one of a fixed list of scenes.
//
// A scene learns the time and its parameters only through the SyncState it is given at
// construction. init runs once, with the GL context current and before any track is registered;
// render draws one frame, clearing the buffers and setting the modelview matrix itself.
// Scenes are never destroyed, so there is deliberately no virtual destructor.
#pragma once

#include "sync/demo_tracks.h"

class Scene {
public:
    virtual int init() = 0;
    virtual void render() = 0;

protected:
    ~Scene() = default;
};

// The index of the scene that a "scene" track value chooses: the value truncated toward zero,
// or 0 when that lies outside [0, scene_count) or is not a number.
int choose_scene(double scene_value, int scene_count);
