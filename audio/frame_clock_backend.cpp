// Output back end that is a clock: voices keep their PCM for whoever renders the sound, report
// the position the caller set with frame_clock_set, and remember the last gain instead of applying it.
#include "audio/backend.h"
#include "audio/frame_clock.h"

namespace {

constexpr float DEFAULT_GAIN = 1.0f;  // what the audio calls assume before a volume is set

struct Clock {
    bool open = false;
    uint64_t frame = 0;
    uint32_t frames_per_second = 1;
};

Clock frame_time;
BackendVoice* music = nullptr;  // the one voice there may be; owned by its BackendVoicePtr

}  // namespace

struct BackendVoice {
    DecodedAudio pcm;
    bool playing = false;
    float gain = DEFAULT_GAIN;
    // The voice is at `base_frame` when the clock is at `base_clock` (both sample frames) and
    // follows the clock from there unless paused. Until a pause or a seek it is the clock itself.
    bool paused = false;
    uint64_t base_frame = 0;
    uint64_t base_clock = 0;
};

namespace {

uint64_t clock_frame(const BackendVoice& voice)
{
    // Integer arithmetic: frame × rate / fps stays exact (a 64-bit product lasts for millennia of video).
    return frame_time.frame * static_cast<uint64_t>(voice.pcm.rate) / frame_time.frames_per_second;
}

uint64_t voice_frame(const BackendVoice& voice)
{
    const uint64_t clock = clock_frame(voice);
    if (voice.paused || clock < voice.base_clock)
        return voice.base_frame;
    return voice.base_frame + (clock - voice.base_clock);
}

}  // namespace

void BackendVoiceDeleter::operator()(BackendVoice* voice) const
{
    if (voice == music)
        music = nullptr;
    delete voice;
}

bool backend_open(uint32_t /*frequency*/)
{
    frame_time.open = true;
    return true;
}

void backend_close()
{
    frame_time.open = false;
}

BackendVoicePtr backend_voice_create(const DecodedAudio& pcm)
{
    // One position for one stream: a second stream would have no meaning on a video's time line.
    if (!frame_time.open || music != nullptr || pcm.samples.empty() || pcm.rate <= 0 || pcm.channels <= 0)
        return nullptr;
    BackendVoicePtr voice(new BackendVoice);
    voice->pcm = pcm;
    music = voice.get();
    return voice;
}

bool backend_voice_play(BackendVoice& voice)
{
    voice.playing = true;
    return true;
}

void backend_voice_set_gain(BackendVoice& voice, float gain)
{
    voice.gain = gain;
}

bool backend_voice_pause(BackendVoice& voice)
{
    voice.base_frame = voice_frame(voice);
    voice.paused = true;
    return true;
}

bool backend_voice_resume(BackendVoice& voice)
{
    if (voice.paused)
        voice.base_clock = clock_frame(voice);
    voice.paused = false;
    return true;
}

bool backend_voice_seek(BackendVoice& voice, uint64_t frame, bool /*hold*/)
{
    voice.base_frame = frame;
    voice.base_clock = clock_frame(voice);
    return true;
}

VoiceReading backend_voice_read(BackendVoice& voice)
{
    VoiceReading reading;
    const auto rate = static_cast<uint64_t>(voice.pcm.rate);
    const uint64_t length = voice.pcm.samples.size() / static_cast<uint64_t>(voice.pcm.channels);
    const uint64_t sample_frame = voice_frame(voice);
    reading.exact = true;
    reading.exact_frame = voice.playing ? sample_frame : 0;
    reading.mixed_seconds = static_cast<double>(reading.exact_frame) / static_cast<double>(rate);
    if (!voice.playing)
        reading.state = VoiceState::Waiting;
    else
        reading.state = sample_frame < length ? VoiceState::Playing : VoiceState::Finished;
    return reading;
}

void frame_clock_set(uint64_t frame, uint32_t frames_per_second)
{
    frame_time.frame = frame;
    frame_time.frames_per_second = frames_per_second > 0 ? frames_per_second : 1;
}

const DecodedAudio* frame_clock_music()
{
    return music != nullptr ? &music->pcm : nullptr;
}

float frame_clock_gain()
{
    return music != nullptr ? music->gain : DEFAULT_GAIN;
}
