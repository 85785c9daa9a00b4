// vordel-capture's parts without a window: its command line, and its sound track (the music under the
// captured frames, the volume ramped across each).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "capture/capture_audio.h"
#include "capture/capture_options.h"

TEST(CaptureOptions, GiveTheirValuesOrOneLineSayingWhatIsWrong)
{
    const struct {
        std::vector<const char*> argv;
        std::string why;  // why the line is refused; empty for a good line that gives `want`
        CaptureOptions want = {};
    } cases[] = {
        {{"a", "--help"}, "", {1920, 1080, 60, "vordel.mp4", 0, -1, true}},
        {{"a", "--size=160x90", "--fps", "10", "--out=b", "--from=12.5"}, "", {160, 90, 10, "b", 12.5, -1}},
        {{"a", "--size", "2x8192", "--fps=1000", "--to=1e9"}, "", {2, 8192, 1000, "vordel.mp4", 0, 1e9}},
        {{"a", "--from", "40", "--to", "40", "-h"}, "", {1920, 1080, 60, "vordel.mp4", 40, 40, true}},
        {{"a", "extra"}, "unknown option 'extra'"},
        {{"a", "--fps"}, "--fps needs a value"},
        {{"a", "--size", "-2x4"}, "--size wants WIDTHxHEIGHT, such as 1280x720, not '-2x4'"},
        {{"a", "--size=16x9x"}, "--size wants WIDTHxHEIGHT, such as 1280x720, not '16x9x'"},
        {{"a", "--size", "0x2"}, "--size 0x2 is out of range (2 to 8192 pixels a side)"},
        {{"a", "--size", "2x8194"}, "--size 2x8194 is out of range (2 to 8192 pixels a side)"},
        {{"a", "--size", "161x90"}, "--size 161x90: width and height must be even (the video is 4:2:0)"},
        {{"a", "--fps", "0"}, "--fps wants a whole number of frames per second from 1 to 1000, not '0'"},
        {{"a", "--fps=1001"}, "--fps wants a whole number of frames per second from 1 to 1000, not '1001'"},
        {{"a", "--out="}, "--out needs a file name"},
        {{"a", "--from", "-1"}, "--from wants a row (a number from 0 to 1e9), not '-1'"},
        {{"a", "--from", "nan"}, "--from wants a row (a number from 0 to 1e9), not 'nan'"},
        {{"a", "--to", "1.5e9"}, "--to wants a row (a number from 0 to 1e9), not '1.5e9'"},
        {{"a", "--from", "50", "--to", "40"}, "--to must not be before --from"},
    };
    for (const auto& c : cases) {
        CaptureOptions o;
        std::string error;
        EXPECT_EQ(parse_capture_options(static_cast<int>(c.argv.size()), c.argv.data(), o, error),
                  c.why.empty());
        EXPECT_EQ(error, c.why);
        const CaptureOptions& w = c.why.empty() ? c.want : o;
        EXPECT_EQ(std::tie(o.width, o.height, o.frames_per_second, o.out, o.from_row, o.to_row, o.help),
                  std::tie(w.width, w.height, w.frames_per_second, w.out, w.from_row, w.to_row, w.help));
    }
}

TEST(FadedMusic, CutsTheFramesOutOfTheMusicAndRampsTheVolumeAcrossEach)
{
    // Stereo at 1000 Hz: 100 sample frames a video frame at 10 fps; left counts up, right is 20000.
    DecodedAudio music{std::vector<int16_t>(2000, 20000), 2, 1000};
    for (size_t i = 0; i < music.samples.size(); i += 2)
        music.samples[i] = static_cast<int16_t>(i);
    EXPECT_EQ(faded_music(music, 3, 10, {1, 1}),
              std::vector<int16_t>(&music.samples[600], &music.samples[1000]));
    const std::vector<int16_t> end = faded_music(music, 9, 10, {1, 1});  // silent past the music's end
    EXPECT_EQ(std::vector<int16_t>(&end[198], &end[202]), std::vector<int16_t>({1998, 20000, 0, 0}));
    EXPECT_TRUE(faded_music(music, 0, 10, {}).empty());
    // From the volume of the frame before to its own, reached on its last sample.
    const std::vector<int16_t> fade = faded_music(music, 0, 10, {0.5f, 0.5f, 0, 0.25f});
    std::vector<int16_t> right;
    for (const int frame : {0, 199, 200, 249, 299, 300, 349, 399})
        right.push_back(fade.at(2 * frame + 1));
    EXPECT_EQ(right, std::vector<int16_t>({10000, 10000, 9900, 5000, 0, 50, 2500, 5000}));
}
