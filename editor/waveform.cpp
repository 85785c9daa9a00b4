#include "editor/waveform.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "editor/onsets.h"
#include "sync/music_clock.h"

namespace {

constexpr float SAMPLE_SCALE = 1.0f / 32768.0f;
constexpr double PEAK_STEP = 1000.0;  // peaks in thousandths keep the answer small
constexpr double ONSET_STEP = 100.0;  // onsets in hundredths of a row: well inside a 60 Hz frame

struct Decoding {
    std::mutex mutex;
    std::condition_variable done_signal;
    bool done = false;       // the peaks and the length are known
    bool json_done = false;  // and the onsets, in the answer
    bool ok = false;
    Waveform waveform;
    std::string json;
    std::thread thread;
};

Decoding* decoding = nullptr;  // on the heap: never destroyed behind its thread

float rounded_peak(float value)
{
    return static_cast<float>(std::round(static_cast<double>(value) * PEAK_STEP) / PEAK_STEP);
}

// The peaks are published first: the music's length is what the timeline's answer waits for. The
// onsets follow, some half a second later, and with them the waveform's answer.
void decode(std::string path)
{
    DecodedAudio audio;
    const bool ok = decode_mp3_file(path.c_str(), audio);
    Waveform waveform = ok ? waveform_of(audio) : Waveform{};
    // Single precision prints the rounded peaks and onsets as short decimals ("0.012").
    using float_json =
        nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, float>;
    float_json answer = {
        {"rows_per_bucket", WAVEFORM_ROWS_PER_BUCKET}, {"min", waveform.min}, {"max", waveform.max}};
    {
        const std::lock_guard<std::mutex> lock(decoding->mutex);
        decoding->waveform = std::move(waveform);
        decoding->ok = ok;
        decoding->done = true;
        decoding->done_signal.notify_all();
    }
    std::vector<float> onsets;
    for (double row : onsets_of(audio))
        onsets.push_back(static_cast<float>(std::round(row * ONSET_STEP) / ONSET_STEP));
    answer["onsets"] = onsets;
    std::string json = answer.dump();
    const std::lock_guard<std::mutex> lock(decoding->mutex);
    decoding->json = std::move(json);
    decoding->json_done = true;
    decoding->done_signal.notify_all();
}

}  // namespace

Waveform waveform_of(const DecodedAudio& audio)
{
    Waveform waveform;
    if (audio.channels <= 0 || audio.rate <= 0)
        return waveform;
    const size_t channels = static_cast<size_t>(audio.channels);
    const size_t frames = audio.samples.size() / channels;
    const double seconds = static_cast<double>(frames) / static_cast<double>(audio.rate);
    waveform.rows = static_cast<int32_t>(std::ceil(seconds * ROWS_PER_SECOND));
    const size_t buckets =
        static_cast<size_t>(waveform.rows) * static_cast<size_t>(1.0 / WAVEFORM_ROWS_PER_BUCKET);
    const double frames_per_bucket =
        static_cast<double>(audio.rate) / ROWS_PER_SECOND * WAVEFORM_ROWS_PER_BUCKET;
    waveform.min.assign(buckets, 0.0f);
    waveform.max.assign(buckets, 0.0f);
    for (size_t b = 0; b < buckets; ++b) {
        const size_t first = static_cast<size_t>(std::floor(static_cast<double>(b) * frames_per_bucket));
        const size_t last =
            std::min(frames, static_cast<size_t>(std::floor(static_cast<double>(b + 1) * frames_per_bucket)));
        int low = 0, high = 0;  // a bucket past the end of the music stays silent
        for (size_t i = first * channels; i < last * channels; ++i) {
            const int sample = audio.samples[i];
            low = i == first * channels || sample < low ? sample : low;
            high = i == first * channels || sample > high ? sample : high;
        }
        waveform.min[b] = rounded_peak(static_cast<float>(low) * SAMPLE_SCALE);
        waveform.max[b] = rounded_peak(static_cast<float>(high) * SAMPLE_SCALE);
    }
    return waveform;
}

void waveform_start(const std::string& music_path)
{
    decoding = new Decoding;
    decoding->thread = std::thread(decode, music_path);
}

void waveform_stop()
{
    if (decoding == nullptr)
        return;
    decoding->thread.join();
    delete decoding;
    decoding = nullptr;
}

bool waveform_wait(double timeout_s, const Waveform*& waveform)
{
    std::unique_lock<std::mutex> lock(decoding->mutex);
    decoding->done_signal.wait_for(lock, std::chrono::duration<double>(timeout_s),
                                   [] { return decoding->done; });
    waveform = &decoding->waveform;
    return decoding->done && decoding->ok;
}

const std::string& waveform_json()
{
    std::unique_lock<std::mutex> lock(decoding->mutex);
    decoding->done_signal.wait(lock, [] { return decoding->json_done; });
    return decoding->json;
}
