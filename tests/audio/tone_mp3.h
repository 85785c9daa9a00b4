// Test inputs for the audio layer: MP3 files of a pure tone, encoded at test time, and temp files.
// Nothing here plays sound. Amplitudes are fractions of 16-bit full scale; lengths in seconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ToneSpec {
    double seconds = 1.0;
    int rate = 44100;  // sample frames per second
    int channels = 2;
    double frequency = 440.0;
    double amplitude = 0.5;
    int kbps = 128;
};

// The encoded MP3, with a LAME info frame so that decoders know the exact length (gapless).
std::vector<uint8_t> encode_tone_mp3(const ToneSpec& spec);

// A fresh directory for this process's files (created once, left for inspection).
const std::string& temp_dir();

// Writes `bytes` to temp_dir()/name and returns the path ("" on failure).
std::string write_temp_file(const std::string& name, const std::vector<uint8_t>& bytes);
