// A captured video, decoded, against the render harness's own pictures of the same rows: the
// capture must show each row as the frame driver draws it, up to what the lossy codec changes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gl_window.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "sync/demo_tracks.h"
#include "test_timeline.h"

namespace {

constexpr int WIDTH = 160;
constexpr int HEIGHT = 90;
constexpr int FPS = 10;
constexpr int FRAMES = 31;  // 3.05 s of music at 10 fps
constexpr size_t FRAME_BYTES = static_cast<size_t>(WIDTH) * HEIGHT * 3;
// Mean difference per colour value (0-255) that H.264 4:2:0 at the capture's quality stays under on
// these small textured pictures (measured: 0.9 to 3.2), and how much farther a picture of another
// row is from a frame of the cubes or the landscape (measured: at least 3).
constexpr double SAME_ROW_TOLERANCE = 4.0;
constexpr double OTHER_ROW_MARGIN = 1.5;

std::string run_folder()
{
    char pattern[] = "/tmp/vordel-frame-match-XXXXXX";
    const char* folder = mkdtemp(pattern);
    return folder != nullptr ? folder : "";
}

// Mean absolute difference of an RGBA harness picture and an RGB decoded frame, both top row first.
double mean_difference(const std::vector<uint8_t>& rgba, const uint8_t* rgb)
{
    double sum = 0.0;
    for (size_t pixel = 0; pixel < static_cast<size_t>(WIDTH) * HEIGHT; ++pixel)
        for (size_t c = 0; c < 3; ++c)
            sum += std::abs(static_cast<int>(rgba[pixel * 4 + c]) - static_cast<int>(rgb[pixel * 3 + c]));
    return sum / static_cast<double>(FRAME_BYTES);
}

}  // namespace

TEST(CapturedFrames, MatchTheHarnessPictureOfTheirRow)
{
    const std::string folder = run_folder();
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(write_test_timeline(folder, "short"));
    for (const auto& entry : std::filesystem::directory_iterator(VORDEL_DATA_DIR)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".png" || ext == ".jpg" || ext == ".bmp")
            std::filesystem::copy_file(entry.path(), folder + "/" + entry.path().filename().string());
    }
    const std::string make_music = "ffmpeg -v error -f lavfi -i sine=f=440:d=3.05 -ac 2 -ar 44100 " + folder + "/music.mp3";
    ASSERT_EQ(std::system(make_music.c_str()), 0);
    const std::string capture = "cd " + folder + " && " VORDEL_CAPTURE " --size 160x90 --fps 10 --out video.mp4 >/dev/null 2>capture.err";
    ASSERT_EQ(std::system(capture.c_str()), 0);
    const std::string decode = "ffmpeg -v error -i " + folder + "/video.mp4 -f rawvideo -pix_fmt rgb24 " + folder + "/frames.rgb";
    ASSERT_EQ(std::system(decode.c_str()), 0);
    std::ifstream in(folder + "/frames.rgb", std::ios::binary);
    const std::vector<uint8_t> decoded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(decoded.size(), FRAME_BYTES * FRAMES);

    // The harness draws the same rows in the same order, from the same start-up, in its own window.
    ASSERT_TRUE(open_test_window(WIDTH, HEIGHT));
    ASSERT_EQ(chdir(folder.c_str()), 0);
    init_gl();
    demo_state.device = create_track_device();
    ASSERT_NE(demo_state.device, nullptr);
    register_demo_tracks(demo_state.device, demo_state.sync_state);
    std::vector<std::vector<uint8_t>> pictures;
    for (int n = 0; n < FRAMES; ++n) {
        demo_state.sync_state.current_row = static_cast<double>(n) / FPS * ROWS_PER_SECOND;
        render_frame();
        pictures.push_back(read_frame(WIDTH, HEIGHT));
    }

    for (int n = 0; n < FRAMES; ++n) {
        const uint8_t* frame = &decoded[FRAME_BYTES * static_cast<size_t>(n)];
        EXPECT_LT(mean_difference(pictures[n], frame), SAME_ROW_TOLERANCE) << "frame " << n;
    }
    // A frame of the cubes (12) and one of the landscape (25), where pictures move fast: of all the
    // harness's pictures, the one of their own row is the closest, by a margin.
    for (const int n : {12, 25}) {
        const uint8_t* frame = &decoded[FRAME_BYTES * static_cast<size_t>(n)];
        const double own = mean_difference(pictures[n], frame);
        for (int other = 0; other < FRAMES; ++other) {
            if (other == n)
                continue;
            EXPECT_GT(mean_difference(pictures[other], frame), own + OTHER_ROW_MARGIN) << n << " vs " << other;
        }
    }
    std::filesystem::remove_all(folder);
}
