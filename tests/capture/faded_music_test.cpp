#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "shell/capture_audio.h"

namespace {

constexpr long RATE = 1000;  // small numbers keep the expected samples easy to follow
constexpr uint32_t FPS = 10;
constexpr int16_t LEVEL = 20000;

// A constant stereo signal (left LEVEL, right -LEVEL) of `frames` sample frames.
DecodedAudio constant_music(size_t frames)
{
    DecodedAudio music;
    music.rate = RATE;
    music.channels = 2;
    for (size_t i = 0; i < frames; ++i) {
        music.samples.push_back(LEVEL);
        music.samples.push_back(-LEVEL);
    }
    return music;
}

}  // namespace

TEST(FadedMusic, CutsExactlyTheCapturedFramesAndKeepsFullVolumeUntouched)
{
    DecodedAudio music = constant_music(1000);
    for (size_t i = 0; i < music.samples.size(); ++i)
        music.samples[i] = static_cast<int16_t>(i);  // every sample distinct, to see where the cut falls
    const std::vector<int16_t> out = faded_music(music, 3, FPS, {1.0f, 1.0f});
    ASSERT_EQ(out.size(), 2u * 200u);  // two frames of 100 sample frames, two channels
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], music.samples[600 + i]) << i;  // frame 3 starts at sample frame 300
}

TEST(FadedMusic, RampsEachFrameFromThePreviousVolumeToItsOwn)
{
    const DecodedAudio music = constant_music(1000);
    const std::vector<int16_t> out = faded_music(music, 0, FPS, {0.5f, 0.5f, 0.0f, 0.25f});
    // The first frame holds its own volume; each later one reaches its volume on its last sample.
    EXPECT_EQ(out[0], 10000);
    EXPECT_EQ(out[2 * 99], 10000);
    EXPECT_EQ(out[2 * 249], 5000);  // half way from 0.5 to 0 in the third frame
    EXPECT_EQ(out[2 * 249 + 1], -5000);
    EXPECT_EQ(out[2 * 299], 0);
    EXPECT_EQ(out[2 * 399], 5000);
    // No clicks: on a constant signal no two neighbouring samples differ by more than one step of the ramp.
    const int step = static_cast<int>(LEVEL * 0.5 / 100) + 1;
    for (size_t i = 2; i < out.size(); i += 2)
        ASSERT_LE(std::abs(out[i] - out[i - 2]), step) << i / 2;
}

TEST(FadedMusic, IsSilentPastTheEndOfTheMusicAndEmptyWithoutFrames)
{
    const DecodedAudio music = constant_music(150);
    const std::vector<int16_t> out = faded_music(music, 1, FPS, {1.0f, 1.0f});
    ASSERT_EQ(out.size(), 2u * 200u);
    EXPECT_EQ(out[2 * 49], LEVEL);
    EXPECT_EQ(out[2 * 50], 0);
    EXPECT_EQ(out.back(), 0);
    EXPECT_TRUE(faded_music(music, 0, FPS, {}).empty());
}
