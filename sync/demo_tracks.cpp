#include "sync/demo_tracks.h"

#include "sync/track_value.h"

// clang-format off
const char* const DEMO_TRACK_NAMES[DEMO_TRACK_COUNT] = {
    "scene",
    "clear.r", "clear.g", "clear.b",
    "fade.r", "fade.g", "fade.b", "fade.a",
    "cam.x", "cam.y", "cam.z",
    "cam.lookx", "cam.looky", "cam.lookz",
    "scp.a", "scp.b", "scp.c",
    "fog",
    "text.i", "text.fade",
};
// clang-format on

void register_demo_tracks(TrackDevice* device, SyncState& state)
{
    // In table order, so the files are read in that order too. A null handle (no device, or no
    // memory) is stored as it is: it evaluates to 0 like a track without keys.
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k)
        state.demo_tracks[k] = track_get(device, DEMO_TRACK_NAMES[k]);
}

double demo_value(const SyncState& state, DemoTrack track)
{
    if (track < 0 || track >= DEMO_TRACK_COUNT)
        return 0.0;
    return track_value(state.demo_tracks[track], state.current_row);
}
