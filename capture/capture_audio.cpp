#include "capture/capture_audio.h"

#include <cmath>

namespace {

constexpr double SAMPLE_MIN = -32768.0;
constexpr double SAMPLE_MAX = 32767.0;

uint64_t frame_start_sample(uint64_t frame, long rate, uint32_t frames_per_second)
{
    return frame * static_cast<uint64_t>(rate) / frames_per_second;
}

int16_t scaled(int16_t sample, double gain)
{
    double value = std::nearbyint(static_cast<double>(sample) * gain);
    if (value < SAMPLE_MIN)
        value = SAMPLE_MIN;
    if (value > SAMPLE_MAX)
        value = SAMPLE_MAX;
    return static_cast<int16_t>(value);
}

}  // namespace

std::vector<int16_t> faded_music(const DecodedAudio& music, uint64_t first_frame, uint32_t frames_per_second,
                                 const std::vector<float>& volumes)
{
    std::vector<int16_t> out;
    if (volumes.empty() || frames_per_second == 0 || music.rate <= 0 || music.channels <= 0)
        return out;
    const auto channels = static_cast<uint64_t>(music.channels);
    const uint64_t music_length = music.samples.size() / channels;
    const uint64_t origin = frame_start_sample(first_frame, music.rate, frames_per_second);
    const uint64_t end = frame_start_sample(first_frame + volumes.size(), music.rate, frames_per_second);
    out.assign((end - origin) * channels, 0);

    for (size_t i = 0; i < volumes.size(); ++i) {
        const uint64_t begin = frame_start_sample(first_frame + i, music.rate, frames_per_second);
        const uint64_t next = frame_start_sample(first_frame + i + 1, music.rate, frames_per_second);
        const double from = i == 0 ? volumes[0] : volumes[i - 1];
        const double to = volumes[i];
        const double length = static_cast<double>(next - begin);
        for (uint64_t s = begin; s < next && s < music_length; ++s) {
            const double gain = from + (to - from) * (static_cast<double>(s - begin + 1) / length);
            for (uint64_t c = 0; c < channels; ++c)
                out[(s - origin) * channels + c] = scaled(music.samples[s * channels + c], gain);
        }
    }
    return out;
}
