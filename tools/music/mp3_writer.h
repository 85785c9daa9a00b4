// Encodes 16-bit stereo PCM into an MP3 file (constant bit rate, joint stereo) with the encoder's
// info tag in the first frame, so decoders know the exact length and skip the codec's padding.
//
// The file is written beside its destination as "<path>.tmp" and renamed over `path` only when
// every step worked; a failed run leaves any earlier file untouched and no temporary behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int MP3_BITRATE_KBPS = 160;

// False with a one-line reason in `error` when the encoder or the file refuses.
bool write_mp3(const std::string& path, const std::vector<int16_t>& interleaved, int sample_rate,
               std::string& error);
