// A captured video, decoded, against the render harness's own pictures of its rows: each frame must be
// close to the picture of its row, up to what the codec changes, and clearly farther from all others.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/gl_window.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "tests/support/temp_folder.h"

TEST(CapturedFrames, MatchTheHarnessPictureOfTheirRowAndNoOther)
{
    // Rows 770 to 830 at 10 fps: frames 452 to 486, the drop's flash clearing, then the landscape in
    // motion with its sky pulsing (the black rows just before the drop would make frames alike).
    const int first = 452, count = 35;
    const size_t bytes = 160 * 90 * 3;
    const TempFolder folder;
    ASSERT_EQ(chdir(VORDEL_DATA_DIR), 0);
    const std::string video = folder.file("v.mp4");
    const std::string capture = VORDEL_CAPTURE " --size 160x90 --fps 10 --from 770 --to 830 --out " + video;
    ASSERT_EQ(std::system(capture.c_str()), 0);
    FILE* decoder =
        popen(("ffmpeg -nostdin -v error -i " + video + " -f rawvideo -pix_fmt rgb24 -").c_str(), "r");
    std::vector<uint8_t> frames(bytes * count + 1);  // a byte more, to see a longer video
    ASSERT_EQ(std::fread(frames.data(), 1, frames.size(), decoder), bytes * count);
    ASSERT_EQ(pclose(decoder), 0);

    ASSERT_TRUE(open_test_window(160, 90));
    init_gl();
    demo_state.device = create_track_device();
    register_demo_tracks(demo_state.device, demo_state.sync_state);
    std::vector<std::vector<uint8_t>> pictures;
    for (int n = first; n < first + count; ++n) {
        demo_state.sync_state.current_row = n / 10.0 * ROWS_PER_SECOND;
        render_frame();
        pictures.push_back(read_frame(160, 90));
    }
    // Mean difference per colour value: H.264 at the capture's quality stays under 4 here (measured: at
    // most 2.9); the picture of another row is at least 4.6 farther (measured).
    const auto difference = [&](int picture, int frame) {
        long sum = 0;
        for (size_t i = 0; i < bytes; ++i)
            sum += std::abs(pictures[picture][i / 3 * 4 + i % 3] - frames[bytes * frame + i]);
        return static_cast<double>(sum) / bytes;
    };
    for (int n = 0; n < count; ++n) {
        EXPECT_LT(difference(n, n), 4.0) << "frame " << first + n;
        for (int other = 0; other < count; ++other)
            EXPECT_TRUE(other == n || difference(other, n) > difference(n, n) + 1.5) << n << " vs " << other;
    }
}
