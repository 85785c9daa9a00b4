// Internal to audio/: what the audio calls need from an output back end. May change at any time.
// Exactly one back end is linked into a library: OpenAL Soft in vordel_audio, the frame clock for
// rendering to video in vordel_audio_clock; each lives in its own .cpp with the same functions.
// A back end does not smooth positions or check handles: audio.cpp does that for every back end.
// Times are seconds, places in a voice are sample frames; voices are owned by the caller and must
// be released before backend_close. Handle rules (pausing before play, and so on) live in audio.cpp.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/mp3_decoder.h"

struct BackendVoice;  // one decoded stream placed on the output
struct BackendVoiceDeleter {
    void operator()(BackendVoice* voice) const;  // stops playback and releases the voice
};
using BackendVoicePtr = std::unique_ptr<BackendVoice, BackendVoiceDeleter>;

enum class VoiceState {
    Waiting,   // not started
    Playing,   // the mixer is consuming it
    Finished,  // the mixer has consumed the last sample (it may still be on its way to the speakers)
    Lost,      // the output went away; no more readings will come
};

struct VoiceReading {
    VoiceState state = VoiceState::Waiting;
    double mixed_seconds = 0.0;    // the mixer's offset in the stream; moves once per mixing period
    double latency_seconds = 0.0;  // from mixing to hearing, 0 when the back end cannot tell
    double period_seconds = 0.0;   // mixing period: the largest step mixed_seconds takes at once
    // A back end that is itself the clock (nothing mixed, nothing smoothed) gives the audible sample
    // frame exactly; seconds would not survive the trip back to frames in every case.
    bool exact = false;
    uint64_t exact_frame = 0;
};

// Opens the default output at `frequency` Hz (0: the device's own rate). False when there is none.
bool backend_open(uint32_t frequency);
void backend_close();

// Copies the PCM to the output; null when the output refuses it (nothing is left behind then).
BackendVoicePtr backend_voice_create(const DecodedAudio& pcm);
bool backend_voice_play(BackendVoice& voice);
void backend_voice_set_gain(BackendVoice& voice, float gain);  // gain already in 0..1
// Pausing holds the voice where the mixer has it; resuming goes on from its current place.
bool backend_voice_pause(BackendVoice& voice);
bool backend_voice_resume(BackendVoice& voice);
// Moves the voice to sample `frame`; at or past its length it is finished. A voice that is playing,
// or has finished while `hold` is false, plays on from there; a paused or waiting one stays so.
bool backend_voice_seek(BackendVoice& voice, uint64_t frame, bool hold);
VoiceReading backend_voice_read(BackendVoice& voice);
