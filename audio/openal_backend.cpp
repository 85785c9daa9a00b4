// Output back end over OpenAL Soft: one device, one context, and per stream one static buffer
// holding the whole decoded PCM attached to one source.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <climits>
#include <cmath>

#include "audio/backend.h"

namespace {

// Used when the device does not report its refresh rate: OpenAL Soft's usual 1024-frame period.
constexpr double FALLBACK_PERIOD_SECONDS = 1024.0 / 44100.0;
// Frequencies outside this range are not audio rates; asking a device for them is a caller error.
constexpr uint32_t MAX_FREQUENCY = 192000;

struct DeviceCloser {
    void operator()(ALCdevice* device) const { alcCloseDevice(device); }
};
struct ContextDestroyer {
    void operator()(ALCcontext* context) const
    {
        if (alcGetCurrentContext() == context)
            alcMakeContextCurrent(nullptr);
        alcDestroyContext(context);
    }
};

struct Output {
    std::unique_ptr<ALCdevice, DeviceCloser> device;  // first member: closed after the context
    std::unique_ptr<ALCcontext, ContextDestroyer> context;
    LPALGETSOURCEDVSOFT get_source_dv = nullptr;  // offset with latency (AL_SOFT_source_latency)
    bool direct_channels = false;                 // AL_SOFT_direct_channels: stereo music unpanned
    bool reports_disconnect = false;              // ALC_EXT_disconnect
    double period_seconds = FALLBACK_PERIOD_SECONDS;
};

// Deliberately a plain pointer and not a static object: it must not be torn down by static
// destructors at exit, after the output library may have shut itself down.
Output* output = nullptr;

bool al_ok()
{
    return alGetError() == AL_NO_ERROR;
}

}  // namespace

struct BackendVoice {
    struct Buffer {
        ALuint id = 0;
        Buffer() = default;
        Buffer(const Buffer&) = delete;
        Buffer& operator=(const Buffer&) = delete;
        ~Buffer()
        {
            if (id != 0)
                alDeleteBuffers(1, &id);
        }
    };
    struct Source {
        ALuint id = 0;
        Source() = default;
        Source(const Source&) = delete;
        Source& operator=(const Source&) = delete;
        ~Source()
        {
            if (id == 0)
                return;
            alSourceStop(id);
            alSourcei(id, AL_BUFFER, 0);
            alDeleteSources(1, &id);
        }
    };
    Buffer buffer;  // declared before the source: deleted after it, once nothing uses it
    Source source;
    ALint frames = 0;  // the buffer's length in sample frames
    // A stopped source forgets its offset and would play from the start: a seek to the end
    // stops it for good, and a seek while stopped leaves an offset that only a play applies.
    bool at_end = false;
    bool offset_pending = false;
};

void BackendVoiceDeleter::operator()(BackendVoice* voice) const
{
    delete voice;
}

bool backend_open(uint32_t frequency)
{
    if (output != nullptr)
        return true;
    if (frequency > MAX_FREQUENCY)
        return false;
    std::unique_ptr<Output> fresh(new Output);
    fresh->device.reset(alcOpenDevice(nullptr));
    if (!fresh->device)
        return false;
    const ALCint attributes[] = {ALC_FREQUENCY, static_cast<ALCint>(frequency), 0};
    fresh->context.reset(alcCreateContext(fresh->device.get(), frequency != 0 ? attributes : nullptr));
    if (!fresh->context || alcMakeContextCurrent(fresh->context.get()) != ALC_TRUE)
        return false;

    if (alIsExtensionPresent("AL_SOFT_source_latency"))
        fresh->get_source_dv = reinterpret_cast<LPALGETSOURCEDVSOFT>(alGetProcAddress("alGetSourcedvSOFT"));
    fresh->direct_channels = alIsExtensionPresent("AL_SOFT_direct_channels") == AL_TRUE;
    fresh->reports_disconnect = alcIsExtensionPresent(fresh->device.get(), "ALC_EXT_disconnect") == ALC_TRUE;
    ALCint refresh = 0;
    alcGetIntegerv(fresh->device.get(), ALC_REFRESH, 1, &refresh);
    if (refresh > 0)
        fresh->period_seconds = 1.0 / refresh;
    output = fresh.release();
    return true;
}

void backend_close()
{
    delete output;
    output = nullptr;
}

BackendVoicePtr backend_voice_create(const DecodedAudio& pcm)
{
    if (output == nullptr || pcm.samples.empty() || pcm.rate <= 0 || pcm.rate > INT_MAX)
        return nullptr;
    if (pcm.channels != 1 && pcm.channels != 2)
        return nullptr;
    if (pcm.samples.size() > static_cast<size_t>(INT_MAX) / sizeof(int16_t))
        return nullptr;
    const ALenum format = pcm.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    const auto bytes = static_cast<ALsizei>(pcm.samples.size() * sizeof(int16_t));

    alGetError();  // forget errors that are not ours
    BackendVoicePtr voice(new BackendVoice);
    alGenBuffers(1, &voice->buffer.id);
    if (!al_ok())
        return nullptr;
    alBufferData(voice->buffer.id, format, pcm.samples.data(), bytes, static_cast<ALsizei>(pcm.rate));
    if (!al_ok())
        return nullptr;
    alGenSources(1, &voice->source.id);
    if (!al_ok())
        return nullptr;
    const ALuint source = voice->source.id;
    // Music, not a sound in a scene: fixed at the listener, no distance or panning applied.
    alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
    if (output->direct_channels)
        alSourcei(source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(voice->buffer.id));
    if (!al_ok())
        return nullptr;
    voice->frames = static_cast<ALint>(pcm.samples.size() / static_cast<size_t>(pcm.channels));
    return voice;
}

bool backend_voice_play(BackendVoice& voice)
{
    if (voice.at_end)
        return true;
    alGetError();
    alSourcePlay(voice.source.id);
    voice.offset_pending = false;
    return al_ok();
}

namespace {

ALint source_state(const BackendVoice& voice)
{
    ALint state = AL_INITIAL;
    alGetSourcei(voice.source.id, AL_SOURCE_STATE, &state);
    return state;
}

}  // namespace

bool backend_voice_pause(BackendVoice& voice)
{
    alGetError();
    alSourcePause(voice.source.id);  // a stopped source stays stopped
    return al_ok();
}

bool backend_voice_resume(BackendVoice& voice)
{
    const ALint state = source_state(voice);
    if (voice.at_end || (state != AL_PAUSED && !voice.offset_pending))
        return true;
    return backend_voice_play(voice);
}

bool backend_voice_seek(BackendVoice& voice, uint64_t frame, bool hold)
{
    alGetError();
    if (frame >= static_cast<uint64_t>(voice.frames)) {
        alSourceStop(voice.source.id);
        voice.at_end = true;
        voice.offset_pending = false;
        return al_ok();
    }
    voice.at_end = false;
    const ALint state = source_state(voice);
    // Applied at once to a playing or paused source, kept for the next play by any other.
    alSourcei(voice.source.id, AL_SAMPLE_OFFSET, static_cast<ALint>(frame));
    if (!al_ok())
        return false;
    if (state == AL_PLAYING || state == AL_PAUSED)
        return true;
    voice.offset_pending = true;
    if (state == AL_STOPPED && !hold)
        return backend_voice_play(voice);
    return true;
}

void backend_voice_set_gain(BackendVoice& voice, float gain)
{
    alSourcef(voice.source.id, AL_GAIN, gain);
}

VoiceReading backend_voice_read(BackendVoice& voice)
{
    VoiceReading reading;
    if (output == nullptr)
        return reading;
    reading.period_seconds = output->period_seconds;
    ALint state = AL_INITIAL;
    alGetSourcei(voice.source.id, AL_SOURCE_STATE, &state);
    if (output->get_source_dv != nullptr) {
        ALdouble values[2] = {0.0, 0.0};
        output->get_source_dv(voice.source.id, AL_SEC_OFFSET_LATENCY_SOFT, values);
        reading.mixed_seconds = values[0];
        reading.latency_seconds = values[1];
    } else {
        ALfloat offset = 0.0f;
        alGetSourcef(voice.source.id, AL_SEC_OFFSET, &offset);
        reading.mixed_seconds = offset;
    }
    if (!std::isfinite(reading.mixed_seconds) || reading.mixed_seconds < 0.0)
        reading.mixed_seconds = 0.0;
    if (!std::isfinite(reading.latency_seconds) || reading.latency_seconds < 0.0)
        reading.latency_seconds = 0.0;
    switch (state) {
    case AL_PLAYING:
    case AL_PAUSED:
        reading.state = VoiceState::Playing;
        break;
    case AL_STOPPED:
        reading.state = VoiceState::Finished;
        break;
    default:
        reading.state = VoiceState::Waiting;
        break;
    }
    // Asked last: a lost device stops its sources, and a source seen stopped before the device
    // was seen lost would pass for the end of the music.
    if (output->reports_disconnect) {
        ALCint connected = ALC_TRUE;
        alcGetIntegerv(output->device.get(), ALC_CONNECTED, 1, &connected);
        if (connected == ALC_FALSE)
            return VoiceReading{VoiceState::Lost, 0.0, 0.0, output->period_seconds};
    }
    return reading;
}
