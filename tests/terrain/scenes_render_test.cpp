// The scenes drawn for real, in one window after the program's own start-up: the landscape with the box's
// reflection kept to the mirror, then the triangle and the cubes unharmed by the state it leaves behind.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <stb/stb_image_write.h>
#include <unistd.h>

#include "tests/support/gl_window.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_tracks.h"

namespace {

constexpr int W = 320, H = 240, SIZE = 64;  // window; stand-in pictures (a multiple of 4 for RGB)
constexpr uint32_t CLEAR = 0x0d0d1a;        // (0.05, 0.05, 0.1): dark, so a reflection shows
enum SceneIndex { TRIANGLE, CUBES, LANDSCAPE };

// Gives `first` and the tracks after it these constant values.
void set(int first, std::initializer_list<double> values)
{
    for (double value : values)
        set_constant(demo_state.sync_state, static_cast<DemoTrack>(first++), value);
}

// Start-up in a folder with stand-ins for the pictures: plain light marble, and for the grass and the
// cube one picture white on its left half, black on its right. False without an X display.
bool start_program()
{
    TempFolder folder;
    char previous[4096];
    if (!open_test_window(W, H) || !getcwd(previous, sizeof previous) || chdir(folder.path().c_str()))
        return false;
    std::vector<uint8_t> picture(SIZE * SIZE * 3), marble(SIZE * SIZE * 3, 205);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = i / 3 % SIZE < SIZE / 2 ? 255 : 0;
    stbi_write_png("dry_grass.png", SIZE, SIZE, 3, picture.data(), SIZE * 3);
    stbi_write_jpg("marble.jpg", SIZE, SIZE, 3, marble.data(), 95);
    stbi_write_bmp("jimage.bmp", SIZE, SIZE, 3, picture.data());
    init_gl();
    clear_demo_tracks(demo_state.sync_state);
    set(TRACK_CLEAR_R, {0.05, 0.05, 0.1});
    return chdir(previous) == 0;
}

// One frame of a scene at a row, as 0xRRGGBB pixels, rows bottom first.
std::vector<uint32_t> render(SceneIndex scene, double row)
{
    set(TRACK_SCENE, {static_cast<double>(scene)});
    demo_state.sync_state.current_row = row;
    render_frame();
    std::vector<uint32_t> pixels(W * H);
    glReadPixels(0, 0, W, H, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    for (uint32_t& pixel : pixels)
        pixel &= 0xffffff;
    return pixels;
}

TEST(SceneRender, LandscapeWithItsReflectionThenTriangleThenCubes)
{
    ASSERT_TRUE(start_program()) << "render tests need an X display";
    // Looking down onto the mirror at row 3.5: the box hovers 1 above it (y 2 to 2.3), so its image
    // hangs 1 below (y -0.3 to 0). scp.c 4000 puts the box hundreds of units up, out of sight.
    set(TRACK_CAM_X, {0, 4, 4, 0, 1, 0});
    set(TRACK_SCP_A, {8, 1, 2});
    const auto hovering = render(LANDSCAPE, 3.5);
    set(TRACK_SCP_A, {8, 1, 4000});
    const auto absent = render(LANDSCAPE, 3.5), turned = render(LANDSCAPE, 3.5 + 40.0 / 3);
    // Projected, with a pixel and a half to spare, the box covers rows 162 to 200 and its image rows 55
    // to 90, of which the pedestal's sides hide all but the mirror's rows (78 to 150).
    long mirrored = 0, elsewhere = 0, black = 0, recoloured = 0;
    for (int i = 0; i < W * H; ++i) {
        const bool changed = hovering[i] != absent[i], in_image = i / W >= 55 && i / W <= 90;
        mirrored += changed && in_image;
        elsewhere += changed && !in_image && (i / W < 162 || i / W > 200);
        black += absent[i] == 0;  // light alone never gives black, the grass picture's black half does
        recoloured += absent[i] != turned[i];
    }
    EXPECT_GT(mirrored, 200) << "the image shows through the mirror, as far below it as the box is above";
    EXPECT_EQ(elsewhere, 0) << "nothing changes but the box and its image";
    EXPECT_GT(black, W * H / 10) << "the grass picture shows";
    EXPECT_GT(recoloured, W * H / 5) << "the coloured lights, a third of a turn on, light other ground";

    // From below, the landscape and the mirror face away, the box (y 4 to 4.3) is above the view and
    // its image (y -2.3 to -2) would hang in plain view below the pedestal's open bottom.
    set(TRACK_CAM_X, {0, -3, 6, 0, -1.5, 0});
    set(TRACK_SCP_A, {8, 1, 6});
    const auto high = render(LANDSCAPE, 3.5);
    set(TRACK_SCP_A, {8, 1, 4000});
    EXPECT_EQ(high, render(LANDSCAPE, 3.5)) << "the reflection shows outside the mirror";
    // From behind and further below: in the upper half of the view the pedestal's back face alone
    // (a few steep slopes of the landscape show in the lower half), as wide on the left as on the
    // right, since the view is symmetric; rasterising may shift an edge by a pixel.
    set(TRACK_CAM_X, {0, -5, -4, 0, -0.5, 0});
    const auto behind = render(LANDSCAPE, 3.5);
    long covered = 0, lopsided = 0;
    for (int i = W * H / 2; i < W * H; ++i) {
        const bool here = behind[i] != CLEAR, across = behind[i / W * W + W - 1 - i % W] != CLEAR;
        covered += here;
        lopsided += here != across;
    }
    EXPECT_GT(covered, W * H / 20) << "the back face shows";
    EXPECT_LT(lopsided, H) << "the back face is the pedestal's width on both sides";

    // The triangle, in the previous frame's fade colour, unlit and untextured, from -z; culled from +z.
    for (double eye_z : {-5.0, 5.0}) {  // the first frame leaves its opaque fade colour behind
        set(TRACK_CAM_X, {0, 0, eye_z, 0, 0, 0});
        set(TRACK_FADE_R, {1, 1, 0, 1});
        render(TRIANGLE, 0);
        set(TRACK_FADE_A, {0});
        EXPECT_EQ(render(TRIANGLE, 0)[H / 2 * W + W / 2], eye_z < 0 ? 0xffff00 : CLEAR) << "eye z " << eye_z;
    }

    // One cube, face on at row 0: the white half of its picture lit by the coloured lights (and the
    // white one the landscape left on), the black half black.
    set(TRACK_CAM_X, {0, 0, 6, 0, 0, 0});
    set(TRACK_SCP_A, {1, 0});
    const auto cube = render(CUBES, 0);
    for (int shift : {0, 8, 16})
        EXPECT_GE(cube[H / 2 * W + W / 2 - 29] >> shift & 255, 48u) << "lit white, channel at bit " << shift;
    EXPECT_EQ(cube[H / 2 * W + W / 2 + 29], 0u);
}

}  // namespace
