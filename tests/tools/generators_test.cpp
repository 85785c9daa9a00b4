// The music and picture generators make the committed files byte for byte, and those are what the
// demo was made for: 65.000 s of music at the levels of its sections, RGB textures with 4-aligned
// widths, seamless grass and marble, square cards transparent around text kept off their sides, the
// greets on a dark panel.
#include <gtest/gtest.h>

#include <stb/stb_image.h>

#include <cmath>

#include "audio/mp3_decoder.h"
#include "tests/tools/tool_runner.h"
#include "tools/music/dsp.h"
#include "tools/music/mp3_writer.h"
#include "tools/music/score.h"

TEST(MusicGenerator, MakesTheCommittedMusicAtTheLengthAndLevelsOfThePiece)
{
    TempFolder out;
    expect_run(MUSIC_PATH, {"--out", out.file("music.mp3")}, 0, "wrote ");
    expect_run(MUSIC_PATH, {"-h"}, 0, "usage: vordel-music [--out FILE]\n");
    expect_run(MUSIC_PATH, {"--out"}, 2, "vordel-music: --out needs a file name\n");
    expect_run(MUSIC_PATH, {"--loud"}, 2, "vordel-music: unknown argument '--loud' (try --help)\n");
    EXPECT_TRUE(read_text(out.file("music.mp3")) == read_text(DATA_DIR "music.mp3")) << "regenerate data/";
    EXPECT_EQ(folder_contents(out.path()).size(), 1u);  // no temporary left beside it
    DecodedAudio music;
    ASSERT_TRUE(decode_mp3_file(DATA_DIR "music.mp3", music));
    EXPECT_TRUE(music.rate == 44100 && music.channels == 2) << music.rate << " Hz, " << music.channels;
    ASSERT_EQ(music.samples.size(), 2u * 65 * 44100);  // the info tag trims the codec's padding
    // Seconds from and to, and the range of the RMS between (of full scale); a bar lasts 1.875 s.
    const double levels[][4] = {
        {0.0, 0.05, 0.0, 0.002},       // from silence
        {1.875, 7.5, 0.04, 0.08},      // pads alone
        {7.5, 7.6, 0.13, 0.27},        // the first kick, bar 4
        {7.6, 45.0, 0.1, 0.14},        // the beat, the groove and the build
        {45.0, 60.0, 0.16, 0.22},      // the climax, loudest
        {60.0, 61.875, 0.12, 0.2},     // the final chord
        {61.875, 63.875, 0.06, 0.15},  // still ringing
        {64.99, 65.0, 0.0, 0.0},       // silent at the end, so the file ends without a click
    };
    for (const auto& [from, to, low, high] : levels) {
        double sum = 0.0;
        for (size_t i = static_cast<size_t>(from * 44100) * 2; i < static_cast<size_t>(to * 44100) * 2; ++i) {
            sum += std::pow(music.samples[i] / 32767.0, 2.0);
        }
        const double rms = std::sqrt(sum / ((to - from) * 44100 * 2));
        EXPECT_TRUE(rms >= low && rms <= high) << from << " to " << to << " s: " << rms;
    }
    const auto [low, high] = std::minmax_element(music.samples.begin(), music.samples.end());
    EXPECT_TRUE(*low < -16384 && *low > -32768 && *high < 32767) << "loud, not clipped by the codec";
    std::string error;
    EXPECT_FALSE(write_mp3(out.file("no/music.mp3"), std::vector<int16_t>(2000, 0), SAMPLE_RATE, error));
    EXPECT_NE(error.find(out.file("no/music.mp3.tmp")), std::string::npos) << error;
}

TEST(MusicGenerator, ClockPitchAndNoiseGiveTheirExactNumbers)
{
    const std::pair<double, double> cases[] = {
        {row_to_frame(1, 44100), 2584.0},        // 2583.984375 rounded up
        {row_to_frame(1024, 44100), 2646000.0},  // a minute
        {row_to_frame(1056, 44100), 2728688.0},  // 61.875 s rounded up
        {note_hz(69), 440.0},
        {Noise(1).next(), 270369.0 / 2147483648.0 - 1.0},  // one xorshift step from 1
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}

TEST(ImageGenerator, MakesTheCommittedPicturesAsTheDemoNeedsThem)
{
    TempFolder out;
    expect_run(IMAGES_PATH, {"--out", out.path()}, 0, "");
    EXPECT_EQ(folder_contents(out.path()).size(), 7u);
    expect_run(IMAGES_PATH, {"--help"}, 0, "usage: vordel-images [--out DIR]\n");
    expect_run(IMAGES_PATH, {"--colour"}, 2, "vordel-images: unknown argument '--colour' (try --help)\n");
    expect_run(IMAGES_PATH, {"--out", out.file("none")}, 1, "/jimage.bmp: cannot write BMP\n");
    const std::pair<std::string, int> pictures[] = {
        {"jimage.bmp", 3}, {"dry_grass.png", 3}, {"marble.jpg", 3}, {"text1.png", 4},
        {"greets.png", 4}, {"more.png", 4},      {"jimage.png", 4}};  // components the demo asks for
    for (const auto& [name, components] : pictures) {
        EXPECT_TRUE(read_text(out.file(name)) == read_text(DATA_DIR + name))
            << name << " differs: regenerate data/";
        int n = 0, height = 0, own = 0;
        unsigned char* pixels = stbi_load(out.file(name).c_str(), &n, &height, &own, 4);
        ASSERT_NE(pixels, nullptr) << name;
        EXPECT_TRUE(own == components && n == height && n % 4 == 0) << name;
        double across = 0.0, inside = 0.0;  // colour differences of neighbours over the wrap and within
        size_t clear = 0, solid = 0, near_sides = 0;
        for (int i = 0; i < n * n; ++i) {
            const int x = i % n, y = i / n, alpha = pixels[i * 4 + 3];
            for (int c = 0; c < 3; ++c) {
                (x == n - 1 ? across : inside) +=
                    std::abs(pixels[i * 4 + c] - pixels[(i - x + (x + 1) % n) * 4 + c]);
                (y == n - 1 ? across : inside) +=
                    std::abs(pixels[i * 4 + c] - pixels[(i + n) % (n * n) * 4 + c]);
            }
            clear += alpha == 0;
            solid += alpha == 255;
            near_sides += alpha > 0 && (x < n / 10 || x >= n - n / 10);
        }
        const bool tiles = name == "dry_grass.png" || name == "marble.jpg";
        EXPECT_TRUE(!tiles || across / n < 1.5 * inside / (n * (n - 1.0))) << name << " shows a seam";
        EXPECT_TRUE(components == 3 || (clear > n * n / 2u && solid > n * n / 100u && near_sides == 0))
            << name;
        // The greets lie over the tumbling cubes: the whole box of their white text, between the letters
        // too, is on a dark panel, so no lit face behind them can come near the white of the names.
        int left = n, top = n, right = -1, bottom = -1, least = 255;
        for (int i = 0; name == "greets.png" && i < n * n; ++i) {
            if (pixels[i * 4 + 3] == 255 && pixels[i * 4] > 200) {
                left = std::min(left, i % n), right = std::max(right, i % n);
                top = std::min(top, i / n), bottom = std::max(bottom, i / n);
            }
        }
        for (int i = 0; i < n * n; ++i) {
            if (i % n >= left && i % n <= right && i / n >= top && i / n <= bottom)
                least = std::min<int>(least, pixels[i * 4 + 3]);
        }
        EXPECT_TRUE(name != "greets.png" || (right - left > n / 3 && least >= 190)) << "alpha " << least;
        std::free(pixels);
    }
}
