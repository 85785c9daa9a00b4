// No leaks at the seams this program owns, checked by LeakSanitizer when the process ends: the
// audio layer's create/play/free cycle with its refusals, and the track device reading every
// bundled track file. Runs in the data folder with an output that needs no sound card; built only
// in sanitizer builds, with leak checking on.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/audio.h"
#include "tests/support/free_track_device.h"
#include "sync/demo_tracks.h"
#include "sync/track_value.h"

TEST(SeamLeaks, AudioLayerReleasesEverythingItCreates)
{
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_TRUE(audio_init(-1, 44100, 0, 0, nullptr));
        const AudioStream music = audio_stream_create_file(false, "music.mp3", 0, 0, AUDIO_STREAM_PRESCAN);
        ASSERT_NE(music, 0u);
        EXPECT_TRUE(audio_channel_play(music, false));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        (void)audio_channel_get_position(music, AUDIO_POS_BYTE);
        EXPECT_TRUE(audio_channel_set_attribute(music, AUDIO_ATTRIB_VOL, 0.5f));
        // Refused files and handles leave nothing behind either.
        EXPECT_EQ(audio_stream_create_file(false, "no-such-file.mp3", 0, 0, AUDIO_STREAM_PRESCAN), 0u);
        EXPECT_EQ(audio_stream_create_file(false, "sync_fog.track", 0, 0, AUDIO_STREAM_PRESCAN), 0u);
        EXPECT_TRUE(audio_stream_free(music));
        EXPECT_FALSE(audio_stream_free(music));
        // A stream still open at audio_free goes with the device.
        EXPECT_NE(audio_stream_create_file(false, "music.mp3", 0, 0, AUDIO_STREAM_PRESCAN), 0u);
        EXPECT_TRUE(audio_free());
    }
}

TEST(SeamLeaks, TrackDeviceHoldsOnlyWhatItHandsOut)
{
    TrackDevice* device = create_track_device();
    ASSERT_NE(device, nullptr);
    SyncState state{};
    register_demo_tracks(device, state);
    for (Track* track : state.demo_tracks) {
        ASSERT_NE(track, nullptr);
        EXPECT_GT(track->key_count, 0);
        (void)track_value(track, 100.5);
    }
    // A reload replaces the keys; a missing file leaves none.
    EXPECT_EQ(load_track_file(device, state.demo_tracks[TRACK_SCENE]), 0);
    EXPECT_NE(track_get(device, "no.such.track"), nullptr);
    free_track_device(device);
}
