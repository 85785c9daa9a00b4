// Reads the wave files that the output library's wave writer produces, for checking what was played.
// 16-bit PCM and 32-bit float, plain or extensible headers; samples come back as -1..1.
#pragma once

#include <string>
#include <vector>

struct WaveData {
    int channels = 0;
    int rate = 0;                 // sample frames per second
    std::vector<double> samples;  // interleaved
};

// False when the file is missing or not a wave file of a supported format.
bool read_wave_file(const std::string& path, WaveData& out);
