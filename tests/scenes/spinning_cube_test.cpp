// The cube row drawn for real through the frame driver: how many cubes stand where, how they are lit
// and textured, and what init reports.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "gl_window.h"
#include "scenes/spinning_cube.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "scene_fixtures.h"
#include "test_tracks.h"

namespace {

constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;
constexpr double EYE_DISTANCE = 20.0;
// The frame driver's projection: 45 degrees vertically.
const double TAN_HALF_FOV = std::tan(22.5 * M_PI / 180.0);

// Window pixel of a point on the cubes' front faces (z = 1), seen from (eye_x, 0, 20) along -z.
int screen_x(double world_x, double eye_x)
{
    const double depth = EYE_DISTANCE - 1.0;
    const double aspect = static_cast<double>(WIDTH) / HEIGHT;
    const double ndc = (world_x - eye_x) / (depth * TAN_HALF_FOV * aspect);
    return static_cast<int>((ndc + 1.0) * WIDTH / 2.0);
}

int screen_y(double world_y)
{
    const double ndc = world_y / ((EYE_DISTANCE - 1.0) * TAN_HALF_FOV);
    return static_cast<int>((1.0 - ndc) * HEIGHT / 2.0);
}

bool is_background(const Rgba& pixel)
{
    return pixel.r == 0 && pixel.g == 0 && pixel.b == 0;
}

// A lit face: well above the ambient light that even a face turned away from every lamp gets.
bool is_lit(const Rgba& pixel)
{
    return pixel.r + pixel.g + pixel.b > 40;
}

class SpinningCubeRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(show_test_window(WIDTH, HEIGHT)) << "render tests need an X display";
        ASSERT_FALSE(folder.path().empty());
        SyncState& sync = demo_state.sync_state;
        clear_demo_tracks(sync);
        sync.current_row = 0.0;
        demo_state.scenes = {&cube};
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        look_along_row(4.5);
    }

    // Makes the cube texture from a white picture (or the given one) in a fresh working folder.
    std::string init_cube(const std::vector<uint8_t>* picture = nullptr, int width = 4, int height = 4)
    {
        if (picture != nullptr)
            EXPECT_TRUE(write_bmp(folder.file("jimage.bmp"), width, height, 3, *picture));
        else
            EXPECT_TRUE(write_solid_bmp(folder.file("jimage.bmp"), width, height, 255, 255, 255));
        WorkingFolder here(folder.path());
        testing::internal::CaptureStdout();
        cube.init();
        return testing::internal::GetCapturedStdout();
    }

    void look_along_row(double x)
    {
        SyncState& sync = demo_state.sync_state;
        set_constant(sync, TRACK_CAM_X, x);
        set_constant(sync, TRACK_CAM_Y, 0.0);
        set_constant(sync, TRACK_CAM_Z, EYE_DISTANCE);
        set_constant(sync, TRACK_CAM_LOOKX, x);
        set_constant(sync, TRACK_CAM_LOOKY, 0.0);
        set_constant(sync, TRACK_CAM_LOOKZ, 0.0);
    }

    void set_row(double amount, double spacing)
    {
        set_constant(demo_state.sync_state, TRACK_SCP_A, amount);
        set_constant(demo_state.sync_state, TRACK_SCP_B, spacing);
    }

    bool frame_is_empty()
    {
        const std::vector<uint8_t> frame = read_frame(WIDTH, HEIGHT);
        for (size_t i = 0; i < frame.size(); i += 4) {
            if (frame[i] != 0 || frame[i + 1] != 0 || frame[i + 2] != 0)
                return false;
        }
        return true;
    }

    TempFolder folder;
    SpinningCube cube{&demo_state.sync_state};
};

}  // namespace

TEST_F(SpinningCubeRender, AmountsBelowOneAndUnusableAmountsDrawNothing)
{
    init_cube();
    const double unusable[] = {0.0, 0.5, 0.99, -0.5, -3.0, 3.0e9, -3.0e9, 1.0e30,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    for (double amount : unusable) {
        SCOPED_TRACE(amount);
        set_row(amount, 3.0);
        render_frame();
        EXPECT_TRUE(frame_is_empty());
    }
}

TEST_F(SpinningCubeRender, OneCubeStandsAtTheOrigin)
{
    init_cube();
    set_row(1.0, 3.0);
    render_frame();
    const int middle = screen_y(0.0);
    EXPECT_TRUE(is_lit(read_pixel(screen_x(0.0, 4.5), middle)));
    EXPECT_TRUE(is_background(read_pixel(screen_x(3.0, 4.5), middle)));
    EXPECT_TRUE(is_background(read_pixel(screen_x(4.5, 4.5), middle)));
}

TEST_F(SpinningCubeRender, AHugeCountIsCutInsteadOfStallingTheFrame)
{
    init_cube();
    set_row(2.0e9 + 0.5, 3.0);  // fits a 32-bit count; drawn in full it would take hours
    render_frame();
    EXPECT_TRUE(is_lit(read_pixel(screen_x(0.0, 4.5), screen_y(0.0))));
    EXPECT_TRUE(is_lit(read_pixel(screen_x(3.0, 4.5), screen_y(0.0))));
}

TEST_F(SpinningCubeRender, FractionSlidesAPartialCubeOutOfTheLastWholeOne)
{
    init_cube();
    set_row(2.5, 3.0);
    render_frame();
    const int middle = screen_y(0.0);
    EXPECT_TRUE(is_lit(read_pixel(screen_x(0.0, 4.5), middle)));
    EXPECT_TRUE(is_background(read_pixel(screen_x(1.5, 4.5), middle))) << "gap between the cubes";
    EXPECT_TRUE(is_lit(read_pixel(screen_x(3.0, 4.5), middle)));
    EXPECT_TRUE(is_lit(read_pixel(screen_x(4.5, 4.5), middle)));
    // A third whole cube would reach x = 6.6; the partial one ends at 5.5.
    EXPECT_TRUE(is_background(read_pixel(screen_x(6.6, 4.5), middle)));
    if (HasFailure())
        save_frame_png("spinning_cube_partial.png", WIDTH, HEIGHT);
}

TEST_F(SpinningCubeRender, SideFacesShowThePictureUpsideDown)
{
    // Red above, blue below: modulated by the lights, red texels keep only red and blue only blue.
    std::vector<uint8_t> picture;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            picture.insert(picture.end(), {uint8_t(y < 4 ? 255 : 0), 0, uint8_t(y < 4 ? 0 : 255)});
    }
    init_cube(&picture, 8, 8);
    look_along_row(0.0);
    set_row(1.0, 0.0);
    render_frame();
    const Rgba upper = read_pixel(screen_x(0.0, 0.0), screen_y(0.5));
    const Rgba lower = read_pixel(screen_x(0.0, 0.0), screen_y(-0.5));
    EXPECT_EQ(upper.r, 0);
    EXPECT_GT(upper.b, 20);
    EXPECT_GT(lower.r, 20);
    EXPECT_EQ(lower.b, 0);
}

TEST_F(SpinningCubeRender, LightsStayFixedInTheWorld)
{
    // Seen from +x the face at x = 1 has only the red light (at x = 2) in front of it: the green
    // and the blue one stand at x <= 0. Lights placed relative to the eye would light it green too.
    init_cube();
    SyncState& sync = demo_state.sync_state;
    set_constant(sync, TRACK_CAM_X, EYE_DISTANCE);
    set_constant(sync, TRACK_CAM_Z, 0.0);
    set_row(1.0, 3.0);
    render_frame();
    const Rgba face = read_pixel(WIDTH / 2, HEIGHT / 2);
    EXPECT_GT(face.r, 60);
    EXPECT_LT(face.g * 2, face.r);
    EXPECT_LT(face.b * 2, face.r);

    // From the front the red lamp is to the right, the green one to the left, the blue one below.
    look_along_row(0.0);
    render_frame();
    const Rgba right = read_pixel(screen_x(0.8, 0.0), screen_y(0.8));
    const Rgba left = read_pixel(screen_x(-0.8, 0.0), screen_y(0.8));
    const Rgba below = read_pixel(screen_x(0.0, 0.0), screen_y(-0.8));
    EXPECT_GT(right.r, right.g);
    EXPECT_GT(left.g, left.r);
    EXPECT_GT(below.b, below.g);
}

TEST_F(SpinningCubeRender, CubesTumbleWithTheRow)
{
    // Unrotated, the front face fills a square around the centre; a tumbled cube's outline differs.
    init_cube();
    look_along_row(0.0);
    set_row(1.0, 3.0);
    render_frame();
    const int corner_x = screen_x(0.95, 0.0);
    const int corner_y = screen_y(0.95);
    EXPECT_TRUE(is_lit(read_pixel(corner_x, corner_y)));

    // 45 degrees about z first (the last of the three rotations) turns the corner out of place.
    demo_state.sync_state.current_row = 18.0;  // 18, 30.6 and 45 degrees
    render_frame();
    EXPECT_TRUE(is_background(read_pixel(corner_x, corner_y)));
}

namespace {

// Runs the cube's init in `folder` and returns what it printed.
std::string init_in(const TempFolder& folder, SpinningCube& cube)
{
    WorkingFolder here(folder.path());
    testing::internal::CaptureStdout();
    cube.init();
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(SpinningCubeInit, ReportsThePictureAndTheTextureName)
{
    ASSERT_TRUE(show_test_window(64, 64)) << "needs an X display";
    TempFolder folder;
    ASSERT_TRUE(write_solid_bmp(folder.file("jimage.bmp"), 8, 4, 10, 20, 30));
    SpinningCube cube(&demo_state.sync_state);
    const std::string printed = init_in(folder, cube);

    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_NE(bound, 0);
    EXPECT_EQ(printed, "spinning cube scene loaded jimage at 8x4x3\ntexture id " + std::to_string(bound) + "\n");
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}

TEST(SpinningCubeInit, MissingPictureReportsZerosAndStillDraws)
{
    ASSERT_TRUE(show_test_window(64, 64)) << "needs an X display";
    TempFolder folder;
    SpinningCube cube(&demo_state.sync_state);
    const std::string printed = init_in(folder, cube);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(printed, "spinning cube scene loaded jimage at 0x0x0\ntexture id " + std::to_string(bound) + "\n");

    clear_demo_tracks(demo_state.sync_state);
    set_constant(demo_state.sync_state, TRACK_CAM_Z, 10.0);
    set_constant(demo_state.sync_state, TRACK_SCP_A, 1.0);
    demo_state.scenes = {&cube};
    render_frame();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
