// No leaks at the seams this program owns, checked by LeakSanitizer when the process ends: the
// audio layer's whole create/play/free cycle (also its refusals), and the track device reading
// every bundled track file. Runs in the data folder (for music.mp3 and the track files) with an
// output that needs no sound card; registered only in sanitizer builds, with leak checking on.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "audio/audio.h"
#include "sync/demo_tracks.h"
#include "sync/track.h"
#include "sync/track_value.h"

#include "free_track_device.h"

namespace {

constexpr int DEFAULT_AUDIO_DEVICE = -1;
constexpr uint32_t AUDIO_FREQUENCY = 44100;
constexpr int AUDIO_CYCLES = 3;
constexpr auto PLAY_TIME = std::chrono::milliseconds(200);
const char MUSIC_FILE[] = "music.mp3";

TEST(SeamLeaks, AudioLayerReleasesEverythingItCreates)
{
    for (int cycle = 0; cycle < AUDIO_CYCLES; ++cycle) {
        ASSERT_TRUE(audio_init(DEFAULT_AUDIO_DEVICE, AUDIO_FREQUENCY, 0, 0, nullptr));
        const AudioStream music = audio_stream_create_file(false, MUSIC_FILE, 0, 0, AUDIO_STREAM_PRESCAN);
        ASSERT_NE(music, 0u);
        EXPECT_TRUE(audio_channel_play(music, false));
        std::this_thread::sleep_for(PLAY_TIME);
        (void)audio_channel_get_position(music, AUDIO_POS_BYTE);
        EXPECT_TRUE(audio_channel_set_attribute(music, AUDIO_ATTRIB_VOL, 0.5f));

        // Refused files and handles must not leave anything behind either.
        EXPECT_EQ(audio_stream_create_file(false, "no-such-file.mp3", 0, 0, AUDIO_STREAM_PRESCAN), 0u);
        EXPECT_EQ(audio_stream_create_file(false, "sync_fog.track", 0, 0, AUDIO_STREAM_PRESCAN), 0u);

        EXPECT_TRUE(audio_stream_free(music));
        EXPECT_FALSE(audio_stream_free(music));
        // A stream still open at audio_free is released with the device.
        const AudioStream left_open = audio_stream_create_file(false, MUSIC_FILE, 0, 0, AUDIO_STREAM_PRESCAN);
        EXPECT_NE(left_open, 0u);
        EXPECT_TRUE(audio_free());
    }
}

TEST(SeamLeaks, TrackDeviceHoldsOnlyWhatItHandsOut)
{
    TrackDevice* device = create_track_device();
    ASSERT_NE(device, nullptr);
    SyncState state{};
    register_demo_tracks(device, state);
    int with_keys = 0;
    for (Track* track : state.demo_tracks) {
        ASSERT_NE(track, nullptr);
        with_keys += track->key_count > 0 ? 1 : 0;
        (void)track_value(track, 100.5);
    }
    EXPECT_EQ(with_keys, DEMO_TRACK_COUNT);
    // A reload replaces the keys; a missing file leaves none.
    EXPECT_EQ(load_track_file(device, state.demo_tracks[TRACK_SCENE]), 0);
    EXPECT_NE(track_get(device, "no.such.track"), nullptr);
    free_track_device(device);
}

}  // namespace
