// The audio calls against a real OpenAL Soft mixer whose output goes to a wave file, in real time.
// The output is configured in main, before the first OpenAL call (OpenAL reads it once per process).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/audio_diagnostics.h"
#include "tone_mp3.h"
#include "wave_file.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto SAMPLE_INTERVAL = std::chrono::milliseconds(2);
constexpr double PERIOD_SECONDS = 1024.0 / 44100.0;  // the wave writer's mixing period here
constexpr double MAX_STEP_SECONDS = 0.005;

std::string wave_path()
{
    return temp_dir() + "/out.wav";
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Waits (polling like a frame loop) until the stream has reached `seconds`; false on timeout.
bool wait_for_position(AudioStream stream, double seconds, double timeout)
{
    const Clock::time_point start = Clock::now();
    while (seconds_since(start) < timeout) {
        if (audio_channel_bytes_to_seconds(stream, audio_channel_get_position(stream, AUDIO_POS_BYTE)) >=
            seconds)
            return true;
        std::this_thread::sleep_for(SAMPLE_INTERVAL);
    }
    return false;
}

double rms(const WaveData& wave, double from, double to)
{
    const auto first = static_cast<size_t>(from * wave.rate) * static_cast<size_t>(wave.channels);
    const auto last = std::min(static_cast<size_t>(to * wave.rate) * static_cast<size_t>(wave.channels),
                               wave.samples.size());
    double sum = 0.0;
    for (size_t i = first; i < last; ++i)
        sum += wave.samples[i] * wave.samples[i];
    return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0.0;
}

// Seconds into the wave file where the first sound is.
double sound_start(const WaveData& wave, double threshold)
{
    for (size_t i = 0; i < wave.samples.size(); ++i)
        if (std::fabs(wave.samples[i]) > threshold)
            return static_cast<double>(i / static_cast<size_t>(wave.channels)) / wave.rate;
    return -1.0;
}

AudioStream open_tone(const ToneSpec& spec, const char* name)
{
    const std::string path = write_temp_file(name, encode_tone_mp3(spec));
    return path.empty() ? 0 : audio_stream_create_file(false, path.c_str(), 0, 0, AUDIO_STREAM_PRESCAN);
}

}  // namespace

TEST(AudioOutput, VolumeScalesWhatIsPlayedAndIsClamped)
{
    ASSERT_TRUE(audio_init(-1, 44100, 0, 0, nullptr));
    constexpr double AMPLITUDE = 0.5;
    const AudioStream stream = open_tone({2.4, 44100, 2, 440.0, AMPLITUDE, 128}, "volume.mp3");
    ASSERT_NE(stream, 0u);
    EXPECT_TRUE(audio_channel_set_attribute(stream, AUDIO_ATTRIB_VOL, 2.0f)) << "clamped to 1";
    ASSERT_TRUE(audio_channel_play(stream, false));
    ASSERT_TRUE(wait_for_position(stream, 0.8, 3.0));
    EXPECT_TRUE(audio_channel_set_attribute(stream, AUDIO_ATTRIB_VOL, 0.5f));
    ASSERT_TRUE(wait_for_position(stream, 1.6, 3.0));
    EXPECT_TRUE(audio_channel_set_attribute(stream, AUDIO_ATTRIB_VOL, std::nanf(""))) << "silent";
    ASSERT_TRUE(wait_for_position(stream, 2.4, 3.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the last mix reach the file
    EXPECT_TRUE(audio_stream_free(stream));
    EXPECT_TRUE(audio_free());

    WaveData wave;
    ASSERT_TRUE(read_wave_file(wave_path(), wave));
    ASSERT_EQ(wave.rate, 44100);
    const double start = sound_start(wave, 0.05);
    ASSERT_GE(start, 0.0);
    // Windows keep clear of each change: it reaches the output one latency and up to a period later.
    const double full = rms(wave, start + 0.15, start + 0.7);
    const double half = rms(wave, start + 0.95, start + 1.5);
    const double silent = rms(wave, start + 1.75, start + 2.3);
    const double expected_full = AMPLITUDE / std::sqrt(2.0);
    std::printf("[ figures  ] captured rms at volume 2→1: %.4f (tone %.4f), at 0.5: %.4f (ratio %.3f), at "
                "NaN→0: %.5f\n",
                full, expected_full, half, half / full, silent);
    EXPECT_NEAR(full, expected_full, expected_full * 0.1);
    EXPECT_NEAR(half / full, 0.5, 0.03);
    EXPECT_LT(silent, 0.001);
}

TEST(AudioOutput, PositionRisesSmoothlyFromZeroToTheExactEnd)
{
    ASSERT_TRUE(audio_init(-1, 44100, 0, 0, nullptr));
    constexpr uint64_t LENGTH_BYTES = 66150 * 4;  // 1.5 s of 44.1 kHz stereo 16-bit
    const AudioStream stream = open_tone({1.5, 44100, 2, 440.0, 0.3, 128}, "position.mp3");
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(audio_channel_get_position(stream, AUDIO_POS_BYTE), 0u) << "before play";
    EXPECT_DOUBLE_EQ(audio_channel_bytes_to_seconds(stream, LENGTH_BYTES), 1.5);
    EXPECT_EQ(audio_channel_get_position(stream, 1), 0u) << "unknown mode";

    struct Sample {
        double time;
        double position;
        double mixer;
        bool has_mixer;
    };
    std::vector<Sample> samples;
    ASSERT_TRUE(audio_channel_play(stream, false));
    const Clock::time_point start = Clock::now();
    uint64_t bytes = 0;
    while (seconds_since(start) < 3.0) {
        bytes = audio_channel_get_position(stream, AUDIO_POS_BYTE);
        Sample s{seconds_since(start), audio_channel_bytes_to_seconds(stream, bytes), 0.0, false};
        s.has_mixer = audio_channel_mixer_seconds(stream, s.mixer);
        samples.push_back(s);
        ASSERT_EQ(bytes % 4, 0u) << "whole sample frames";
        if (bytes == LENGTH_BYTES)
            break;
        std::this_thread::sleep_for(SAMPLE_INTERVAL);
    }
    EXPECT_EQ(bytes, LENGTH_BYTES) << "ends on the decoded length";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(audio_channel_get_position(stream, AUDIO_POS_BYTE), LENGTH_BYTES) << "and stays there";
    EXPECT_TRUE(audio_channel_play(stream, false)) << "a second play is harmless";
    EXPECT_EQ(audio_channel_get_position(stream, AUDIO_POS_BYTE), LENGTH_BYTES) << "and does not restart";

    double largest_step = 0.0;
    double largest_jump = 0.0;  // step beyond the wall time that passed
    double lead_min = 1e9;
    double lead_max = -1e9;
    double lead_sum = 0.0;
    int lead_count = 0;
    std::vector<double> steps;
    for (size_t i = 1; i < samples.size(); ++i) {
        const double step = samples[i].position - samples[i - 1].position;
        EXPECT_GE(step, 0.0) << "never backwards, sample " << i;
        largest_step = std::max(largest_step, step);
        largest_jump = std::max(largest_jump, step - (samples[i].time - samples[i - 1].time));
        if (step > 0.0)
            steps.push_back(step);
        if (samples[i].has_mixer && samples[i].mixer > 0.0 && samples[i].position < 1.5) {
            const double lead = samples[i].position - samples[i].mixer;
            lead_min = std::min(lead_min, lead);
            lead_max = std::max(lead_max, lead);
            lead_sum += lead;
            ++lead_count;
            EXPECT_LE(lead, PERIOD_SECONDS + 0.001) << "more than a mixing period ahead of the mixer";
        }
    }
    std::sort(steps.begin(), steps.end());
    const double first_sound =
        std::find_if(samples.begin(), samples.end(), [](const Sample& s) { return s.position > 0.0; })->time;
    std::printf(
        "[ figures  ] %zu samples every ~2 ms; largest step %.2f ms of audio, median %.2f ms; largest step "
        "beyond elapsed wall time %.2f ms\n",
        samples.size(), largest_step * 1e3, steps.empty() ? 0.0 : steps[steps.size() / 2] * 1e3,
        largest_jump * 1e3);
    std::printf("[ figures  ] position minus mixer's audible offset: min %.2f ms, mean %.2f ms, max %.2f ms "
                "(period %.2f ms); first non-zero position %.1f ms after play; end reached after %.1f ms\n",
                lead_min * 1e3, lead_count > 0 ? lead_sum / lead_count * 1e3 : 0.0, lead_max * 1e3,
                PERIOD_SECONDS * 1e3, first_sound * 1e3, samples.back().time * 1e3);
    EXPECT_LE(largest_jump, MAX_STEP_SECONDS) << "no stairs: the position never jumps ahead of the clock";
    EXPECT_GT(lead_count, 100);
    EXPECT_TRUE(audio_stream_free(stream));
    EXPECT_TRUE(audio_free());
}

TEST(AudioOutput, StreamsAndTheLibraryHaveAClearLifecycle)
{
    ASSERT_TRUE(audio_init(-1, 44100, 0, 0, nullptr));
    EXPECT_TRUE(audio_init(-1, 44100, 0, 0, nullptr)) << "a second init keeps the open output";
    EXPECT_EQ(
        audio_stream_create_file(false, (temp_dir() + "/missing.mp3").c_str(), 0, 0, AUDIO_STREAM_PRESCAN),
        0u);
    EXPECT_EQ(
        audio_stream_create_file(false, write_temp_file("empty.mp3", {}).c_str(), 0, 0, AUDIO_STREAM_PRESCAN),
        0u);
    EXPECT_EQ(audio_stream_create_file(
                  false, write_temp_file("junk.mp3", std::vector<uint8_t>(3000, 0x5A)).c_str(), 0, 0, 0),
              0u);
    EXPECT_EQ(audio_stream_create_file(false, nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(audio_stream_create_file(true, "music.mp3", 0, 0, 0), 0u) << "memory streams are not offered";

    const AudioStream mono = open_tone({0.5, 22050, 1, 440.0, 0.3, 64}, "mono.mp3");
    const AudioStream stereo = open_tone({0.5, 48000, 2, 440.0, 0.3, 128}, "stereo.mp3");
    ASSERT_NE(mono, 0u);
    ASSERT_NE(stereo, 0u);
    EXPECT_NE(mono, stereo);
    EXPECT_DOUBLE_EQ(audio_channel_bytes_to_seconds(mono, 22050 * 2), 1.0) << "own byte rate";
    EXPECT_DOUBLE_EQ(audio_channel_bytes_to_seconds(stereo, 48000 * 4), 1.0) << "own byte rate";
    EXPECT_FALSE(audio_channel_set_attribute(mono, 7, 1.0f)) << "unknown attribute";
    EXPECT_TRUE(audio_channel_set_attribute(mono, AUDIO_ATTRIB_VOL, -3.0f));

    EXPECT_TRUE(audio_stream_free(mono));
    EXPECT_FALSE(audio_stream_free(mono)) << "already freed";
    EXPECT_FALSE(audio_channel_play(mono, false));
    EXPECT_DOUBLE_EQ(audio_channel_bytes_to_seconds(stereo, 48000 * 4), 1.0)
        << "the other stream is untouched";
    EXPECT_TRUE(audio_channel_play(stereo, false));

    EXPECT_TRUE(audio_free()) << "frees the playing stream too";
    EXPECT_FALSE(audio_channel_play(stereo, false));
    EXPECT_EQ(audio_channel_get_position(stereo, AUDIO_POS_BYTE), 0u);
    EXPECT_FALSE(audio_free());

    ASSERT_TRUE(audio_init(-1, 44100, 0, 0, nullptr)) << "the output can be opened again";
    const AudioStream again = open_tone({0.2, 44100, 2, 440.0, 0.3, 128}, "again.mp3");
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, stereo) << "handles are not reused";
    EXPECT_TRUE(audio_free());
}

// OpenAL Soft writes its mix to a wave file with this configuration (read once per process).
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (temp_dir().empty())
        return 1;
    const std::string conf = temp_dir() + "/alsoft.conf";
    std::ofstream(conf) << "[general]\ndrivers = wave\nchannels = stereo\nsample-type = int16\n"
                           "[wave]\nfile = "
                        << wave_path() << "\n";
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
    return RUN_ALL_TESTS();
}
