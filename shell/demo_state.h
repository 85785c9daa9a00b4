// The program-wide state: one zero-filled record with static storage, reached by every callback.
//
// Scenes and the text cards hold a pointer to sync_state and read the row and their tracks
// through it. The track device, its tracks and the scenes are never released; only the music
// stream and the audio library are, at shutdown.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio.h"
#include "scenes/scene.h"
#include "shell/authoring.h"
#include "sync/demo_tracks.h"
#include "sync/track.h"

struct DemoState {
    int32_t window_height;  // as reported by the last reshape; 0 until then
    int32_t window_width;
    TrackDevice* device;
    AudioStream music;
    std::vector<Scene*> scenes;  // triangle, cubes, terrain: a scene's index is its position
    SyncState sync_state;
    AuthoringState authoring;  // used only by the authoring mode (vordel --edit)
};

extern DemoState demo_state;

// Prints the GL version and renderer, sets the fixed GL state, builds the scene list, loads the
// text cards and runs every scene's init. Needs a current GL context.
void init_gl();
