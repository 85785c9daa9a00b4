// The music's peaks: buckets of an eighth of a row, the lowest and highest sample of any channel,
// silence past the end, and the length in rows rounded up.
#include <gtest/gtest.h>

#include "editor/waveform.h"

TEST(EditorWaveform, PeaksPerEighthOfARow)
{
    // 8192 frames a second: a row is 480 frames, a bucket 60. Two rows and ten frames of stereo.
    DecodedAudio audio;
    audio.channels = 2;
    audio.rate = 8192;
    audio.samples.assign(2 * 970, 3277);
    audio.samples[2 * 70] = -16384;      // bucket 1, left
    audio.samples[2 * 110 + 1] = 32767;  // bucket 1, right
    for (int frame = 960; frame < 970; ++frame)
        audio.samples[2 * frame] = audio.samples[2 * frame + 1] = -3277;
    const Waveform waveform = waveform_of(audio);
    ASSERT_EQ(waveform.rows, 3);
    ASSERT_EQ(waveform.min.size(), 24u);
    ASSERT_EQ(waveform.max.size(), 24u);
    struct Case {
        size_t bucket;
        float min, max;
    };
    const Case cases[] = {{0, 0.1f, 0.1f},    {1, -0.5f, 1.0f}, {2, 0.1f, 0.1f}, {15, 0.1f, 0.1f},
                          {16, -0.1f, -0.1f}, {17, 0.0f, 0.0f}, {23, 0.0f, 0.0f}};
    for (const Case& c : cases) {
        EXPECT_EQ(waveform.min[c.bucket], c.min) << c.bucket;
        EXPECT_EQ(waveform.max[c.bucket], c.max) << c.bucket;
    }
    EXPECT_EQ(waveform_of(DecodedAudio{}).rows, 0);
}
