// The demo's twenty sync tracks, their fixed order and the record through which scenes read them.
//
// SyncState is what a scene or the text cards hold a pointer to: the current row, written once at
// the start of every frame, and the track handles in registration order. Both live in the shell's
// static state until the process ends.
#pragma once

#include "sync/track.h"

// clang-format off
enum DemoTrack : int {
    TRACK_SCENE,
    TRACK_CLEAR_R, TRACK_CLEAR_G, TRACK_CLEAR_B,
    TRACK_FADE_R, TRACK_FADE_G, TRACK_FADE_B, TRACK_FADE_A,
    TRACK_CAM_X, TRACK_CAM_Y, TRACK_CAM_Z,
    TRACK_CAM_LOOKX, TRACK_CAM_LOOKY, TRACK_CAM_LOOKZ,
    TRACK_SCP_A, TRACK_SCP_B, TRACK_SCP_C,
    TRACK_FOG,
    TRACK_TEXT_I, TRACK_TEXT_FADE,
    DEMO_TRACK_COUNT
};
// clang-format on

// "scene", "clear.r", ... "text.fade", indexed by DemoTrack.
extern const char* const DEMO_TRACK_NAMES[DEMO_TRACK_COUNT];

struct SyncState {
    double current_row;                    // music position in rows; 0 before the first frame
    Track* demo_tracks[DEMO_TRACK_COUNT];  // null until registered
};

// Asks the device for the twenty tracks in their fixed order (reading each file once) and stores
// the handles in state.demo_tracks.
void register_demo_tracks(TrackDevice* device, SyncState& state);

// The value of one demo track at the current row.
double demo_value(const SyncState& state, DemoTrack track);
