// The demo's audio calls: stream handles, argument checks, the smooth position and the volume
// rule, over whichever output back end is linked in (see audio/backend.h).
#include "audio/audio.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>

#include "audio/audio_diagnostics.h"
#include "audio/backend.h"
#include "audio/mp3_decoder.h"
#include "audio/position_smoother.h"

namespace {

constexpr int DEFAULT_DEVICE = -1;
constexpr uint64_t BYTES_PER_SAMPLE = 2;  // decoded PCM is 16-bit
// How far the position may run ahead of the mixer's offset, in mixing periods: below one, with
// room for the mixer moving on between our reading and the frame that shows it.
constexpr double MAX_LEAD_PERIODS = 0.9;

struct Stream {
    BackendVoicePtr voice;
    long rate = 0;  // sample frames per second
    int channels = 0;
    uint64_t frames = 0;   // sample frames in the whole stream
    bool started = false;  // a stream plays once
    bool paused = false;
    // The output went away: from then on the position is the clock's alone, and the voice is
    // neither asked to move nor believed.
    bool lost = false;
    double last_latency = 0.0;
    PositionSmoother smoother;
    // After play, a resume or a seek the position stays at `held_frame` until the mixer's report
    // leaves `held_report`: only then does the smoother learn where the new playback stands.
    bool holding = true;
    double held_report = 0.0;
    uint64_t held_frame = 0;   // also where a pause stands and where play starts
    uint64_t floor_frame = 0;  // positions never go below the last jump: seconds may round one short

    uint64_t bytes_per_frame() const { return static_cast<uint64_t>(channels) * BYTES_PER_SAMPLE; }
    double end_seconds() const { return static_cast<double>(frames) / static_cast<double>(rate); }
};

struct AudioState {
    bool ready = false;
    std::map<AudioStream, Stream> streams;
    AudioStream next_handle = 1;
    bool loss_told = false;  // the output is lost once for all its streams
};

// Never destroyed: streams hold output objects that must not be released by static destructors
// at exit, when the output library may be gone. audio_free releases them properly.
AudioState& state()
{
    static AudioState* const instance = new AudioState;
    return *instance;
}

Stream* find_stream(AudioStream handle)
{
    auto& streams = state().streams;
    const auto found = streams.find(handle);
    return found == streams.end() ? nullptr : &found->second;
}

AudioStream new_handle()
{
    AudioState& s = state();
    // Handles are not reused while the counter lasts; 0 is never one.
    while (s.next_handle == 0 || s.streams.count(s.next_handle) != 0)
        ++s.next_handle;
    return s.next_handle++;
}

double clock_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Where the mixer lets the audible position be, from one reading of the back end.
PositionBounds bounds_of(Stream& stream, const VoiceReading& reading)
{
    PositionBounds bounds;
    bounds.end = stream.end_seconds();
    switch (reading.state) {
    case VoiceState::Waiting:
    case VoiceState::Playing:
        stream.last_latency = reading.latency_seconds;
        bounds.lower = reading.mixed_seconds - reading.latency_seconds;
        // Never a whole period ahead of what the mixer has mixed. A mix that comes late is no
        // reason to stop the picture while the sound queued before it still plays.
        bounds.upper = reading.mixed_seconds + MAX_LEAD_PERIODS * reading.period_seconds;
        break;
    case VoiceState::Finished:
        // The last samples are still on their way out: run on to the end with the clock.
        bounds.lower = bounds.end - stream.last_latency - reading.period_seconds;
        bounds.upper = bounds.end;
        break;
    case VoiceState::Lost:
        bounds.lost = true;
        break;
    }
    if (bounds.upper > bounds.end)
        bounds.upper = bounds.end;
    return bounds;
}

// Reads the voice, and notes when the output has gone: a lost output does not come back.
VoiceReading read_voice(Stream& stream)
{
    VoiceReading reading = backend_voice_read(*stream.voice);
    if (stream.lost)
        reading.state = VoiceState::Lost;
    if (reading.state != VoiceState::Lost)
        return reading;
    stream.lost = true;
    AudioState& s = state();
    if (!s.loss_told)
        std::fprintf(stderr, "audio output lost; going on without sound\n");
    s.loss_told = true;
    return reading;
}

bool output_lost(Stream& stream)
{
    return read_voice(stream).state == VoiceState::Lost;
}

double smoothed_position(Stream& stream, const VoiceReading& reading)
{
    return smooth_position(stream.smoother, bounds_of(stream, reading), clock_seconds());
}

void hold_at(Stream& stream, uint64_t frame)
{
    stream.holding = true;
    stream.held_frame = frame;
    stream.floor_frame = frame;
    stream.held_report = read_voice(stream).mixed_seconds;
}

// The position in whole sample frames, for a stream that has started.
uint64_t frame_position(Stream& stream)
{
    const VoiceReading reading = read_voice(stream);
    if (reading.exact)
        return std::min(reading.exact_frame, stream.frames);
    if (stream.paused)
        return stream.held_frame;
    if (stream.holding) {
        if (reading.mixed_seconds == stream.held_report && reading.state != VoiceState::Lost)
            return stream.held_frame;
        stream.holding = false;
        stream.smoother = PositionSmoother{};
        stream.smoother.last = static_cast<double>(stream.held_frame) / static_cast<double>(stream.rate);
    }
    const double seconds = smoothed_position(stream, reading);
    // The smoother ends exactly on the end; recomputing frames from it could round one short.
    if (seconds >= stream.end_seconds())
        return stream.frames;
    const double frames = std::floor(seconds * static_cast<double>(stream.rate));
    uint64_t whole = 0;
    if (frames > 0.0)
        whole = frames < static_cast<double>(stream.frames) ? static_cast<uint64_t>(frames) : stream.frames;
    return std::max(whole, stream.floor_frame);
}

}  // namespace

bool audio_init(int device, uint32_t frequency, uint32_t /*flags*/, uintptr_t /*window*/,
                const void* /*device_id*/)
{
    AudioState& s = state();
    if (s.ready)
        return true;
    if (device != DEFAULT_DEVICE)
        return false;
    s.ready = backend_open(frequency);
    return s.ready;
}

AudioStream audio_stream_create_file(bool from_memory, const char* file, uint64_t offset, uint64_t length,
                                     uint32_t /*flags*/)
{
    // Every stream is scanned in full, so AUDIO_STREAM_PRESCAN is always in effect.
    if (!state().ready || from_memory || file == nullptr || offset != 0 || length != 0)
        return 0;
    DecodedAudio pcm;
    if (!decode_mp3_file(file, pcm))
        return 0;
    Stream stream;
    stream.voice = backend_voice_create(pcm);
    if (!stream.voice)
        return 0;
    stream.rate = pcm.rate;
    stream.channels = pcm.channels;
    stream.frames = pcm.samples.size() / static_cast<size_t>(pcm.channels);
    const AudioStream handle = new_handle();
    state().streams.emplace(handle, std::move(stream));
    return handle;
}

bool audio_channel_play(AudioStream handle, bool /*restart*/)
{
    Stream* stream = find_stream(handle);
    if (stream == nullptr)
        return false;
    if (stream->started)
        return true;
    if (!output_lost(*stream) && !backend_voice_play(*stream->voice))
        return false;
    stream->started = true;
    hold_at(*stream, stream->held_frame);
    return true;
}

bool audio_channel_pause(AudioStream handle)
{
    Stream* stream = find_stream(handle);
    if (stream == nullptr || !stream->started)
        return false;
    if (stream->paused)
        return true;
    const uint64_t frame = frame_position(*stream);
    // The mixer is ahead of what is heard: put it back where the picture stands, so that resuming
    // plays on from there and nothing is skipped.
    if (!stream->lost &&
        (!backend_voice_pause(*stream->voice) || !backend_voice_seek(*stream->voice, frame, true)))
        return false;
    stream->paused = true;
    stream->held_frame = frame;
    return true;
}

bool audio_channel_resume(AudioStream handle)
{
    Stream* stream = find_stream(handle);
    if (stream == nullptr || !stream->started)
        return false;
    if (!stream->paused)
        return true;
    if (!output_lost(*stream) && !backend_voice_resume(*stream->voice))
        return false;
    stream->paused = false;
    hold_at(*stream, stream->held_frame);
    return true;
}

bool audio_channel_set_position(AudioStream handle, uint64_t position, uint32_t mode)
{
    Stream* stream = find_stream(handle);
    if (stream == nullptr || mode != AUDIO_POS_BYTE)
        return false;
    const uint64_t frame = std::min(position / stream->bytes_per_frame(), stream->frames);
    if (!output_lost(*stream) &&
        !backend_voice_seek(*stream->voice, frame, !stream->started || stream->paused))
        return false;
    if (stream->started && !stream->paused)
        hold_at(*stream, frame);
    stream->held_frame = frame;
    stream->floor_frame = frame;
    return true;
}

uint64_t audio_channel_get_position(AudioStream handle, uint32_t mode)
{
    Stream* stream = find_stream(handle);
    if (stream == nullptr || mode != AUDIO_POS_BYTE)
        return 0;
    const uint64_t frame = stream->started ? frame_position(*stream) : stream->held_frame;
    return frame * stream->bytes_per_frame();
}

double audio_channel_bytes_to_seconds(AudioStream handle, uint64_t position)
{
    const Stream* stream = find_stream(handle);
    if (stream == nullptr)
        return 0.0;
    const double bytes_per_second =
        static_cast<double>(stream->rate) * static_cast<double>(stream->bytes_per_frame());
    return static_cast<double>(position) / bytes_per_second;
}

bool audio_channel_set_attribute(AudioStream handle, uint32_t attribute, float value)
{
    Stream* stream = find_stream(handle);
    if (stream == nullptr || attribute != AUDIO_ATTRIB_VOL)
        return false;
    // The demo's fade can pass negative volumes; NaN is treated as silence.
    float gain = value;
    if (std::isnan(gain) || gain < 0.0f)
        gain = 0.0f;
    if (gain > 1.0f)
        gain = 1.0f;
    backend_voice_set_gain(*stream->voice, gain);
    return true;
}

bool audio_stream_free(AudioStream handle)
{
    return state().streams.erase(handle) == 1;
}

bool audio_free()
{
    AudioState& s = state();
    if (!s.ready)
        return false;
    s.streams.clear();  // voices first: they belong to the output
    backend_close();
    s.ready = false;
    s.loss_told = false;
    return true;
}

bool audio_channel_mixer_seconds(AudioStream handle, double& audible_seconds)
{
    Stream* stream = find_stream(handle);
    if (stream == nullptr || !stream->started)
        return false;
    const VoiceReading reading = read_voice(*stream);
    if (reading.state != VoiceState::Playing)
        return false;
    audible_seconds = reading.mixed_seconds - reading.latency_seconds;
    return true;
}
