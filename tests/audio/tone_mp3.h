// Test inputs for the audio layer: MP3 files of a pure tone, encoded at test time, in a temporary
// folder that goes away at exit. Amplitudes are fractions of 16-bit full scale; lengths in seconds.
#pragma once

#include <lame.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "tests/support/temp_folder.h"

struct ToneSpec {
    double seconds = 1.0;
    int rate = 44100, channels = 2;  // rate in sample frames per second
    double frequency = 440.0, amplitude = 0.5;
    int kbps = 128;
};

// The same sine in every channel, led by the encoder's info frame so that decoders know the exact
// (gapless) length.
inline std::vector<uint8_t> encode_tone_mp3(const ToneSpec& tone)
{
    std::vector<short> pcm(static_cast<size_t>(std::lround(tone.seconds * tone.rate)));
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<short>(std::lround(
            tone.amplitude * 32767.0 * std::sin(6.283185307179586 * tone.frequency * i / tone.rate)));
    lame_global_flags* lame = lame_init();
    lame_set_in_samplerate(lame, tone.rate);
    lame_set_num_channels(lame, tone.channels);
    lame_set_brate(lame, tone.kbps);
    lame_init_params(lame);
    std::vector<uint8_t> mp3(pcm.size() * 5 / 4 + 14400);  // the encoder's bound on its output
    const int size = lame_encode_buffer(lame, pcm.data(), pcm.data(), static_cast<int>(pcm.size()),
                                        mp3.data(), static_cast<int>(mp3.size()));
    mp3.resize(size + lame_encode_flush(lame, &mp3[size], static_cast<int>(mp3.size()) - size));
    lame_get_lametag_frame(lame, mp3.data(), mp3.size());  // over the placeholder frame at the start
    lame_close(lame);
    return mp3;
}

// A folder of this process's own, and files written into it (returning their paths).
inline const std::string& temp_dir()
{
    static const TempFolder folder;
    return folder.path();
}

inline std::string write_temp_file(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::ofstream(temp_dir() + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return temp_dir() + "/" + name;
}
