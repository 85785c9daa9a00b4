#include "tone_mp3.h"

#include <lame.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double TWO_PI = 6.283185307179586;
constexpr double FULL_SCALE = 32767.0;

}  // namespace

std::vector<uint8_t> encode_tone_mp3(const ToneSpec& spec)
{
    const int frames = static_cast<int>(std::lround(spec.seconds * spec.rate));
    std::vector<short> left(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        left[static_cast<size_t>(i)] = static_cast<short>(
            std::lround(spec.amplitude * FULL_SCALE * std::sin(TWO_PI * spec.frequency * i / spec.rate)));

    lame_global_flags* lame = lame_init();
    lame_set_in_samplerate(lame, spec.rate);
    lame_set_out_samplerate(lame, spec.rate);
    lame_set_num_channels(lame, spec.channels);
    lame_set_mode(lame, spec.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame, spec.kbps);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 1);
    std::vector<uint8_t> mp3;
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return mp3;
    }
    mp3.resize(static_cast<size_t>(frames) * 5 / 4 + 7200 * 2);
    int size =
        lame_encode_buffer(lame, left.data(), left.data(), frames, mp3.data(), static_cast<int>(mp3.size()));
    if (size >= 0) {
        const int tail = lame_encode_flush(lame, mp3.data() + size, static_cast<int>(mp3.size()) - size);
        size = tail < 0 ? -1 : size + tail;
    }
    if (size < 0) {
        mp3.clear();
    } else {
        mp3.resize(static_cast<size_t>(size));
        // The first frame is a placeholder until the encoder knows the totals.
        std::vector<uint8_t> tag(8192);
        const size_t tag_size = lame_get_lametag_frame(lame, tag.data(), tag.size());
        if (tag_size > 0 && tag_size <= mp3.size())
            std::copy(tag.begin(), tag.begin() + tag_size, mp3.begin());
    }
    lame_close(lame);
    return mp3;
}

const std::string& temp_dir()
{
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vordel-audio-XXXXXX";
        return std::string(mkdtemp(pattern.data()) != nullptr ? pattern : "");
    }();
    return dir;
}

std::string write_temp_file(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = temp_dir() + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return "";
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok ? path : "";
}
