// Start-up without a usable output: ctest runs this with OpenAL Soft configured so that no output
// can open (see CMakeLists.txt); audio_init must say so and everything after it must refuse.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "audio/audio.h"
#include "tone_mp3.h"

TEST(AudioWithoutDevice, InitFailsAndNothingElseWorks)
{
    if (getenv("ALSOFT_DRIVERS") == nullptr)
        GTEST_SKIP() << "needs the environment that ctest sets";
    const std::string path = write_temp_file("tone.mp3", encode_tone_mp3({}));
    EXPECT_FALSE(audio_init(-1, 44100, 0, 0, nullptr));
    EXPECT_FALSE(audio_init(-1, 44100, 0, 0, nullptr)) << "and again, without crashing";
    EXPECT_EQ(audio_stream_create_file(false, path.c_str(), 0, 0, AUDIO_STREAM_PRESCAN), 0u);
    EXPECT_FALSE(audio_free());
}
