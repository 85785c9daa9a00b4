// The audio calls without an output: everything is refused cleanly and nothing is touched.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio.h"
#include "tone_mp3.h"

TEST(AudioWithoutOutput, EveryCallRefusesBadHandlesAndMissingInit)
{
    const std::string path = write_temp_file("tone.mp3", encode_tone_mp3({}));
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(audio_stream_create_file(false, path.c_str(), 0, 0, AUDIO_STREAM_PRESCAN), 0u)
        << "no audio_init";
    for (const AudioStream bad : {0u, 1u, 12345u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(audio_channel_play(bad, false));
        EXPECT_EQ(audio_channel_get_position(bad, AUDIO_POS_BYTE), 0u);
        EXPECT_EQ(audio_channel_bytes_to_seconds(bad, 1000), 0.0);
        EXPECT_FALSE(audio_channel_set_attribute(bad, AUDIO_ATTRIB_VOL, 0.5f));
        EXPECT_FALSE(audio_channel_set_attribute(bad, AUDIO_ATTRIB_VOL, std::nanf("")));
        EXPECT_FALSE(audio_stream_free(bad));
    }
    EXPECT_FALSE(audio_init(3, 44100, 0, 0, nullptr)) << "only the default device exists";
    EXPECT_FALSE(audio_free()) << "nothing to free";
}
