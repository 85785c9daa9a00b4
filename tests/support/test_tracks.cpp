#include "tests/support/test_tracks.h"

#include <cstdlib>
#include <cstring>

Track* make_track(std::initializer_list<TrackKey> keys)
{
    Track* track = new Track{};
    track->name = strdup("test");
    track->key_count = static_cast<int32_t>(keys.size());
    if (track->key_count > 0) {
        track->keys = new TrackKey[keys.size()];
        std::memcpy(track->keys, keys.begin(), keys.size() * sizeof(TrackKey));
    }
    return track;
}

void clear_demo_tracks(SyncState& state)
{
    for (Track*& track : state.demo_tracks)
        track = make_track({});
}

void set_constant(SyncState& state, DemoTrack track, double value)
{
    state.demo_tracks[track] = make_track({{0, static_cast<float>(value), 0}});
}
