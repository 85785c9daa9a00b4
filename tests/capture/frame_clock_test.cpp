// The frame driver's first steps over the frame-clock back end, as vordel-capture runs them.
#include <gtest/gtest.h>

#include <string>

#include "audio/audio.h"
#include "audio/frame_clock.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "tone_mp3.h"

namespace {

constexpr double MUSIC_SECONDS = 2.0;

class FrameClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        ToneSpec spec;
        spec.seconds = MUSIC_SECONDS;
        const std::string path = write_temp_file("clock.mp3", encode_tone_mp3(spec));
        ASSERT_TRUE(audio_init(-1, 44100, 0, 0, nullptr));
        demo_state.music = audio_stream_create_file(false, path.c_str(), 0, 0, AUDIO_STREAM_PRESCAN);
        ASSERT_NE(demo_state.music, 0u);
        frame_clock_set(0, 1);
    }
    void TearDown() override
    {
        audio_stream_free(demo_state.music);
        demo_state.music = 0;
        audio_free();
        for (Track*& track : demo_state.sync_state.demo_tracks)
            track = nullptr;
    }
};

}  // namespace

TEST_F(FrameClock, EveryFrameGetsExactlyItsRowWhenTheRateDividesTheSampleRate)
{
    ASSERT_TRUE(audio_channel_play(demo_state.music, false));
    for (const uint32_t fps : {10u, 25u, 30u, 60u, 100u}) {
        for (uint64_t n = 0; n < static_cast<uint64_t>(MUSIC_SECONDS * fps); ++n) {
            frame_clock_set(n, fps);
            start_frame();
            const double expected = static_cast<double>(n) / static_cast<double>(fps) * ROWS_PER_SECOND;
            ASSERT_EQ(demo_state.sync_state.current_row, expected) << n << " at " << fps << " fps";
        }
    }
}

TEST_F(FrameClock, StandsAtZeroBeforePlayAndAtTheEndAfterTheMusic)
{
    const DecodedAudio* music = frame_clock_music();
    ASSERT_NE(music, nullptr);
    const uint64_t length_bytes = music->samples.size() * sizeof(int16_t);
    frame_clock_set(10, 10);
    EXPECT_EQ(audio_channel_get_position(demo_state.music, AUDIO_POS_BYTE), 0u);
    audio_channel_play(demo_state.music, false);
    EXPECT_EQ(audio_channel_get_position(demo_state.music, AUDIO_POS_BYTE), 44100u * 4u);
    frame_clock_set(1000, 10);
    EXPECT_EQ(audio_channel_get_position(demo_state.music, AUDIO_POS_BYTE), length_bytes);
    frame_clock_set(0, 10);  // a clock may go back: the capture plans before it draws
    EXPECT_EQ(audio_channel_get_position(demo_state.music, AUDIO_POS_BYTE), 0u);
}

TEST_F(FrameClock, RecordsTheVolumeTheEndOfDemoRuleSets)
{
    TrackKey keys[] = {{1025, 0.0f, 1}, {1030, 1.0f, 0}};
    Track fade{const_cast<char*>("fade.a"), keys, 2};
    demo_state.sync_state.demo_tracks[TRACK_FADE_A] = &fade;
    EXPECT_EQ(frame_clock_gain(), 1.0f);
    // The rule reads the row only; the clock needs no music this long to test it.
    EXPECT_FALSE(apply_end_of_demo_rule(1024.0));
    EXPECT_EQ(frame_clock_gain(), 1.0f);
    EXPECT_FALSE(apply_end_of_demo_rule(1027.5));
    EXPECT_EQ(frame_clock_gain(), fade_out_volume(0.5));
    EXPECT_TRUE(apply_end_of_demo_rule(1031.0));
    EXPECT_EQ(frame_clock_gain(), 0.0f);
    audio_channel_set_attribute(demo_state.music, AUDIO_ATTRIB_VOL, -3.0f);  // clamped, as a live run does
    EXPECT_EQ(frame_clock_gain(), 0.0f);
}

TEST_F(FrameClock, ServesOneStreamAndKeepsItsDecodedMusic)
{
    const DecodedAudio* music = frame_clock_music();
    ASSERT_NE(music, nullptr);
    EXPECT_EQ(music->rate, 44100);
    EXPECT_EQ(music->channels, 2);
    EXPECT_EQ(music->samples.size(), static_cast<size_t>(MUSIC_SECONDS * 44100) * 2);
    const std::string path = temp_dir() + "/clock.mp3";
    EXPECT_EQ(audio_stream_create_file(false, path.c_str(), 0, 0, 0), 0u);
    audio_stream_free(demo_state.music);
    EXPECT_EQ(frame_clock_music(), nullptr);
    demo_state.music = audio_stream_create_file(false, path.c_str(), 0, 0, 0);
    EXPECT_NE(demo_state.music, 0u);
}
