// The frame clock: an audio back end that plays nothing and is itself the playback clock, for
// rendering the demo to video. Link vordel_audio_clock instead of vordel_audio; the audio calls
// stay the same. Only one stream at a time (the music). Times are video frames at a frame rate;
// positions become whole sample frames of the stream (frame × rate / fps, rounded down), so they
// are exact when fps divides the stream's rate. A pause holds the position while the clock moves;
// a seek moves it, and it follows the clock from there. The PCM is kept here until it is freed.
#pragma once

#include <cstdint>

#include "audio/mp3_decoder.h"

// Moves the clock to video frame `frame` at `frames_per_second` (> 0): from now on the stream's
// position is that moment, or its end once the moment is past the end. Frame 0 until called.
void frame_clock_set(uint64_t frame, uint32_t frames_per_second);

// The decoded music of the open stream, or null when there is none.
const DecodedAudio* frame_clock_music();

// The volume the audio calls last gave the stream (already clamped to 0..1); 1 until one is set.
float frame_clock_gain();
