// Decodes a whole MP3 (MPEG audio layer 1, 2 or 3) into 16-bit signed PCM in memory.
// No output device, no streaming: the full scan gives the exact length, then every frame is decoded.
// Samples are interleaved (one sample frame = `channels` samples); `rate` is in sample frames per
// second. Hostile input is refused (false), never trusted: decoded size is bounded by the input size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct DecodedAudio {
    std::vector<int16_t> samples;  // interleaved, channels × frames
    int channels = 0;              // 1 or 2, as the file says
    long rate = 0;                 // sample frames per second
};

// False for a missing, empty, unreadable or undecodable file (zero samples); `out` is then empty.
bool decode_mp3_file(const char* path, DecodedAudio& out);

// Same for bytes in memory (not kept after the call); any bytes at all are safe to pass.
bool decode_mp3_memory(const uint8_t* data, size_t size, DecodedAudio& out);
