// Decoding whole MP3s: exact lengths and formats of known files, clean refusal of bad ones.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "audio/mp3_decoder.h"
#include "tone_mp3.h"

namespace {

double rms_of(const std::vector<int16_t>& samples, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

void expect_refused(const std::vector<uint8_t>& bytes, const char* what)
{
    DecodedAudio out;
    out.channels = 7;  // stale contents must not survive a failure
    out.samples.assign(5, 1);
    EXPECT_FALSE(decode_mp3_memory(bytes.data(), bytes.size(), out)) << what;
    EXPECT_TRUE(out.samples.empty()) << what;
    EXPECT_EQ(out.channels, 0) << what;
    EXPECT_EQ(out.rate, 0) << what;
}

}  // namespace

TEST(Mp3Decoder, KnownFilesDecodeToTheirExactLengthRateAndLevel)
{
    struct Case {
        ToneSpec spec;
        size_t frames;
    };
    const Case cases[] = {
        {{1.0, 44100, 2, 440.0, 0.5, 128}, 44100},
        {{0.5, 22050, 1, 440.0, 0.25, 64}, 11025},
        {{0.3, 48000, 2, 1000.0, 0.5, 192}, 14400},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> mp3 = encode_tone_mp3(c.spec);
        ASSERT_FALSE(mp3.empty());
        const std::string path = write_temp_file("known.mp3", mp3);
        ASSERT_FALSE(path.empty());

        DecodedAudio file;
        ASSERT_TRUE(decode_mp3_file(path.c_str(), file));
        EXPECT_EQ(file.rate, c.spec.rate);
        EXPECT_EQ(file.channels, c.spec.channels);
        EXPECT_EQ(file.samples.size(), c.frames * static_cast<size_t>(c.spec.channels)) << "gapless length";

        DecodedAudio memory;
        ASSERT_TRUE(decode_mp3_memory(mp3.data(), mp3.size(), memory));
        EXPECT_EQ(memory.samples, file.samples) << "file and memory decode alike";

        // A sine of amplitude A has RMS A/sqrt(2); the middle avoids the encoder's fade-in.
        const size_t n = file.samples.size();
        const double expected = c.spec.amplitude * 32767.0 / std::sqrt(2.0);
        EXPECT_NEAR(rms_of(file.samples, n / 4, 3 * n / 4), expected, expected * 0.1);
    }
}

TEST(Mp3Decoder, TruncatedFileDecodesWhatIsThere)
{
    const std::vector<uint8_t> mp3 = encode_tone_mp3({1.0, 44100, 2, 440.0, 0.5, 128});
    const std::vector<uint8_t> half(mp3.begin(), mp3.begin() + static_cast<long>(mp3.size() / 2));
    DecodedAudio out;
    ASSERT_TRUE(decode_mp3_memory(half.data(), half.size(), out));
    EXPECT_GT(out.samples.size(), 44100u * 2 / 4);
    EXPECT_LT(out.samples.size(), 44100u * 2);
    EXPECT_EQ(out.samples.size() % 2, 0u);
}

TEST(Mp3Decoder, MissingEmptyAndUndecodableInputsAreRefused)
{
    DecodedAudio out;
    EXPECT_FALSE(decode_mp3_file(nullptr, out));
    EXPECT_FALSE(decode_mp3_file((temp_dir() + "/no-such-file.mp3").c_str(), out));
    EXPECT_FALSE(decode_mp3_file(temp_dir().c_str(), out)) << "a directory";
    EXPECT_FALSE(decode_mp3_file(write_temp_file("empty.mp3", {}).c_str(), out));
    EXPECT_TRUE(out.samples.empty());
    EXPECT_FALSE(decode_mp3_memory(nullptr, 100, out));

    const std::vector<uint8_t> mp3 = encode_tone_mp3({0.5, 44100, 2, 440.0, 0.5, 128});
    expect_refused({}, "empty");
    expect_refused({mp3.begin(), mp3.begin() + 3}, "three bytes");
    expect_refused({mp3.begin(), mp3.begin() + 40}, "part of the first frame");
    expect_refused(std::vector<uint8_t>(4096, 0), "zeros");
    std::mt19937 random(1234);
    std::vector<uint8_t> noise(8192);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(random());
    expect_refused(noise, "random bytes");
    const std::string text = "ID3 this is not an mp3 file at all, just text\n";
    expect_refused({text.begin(), text.end()}, "text");
    const std::string noise_path = write_temp_file("noise.mp3", noise);
    EXPECT_FALSE(decode_mp3_file(noise_path.c_str(), out));
}

// What a fuzzer would do, briefly: damaged files must decode to something sane or be refused.
TEST(Mp3Decoder, DamagedFilesNeverYieldInsaneResults)
{
    const std::vector<uint8_t> mp3 = encode_tone_mp3({0.3, 44100, 2, 440.0, 0.5, 128});
    std::mt19937 random(99);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> damaged = mp3;
        const int flips = 1 + round % 16;
        for (int i = 0; i < flips; ++i)
            damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
        if (round % 3 == 0)
            damaged.resize(random() % damaged.size() + 1);
        DecodedAudio out;
        if (decode_mp3_memory(damaged.data(), damaged.size(), out)) {
            ASSERT_TRUE(out.channels == 1 || out.channels == 2) << round;
            ASSERT_GT(out.rate, 0) << round;
            ASSERT_FALSE(out.samples.empty()) << round;
            ASSERT_EQ(out.samples.size() % static_cast<size_t>(out.channels), 0u) << round;
            ASSERT_LE(out.samples.size(), damaged.size() * 64) << round;
        } else {
            ASSERT_TRUE(out.samples.empty()) << round;
        }
    }
}
