// The onset detector on synthesised sound: clicks, struck tones, a steady tone under clicks and
// silence. Every attack must be marked within one 60 Hz frame of its row, nothing else marked.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "editor/onsets.h"
#include "sync/music_clock.h"

namespace {

constexpr long RATE = 44100;
constexpr double FRAME_ROWS = ROWS_PER_SECOND / 60.0;  // one picture frame, in rows

enum class Sound { Click, StruckTone, SteadyToneAndClicks, Silence };

size_t frame_of(int row)
{
    return static_cast<size_t>(std::llround(row / ROWS_PER_SECOND * RATE));
}

// Five seconds of stereo; each row in `rows` starts an attack of the given kind.
DecodedAudio render(Sound sound, const std::vector<int>& rows)
{
    std::vector<float> mono(5 * RATE, 0.0f);
    if (sound == Sound::SteadyToneAndClicks) {
        // Faded out over its last second: a tone cut off is a click.
        for (size_t i = frame_of(10); i < mono.size(); ++i)
            mono[i] = 0.3f * static_cast<float>(std::min(1.0, static_cast<double>(mono.size() - i) / RATE) *
                                                std::sin(2.0 * M_PI * 220.0 * static_cast<double>(i) / RATE));
    }
    for (int row : rows) {
        const size_t at = frame_of(row);
        if (sound == Sound::StruckTone) {
            for (size_t i = 0; i < static_cast<size_t>(RATE) && at + i < mono.size(); ++i)
                mono[at + i] +=
                    0.5f * static_cast<float>(std::exp(-static_cast<double>(i) / 4000.0) *
                                              std::sin(2.0 * M_PI * 660.0 * static_cast<double>(i) / RATE));
        } else {
            mono[at] += 0.9f;
            mono[at + 1] -= 0.5f;
        }
    }
    DecodedAudio audio;
    audio.channels = 2;
    audio.rate = RATE;
    for (float v : mono) {
        const int16_t sample = static_cast<int16_t>(std::lround(v * 32767.0f));
        audio.samples.push_back(sample);
        audio.samples.push_back(sample);
    }
    return audio;
}

}  // namespace

TEST(EditorOnsets, EveryAttackWithinAFrameAndNothingElse)
{
    struct Case {
        const char* name;
        Sound sound;
        std::vector<int> rows;      // where attacks are put
        std::vector<int> expected;  // where marks must be
    };
    const Case cases[] = {
        {"clicks", Sound::Click, {8, 24, 50, 52, 77}, {8, 24, 50, 52, 77}},  // 50 and 52: 117 ms apart
        {"struck tones", Sound::StruckTone, {16, 40, 64}, {16, 40, 64}},
        {"a steady tone and clicks", Sound::SteadyToneAndClicks, {30, 60}, {10, 30, 60}},
        {"silence", Sound::Silence, {}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<double> marks = onsets_of(render(c.sound, c.rows));
        std::vector<int> rounded;
        for (double mark : marks) {
            rounded.push_back(static_cast<int>(std::lround(mark)));
            EXPECT_NEAR(mark, static_cast<double>(rounded.back()), FRAME_ROWS) << c.name;
        }
        EXPECT_EQ(rounded, c.expected) << c.name;
    }
    EXPECT_TRUE(onsets_of(DecodedAudio{}).empty());
}
