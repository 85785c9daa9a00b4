// The terrain scene drawn for real, one whole frame at a time through the frame driver: the lit,
// textured landscape, the box at its height, and the reflection kept inside the mirror.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>
#include <stb/stb_image_write.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gl_window.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "terrain/terrain_scene.h"
#include "test_tracks.h"

namespace {

constexpr int WIDTH = 320;
constexpr int HEIGHT = 240;
constexpr int IMAGE_SIZE = 64;  // a multiple of 4, as RGB uploads need
constexpr int CHECKER_SQUARE = 8;

struct Point {
    double x, y, z;
};

// A rectangle of window pixels, rows counted from the top.
struct ScreenBox {
    double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;

    bool contains(int x, int y, double margin) const
    {
        return x >= left - margin && x <= right + margin && y >= top - margin && y <= bottom + margin;
    }
};

struct Frame {
    std::vector<uint8_t> colour;   // RGBA, rows top first
    std::vector<uint8_t> stencil;  // one byte a pixel, rows top first

    const uint8_t* at(int x, int y) const { return &colour[(static_cast<size_t>(y) * WIDTH + x) * 4]; }
    bool marked(int x, int y) const { return stencil[static_cast<size_t>(y) * WIDTH + x] != 0; }
};

int difference(const Frame& a, const Frame& b, int x, int y)
{
    int largest = 0;
    for (int c = 0; c < 3; ++c)
        largest = std::max(largest, std::abs(a.at(x, y)[c] - b.at(x, y)[c]));
    return largest;
}

// The clear colour the fixture sets, (0.05, 0.05, 0.1).
bool is_clear_colour(const uint8_t* pixel)
{
    return std::abs(pixel[0] - 13) <= 2 && std::abs(pixel[1] - 13) <= 2 && std::abs(pixel[2] - 26) <= 2;
}

int luminance(const uint8_t* pixel)
{
    return (pixel[0] * 3 + pixel[1] * 6 + pixel[2]) / 10;
}

// Small stand-ins for the demo's images: a two-tone grass checker and a plain light marble.
void write_test_images()
{
    std::vector<uint8_t> grass(IMAGE_SIZE * IMAGE_SIZE * 3);
    std::vector<uint8_t> marble(IMAGE_SIZE * IMAGE_SIZE * 3);
    for (int y = 0; y < IMAGE_SIZE; ++y) {
        for (int x = 0; x < IMAGE_SIZE; ++x) {
            const bool light = ((x / CHECKER_SQUARE) + (y / CHECKER_SQUARE)) % 2 == 0;
            uint8_t* g = &grass[(y * IMAGE_SIZE + x) * 3];
            g[0] = light ? 150 : 20;
            g[1] = light ? 240 : 50;
            g[2] = light ? 110 : 15;
            uint8_t* m = &marble[(y * IMAGE_SIZE + x) * 3];
            m[0] = 210;
            m[1] = 205;
            m[2] = 200;
        }
    }
    stbi_write_png("dry_grass.png", IMAGE_SIZE, IMAGE_SIZE, 3, grass.data(), IMAGE_SIZE * 3);
    stbi_write_jpg("marble.jpg", IMAGE_SIZE, IMAGE_SIZE, 3, marble.data(), 95);
}

class TerrainRender : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!open_test_window(WIDTH, HEIGHT))
            return;
        // The start-up state the scene relies on.
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glShadeModel(GL_SMOOTH);

        char directory[] = "/tmp/vordel-terrain-XXXXXX";
        char previous[4096];
        if (mkdtemp(directory) == nullptr || getcwd(previous, sizeof previous) == nullptr ||
            chdir(directory) != 0)
            return;
        write_test_images();
        scene = new TerrainScene(&demo_state.sync_state);  // scenes live until exit
        const auto start = std::chrono::steady_clock::now();
        scene->init();
        glFinish();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("terrain init (textures, mesh, display list): %.2f s\n", seconds);
        std::remove("dry_grass.png");
        std::remove("marble.jpg");
        if (chdir(previous) != 0)
            return;
        rmdir(directory);
    }

    void SetUp() override
    {
        ASSERT_NE(scene, nullptr) << "render tests need an X display";
        resize_test_window(WIDTH, HEIGHT);
        SyncState& sync = demo_state.sync_state;
        clear_demo_tracks(sync);
        demo_state.scenes = {scene};
        set_constant(sync, TRACK_SCENE, 0.0);
        // A dark clear colour, so that a reflection shows as a brightening of the mirror.
        set_constant(sync, TRACK_CLEAR_R, 0.05);
        set_constant(sync, TRACK_CLEAR_G, 0.05);
        set_constant(sync, TRACK_CLEAR_B, 0.1);
        // The first frame draws the box with GL's default material; every later one with white.
        set_box(8.0, 1.0, 2.0);
        render_frame();
    }

    void set_camera(Point eye, Point target)
    {
        SyncState& sync = demo_state.sync_state;
        set_constant(sync, TRACK_CAM_X, eye.x);
        set_constant(sync, TRACK_CAM_Y, eye.y);
        set_constant(sync, TRACK_CAM_Z, eye.z);
        set_constant(sync, TRACK_CAM_LOOKX, target.x);
        set_constant(sync, TRACK_CAM_LOOKY, target.y);
        set_constant(sync, TRACK_CAM_LOOKZ, target.z);
        eye_ = eye;
        target_ = target;
    }

    void set_box(double period, double fall_rate, double scale)
    {
        SyncState& sync = demo_state.sync_state;
        set_constant(sync, TRACK_SCP_A, period);
        set_constant(sync, TRACK_SCP_B, fall_rate);
        set_constant(sync, TRACK_SCP_C, scale);
    }

    // A box so high that neither it nor its reflection can be in view: period 16 rows, scale
    // 4000, at least 500 units up for the rows used here.
    void set_box_out_of_sight() { set_box(16.0, 1.0, 4000.0); }

    Frame render_at(double row)
    {
        demo_state.sync_state.current_row = row;
        render_frame();
        Frame frame;
        frame.colour = read_frame(WIDTH, HEIGHT);
        std::vector<uint8_t> bottom_up(static_cast<size_t>(WIDTH) * HEIGHT);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, WIDTH, HEIGHT, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, bottom_up.data());
        frame.stencil.resize(bottom_up.size());
        for (int y = 0; y < HEIGHT; ++y)
            std::copy_n(&bottom_up[static_cast<size_t>(HEIGHT - 1 - y) * WIDTH], WIDTH,
                        &frame.stencil[static_cast<size_t>(y) * WIDTH]);
        return frame;
    }

    // Where the axis-aligned world box from `low` to `high` lands in the window, with the frame
    // driver's projection and the camera set last.
    ScreenBox project_box(Point low, Point high) const
    {
        GLdouble projection[16];
        GLdouble modelview[16];
        const GLint viewport[4] = {0, 0, WIDTH, HEIGHT};
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        gluPerspective(45.0, static_cast<double>(static_cast<float>(WIDTH) / static_cast<float>(HEIGHT)), 0.05, 500.0);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        gluLookAt(eye_.x, eye_.y, eye_.z, target_.x, target_.y, target_.z, 0.0, 1.0, 0.0);
        glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
        glPopMatrix();

        ScreenBox box;
        for (int corner = 0; corner < 8; ++corner) {
            const double x = (corner & 1) ? high.x : low.x;
            const double y = (corner & 2) ? high.y : low.y;
            const double z = (corner & 4) ? high.z : low.z;
            GLdouble wx, wy, wz;
            gluProject(x, y, z, modelview, projection, viewport, &wx, &wy, &wz);
            box.left = std::min(box.left, wx);
            box.right = std::max(box.right, wx);
            box.top = std::min(box.top, HEIGHT - wy);
            box.bottom = std::max(box.bottom, HEIGHT - wy);
        }
        return box;
    }

    static TerrainScene* scene;
    Point eye_{};
    Point target_{};
};

TerrainScene* TerrainRender::scene = nullptr;

TEST_F(TerrainRender, LandscapeIsLitByTheCirclingLightsAndTextured)
{
    // Looking down over the basin, away from the pedestal.
    set_camera({6.0, 4.0, -2.0}, {6.0, 0.5, 4.0});
    set_box_out_of_sight();
    const Frame first = render_at(0.0);
    const Frame turned = render_at(40.0 / 3.0);  // the coloured lights a third of a turn on

    long covered = 0;
    long contrasting = 0;
    long pairs = 0;
    long recoloured = 0;
    for (int y = HEIGHT / 2; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            covered += !is_clear_colour(first.at(x, y));
            recoloured += difference(first, turned, x, y) > 10;
            if (x + 1 < WIDTH) {
                ++pairs;
                contrasting += std::abs(luminance(first.at(x, y)) - luminance(first.at(x + 1, y))) > 25;
            }
        }
    }
    const long pixels = static_cast<long>(WIDTH) * (HEIGHT / 2);
    EXPECT_GT(covered, pixels * 95 / 100) << "the ground fills the lower half";
    // The checker's edges: lighting alone changes smoothly from pixel to pixel.
    EXPECT_GT(contrasting, pairs / 50) << "the grass texture shows";
    // Red, green and blue lights trading places recolour the ground near them.
    EXPECT_GT(recoloured, pixels / 10) << "the coloured lights move over the ground";
    if (HasFailure())
        save_frame_png("terrain_landscape_failure.png", WIDTH, HEIGHT);
}

TEST_F(TerrainRender, ReflectionShowsInsideTheMirrorOnly)
{
    // Looking down onto the pedestal's top; at row 3.5 the box hovers 1 above it (y 2 to 2.3),
    // so its reflection hangs 1 below the mirror plane (y -0.3 to 0).
    set_camera({0.0, 4.0, 4.0}, {0.0, 1.0, 0.0});
    set_box(8.0, 1.0, 2.0);
    const Frame hovering = render_at(3.5);
    set_box_out_of_sight();
    const Frame absent = render_at(3.5);

    const ScreenBox box = project_box({-0.3, 2.0, -0.3}, {0.3, 2.3, 0.3});
    const ScreenBox reflection = project_box({-0.3, -0.3, -0.3}, {0.3, 0.0, 0.3});
    long marked = 0;
    long in_mirror = 0;
    long in_mirror_where_reflected = 0;
    long elsewhere = 0;
    long reflection_outside_mirror = 0;
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            const bool mirror = hovering.marked(x, y);
            marked += mirror;
            reflection_outside_mirror += !mirror && reflection.contains(x, y, 0.0) && !box.contains(x, y, 0.0);
            if (difference(hovering, absent, x, y) <= 3 || box.contains(x, y, 1.5))
                continue;
            if (mirror) {
                ++in_mirror;
                in_mirror_where_reflected += reflection.contains(x, y, 1.5);
            } else {
                ++elsewhere;
            }
        }
    }
    // The mirrored box would reach beyond the top face on screen, so the confinement matters.
    ASSERT_GT(reflection_outside_mirror, 100);
    EXPECT_GT(marked, 2000) << "the top face is marked in the stencil buffer";
    EXPECT_GT(in_mirror, 200) << "the reflection shows through the top face";
    EXPECT_EQ(in_mirror_where_reflected, in_mirror) << "as far below the mirror as the box is above";
    EXPECT_EQ(elsewhere, 0) << "nothing but the box changes outside the mirror";
    if (HasFailure())
        save_frame_png("terrain_reflection_failure.png", WIDTH, HEIGHT);
}

TEST_F(TerrainRender, ReflectionStaysHiddenWhereNoMirrorIsSeen)
{
    // From below the ground: the landscape and the mirror face away and are culled, and the box
    // (y 3, drawn from 4 to 4.3) is above the view, while its mirror image (y -2.3 to -2) hangs
    // below the open bottom of the pedestal in plain view. Only the stencil keeps it away.
    set_camera({0.0, -3.0, 6.0}, {0.0, -1.5, 0.0});
    set_box(8.0, 1.0, 6.0);
    const Frame high = render_at(3.5);
    const ScreenBox reflection = project_box({-0.3, -2.3, -0.3}, {0.3, -2.0, 0.3});
    ASSERT_GT(reflection.left, 0.0);
    ASSERT_LT(reflection.right, WIDTH);
    ASSERT_GT(reflection.top, 0.0);
    ASSERT_LT(reflection.bottom, HEIGHT);
    ASSERT_GT(reflection.right - reflection.left, 10.0);

    long shown = 0;
    for (int y = static_cast<int>(reflection.top); y <= static_cast<int>(reflection.bottom); ++y)
        for (int x = static_cast<int>(reflection.left); x <= static_cast<int>(reflection.right); ++x)
            shown += !is_clear_colour(high.at(x, y));
    EXPECT_EQ(shown, 0);
    if (HasFailure())
        save_frame_png("terrain_hidden_reflection_failure.png", WIDTH, HEIGHT);
}

TEST_F(TerrainRender, BoxStandsAtItsHeightAbovePedestal)
{
    // A level view from the height of the box's peak; the box's outline ends at its top face
    // (seen from above while the box is below the eye) or at its front top edge.
    set_camera({0.0, 2.0, 8.0}, {0.0, 2.0, 0.0});
    const struct {
        double row;
        double height;
    } cases[] = {{1.5, 0.5}, {3.5, 1.0}, {7.5, 0.0}};
    const int column = WIDTH / 2;
    for (const auto& c : cases) {
        set_box(8.0, 1.0, 2.0);
        const Frame with_box = render_at(c.row);
        set_box_out_of_sight();
        const Frame without_box = render_at(c.row);

        int top_row = -1;
        for (int y = 0; y < HEIGHT && top_row < 0; ++y)
            if (difference(with_box, without_box, column, y) > 8)
                top_row = y;
        const ScreenBox outline = project_box({-0.3, c.height + 1.0, -0.3}, {0.3, c.height + 1.3, 0.3});
        EXPECT_NEAR(top_row, outline.top, 1.5) << "row " << c.row << ", box height " << c.height;
    }
}

}  // namespace
