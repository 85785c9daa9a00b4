// The music's peaks and onsets for the editor's lanes and its length in rows, decoded once on a thread of
// its own from the same file and by the same decoder the demo plays.
//
// A bucket is 1/8 row; each holds the lowest and highest sample of every channel in it, from -1
// to 1. Nothing here touches the audio layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"

constexpr double WAVEFORM_ROWS_PER_BUCKET = 0.125;

struct Waveform {
    int32_t rows = 0;  // the music's length in rows, rounded up
    std::vector<float> min;
    std::vector<float> max;
};

// The peaks of decoded audio (pure).
Waveform waveform_of(const DecodedAudio& audio);

// Starts decoding `music_path`; waveform_wait gives the result once done. Stop joins the thread.
void waveform_start(const std::string& music_path);
void waveform_stop();

// Waits for the decoding; false when it failed or is not done within the timeout.
bool waveform_wait(double timeout_s, const Waveform*& waveform);

// The GET /api/waveform answer, built once: the peaks and the rows of the music's onsets. Call it
// only after waveform_wait succeeded; it waits for the onsets (about half a second more).
const std::string& waveform_json();
