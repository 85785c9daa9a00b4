// The MP3 side: the encoder writes a file that decodes to exactly the frames it was given, refuses
// an unwritable path without leaving litter, and the committed music file is the full piece.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "tools/music/mp3_writer.h"
#include "tools/music/synth.h"

namespace {

struct Decoded {
    bool ok = false;
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
};

// Decodes a whole file with gapless trimming, as the demo's audio layer does.
Decoded decode(const std::string& path) {
    Decoded result;
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr) {
        return result;
    }
    mpg123_param(handle, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    int encoding = 0;
    if (mpg123_open(handle, path.c_str()) == MPG123_OK &&
        mpg123_getformat(handle, &result.rate, &result.channels, &encoding) == MPG123_OK) {
        mpg123_format_none(handle);
        mpg123_format(handle, result.rate, result.channels, MPG123_ENC_SIGNED_16);
        unsigned char buffer[16384];
        size_t done = 0;
        int status = MPG123_OK;
        while (status == MPG123_OK || status == MPG123_NEW_FORMAT) {
            status = mpg123_read(handle, buffer, sizeof buffer, &done);
            size_t old_size = result.samples.size();
            result.samples.resize(old_size + done / sizeof(int16_t));
            std::memcpy(result.samples.data() + old_size, buffer, done / sizeof(int16_t) * sizeof(int16_t));
        }
        result.ok = status == MPG123_DONE;
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return result;
}

std::string temporary_path(const char* name) {
    return ::testing::TempDir() + name + std::to_string(getpid()) + ".mp3";
}

bool exists(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        std::fclose(file);
    }
    return file != nullptr;
}

}  // namespace

TEST(MusicMp3, EncodesToExactlyTheGivenFrames) {
    constexpr size_t FRAMES = 44100 + 123;  // not a whole number of codec frames
    std::vector<int16_t> pcm(FRAMES * 2);
    for (size_t i = 0; i < FRAMES; ++i) {
        int16_t value = static_cast<int16_t>(std::lround(8000.0 * std::sin(2.0 * 3.14159265358979 * 440.0 * i / 44100.0)));
        pcm[2 * i] = value;
        pcm[2 * i + 1] = static_cast<int16_t>(value / 2);
    }
    std::string path = temporary_path("music_tone");
    std::string error;
    ASSERT_TRUE(write_mp3(path, pcm, 44100, error)) << error;
    EXPECT_FALSE(exists(path + ".tmp"));
    Decoded decoded = decode(path);
    std::remove(path.c_str());
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.rate, 44100);
    EXPECT_EQ(decoded.channels, 2);
    ASSERT_EQ(decoded.samples.size(), pcm.size());  // the info tag trims the codec's padding
    // The tone survives in place: no offset, the right channel at half level.
    double error_sum = 0.0;
    double signal_sum = 0.0;
    for (size_t i = 2000; i < pcm.size() - 2000; ++i) {
        double difference = decoded.samples[i] - pcm[i];
        error_sum += difference * difference;
        signal_sum += static_cast<double>(pcm[i]) * pcm[i];
    }
    EXPECT_LT(error_sum, 0.01 * signal_sum);  // better than 20 dB signal to error
}

TEST(MusicMp3, RefusesAnUnwritablePathAndKeepsNoTemporary) {
    std::string path = "/nonexistent-directory/music.mp3";
    std::string error;
    EXPECT_FALSE(write_mp3(path, std::vector<int16_t>(2000, 0), 44100, error));
    EXPECT_NE(error.find("/nonexistent-directory/music.mp3.tmp"), std::string::npos) << error;
    EXPECT_FALSE(exists(path + ".tmp"));
}

TEST(MusicMp3, CommittedMusicFileIsTheWholePiece) {
    Decoded decoded = decode(VORDEL_MUSIC_FILE);
    ASSERT_TRUE(decoded.ok) << VORDEL_MUSIC_FILE;
    EXPECT_EQ(decoded.rate, MUSIC_SAMPLE_RATE);
    EXPECT_EQ(decoded.channels, MUSIC_CHANNELS);
    size_t frames = decoded.samples.size() / MUSIC_CHANNELS;
    EXPECT_GE(frames, static_cast<size_t>(64.0 * MUSIC_SAMPLE_RATE));
    EXPECT_EQ(frames, SONG_FRAMES);
    // Loud enough in the climax (bar 24 on, 45 s) and not clipped by the codec.
    int peak = 0;
    for (int16_t sample : decoded.samples) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    EXPECT_LT(peak, 32767);
}
