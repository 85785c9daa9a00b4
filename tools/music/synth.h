// Renders the piece (score.h) to 16-bit stereo PCM at 44100 Hz: instruments, mixing, effects, limiting.
//
// The output depends on nothing but the code: no clock, no environment, fixed noise seeds, so the
// same binary renders the same samples every time on a machine (the maths library may choose
// CPU-specific routines, so another processor could differ in the last bit now and then). Peaks stay below
// MUSIC_CEILING (about -1 dBFS) so the encoded file does not clip either. Memory: roughly 150 MB while
// rendering the whole piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int MUSIC_SAMPLE_RATE = 44100;
constexpr int MUSIC_CHANNELS = 2;
constexpr size_t SONG_FRAMES = 65 * MUSIC_SAMPLE_RATE;  // SONG_SECONDS of score.h, in frames
constexpr double MUSIC_CEILING = 0.89;                  // peak limit as a fraction of full scale

// The first `frame_count` frames of the piece (at most SONG_FRAMES), interleaved left, right.
// A shorter render is the start of the full one except within a few milliseconds of its end,
// where the peak limiter cannot look ahead past the cut.
std::vector<int16_t> render_song(size_t frame_count);
