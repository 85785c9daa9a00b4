// The triangle drawn for real: where it lands, which side culling hides and what colour it takes.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "gl_window.h"
#include "scenes/spinning_triangle.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "test_tracks.h"

namespace {

constexpr int WIDTH = 320;
constexpr int HEIGHT = 240;

class SpinningTriangleRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(open_test_window(WIDTH, HEIGHT)) << "render tests need an X display";
        SyncState& sync = demo_state.sync_state;
        clear_demo_tracks(sync);
        demo_state.scenes = {&triangle};
        sync.current_row = 0.0;
        set_camera(0.0, 0.0, -5.0);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
    }

    void set_camera(double x, double y, double z)
    {
        SyncState& sync = demo_state.sync_state;
        set_constant(sync, TRACK_CAM_X, x);
        set_constant(sync, TRACK_CAM_Y, y);
        set_constant(sync, TRACK_CAM_Z, z);
    }

    void set_fade(double r, double g, double b, double a)
    {
        SyncState& sync = demo_state.sync_state;
        set_constant(sync, TRACK_FADE_R, r);
        set_constant(sync, TRACK_FADE_G, g);
        set_constant(sync, TRACK_FADE_B, b);
        set_constant(sync, TRACK_FADE_A, a);
    }

    // Two frames: the first leaves its fade colour as the current colour, the second shows the
    // triangle in it. The second frame's fade is transparent so the picture is the scene's own.
    void render_after_fade(double r, double g, double b)
    {
        set_fade(r, g, b, 1.0);
        render_frame();
        set_fade(0.0, 0.0, 0.0, 0.0);
        render_frame();
    }

    SpinningTriangle triangle{&demo_state.sync_state};
};

}  // namespace

TEST_F(SpinningTriangleRender, SeenFromNegativeZItCoversTheCentre)
{
    render_after_fade(1.0, 1.0, 1.0);
    const Rgba centre = read_pixel(WIDTH / 2, HEIGHT / 2);
    EXPECT_EQ(centre.r, 255);
    EXPECT_EQ(centre.g, 255);
    EXPECT_EQ(centre.b, 255);
    const Rgba corner = read_pixel(2, 2);
    EXPECT_EQ(corner.r, 0);
}

TEST_F(SpinningTriangleRender, FromPositiveZItIsCulled)
{
    set_camera(0.0, 0.0, 5.0);
    render_after_fade(1.0, 1.0, 1.0);
    EXPECT_EQ(read_pixel(WIDTH / 2, HEIGHT / 2).r, 0);
}

TEST_F(SpinningTriangleRender, TakesThePreviousFramesFadeColour)
{
    render_after_fade(1.0, 0.0, 0.0);
    Rgba centre = read_pixel(WIDTH / 2, HEIGHT / 2);
    EXPECT_EQ(centre.r, 255);
    EXPECT_EQ(centre.g, 0);
    render_after_fade(0.0, 0.0, 1.0);
    centre = read_pixel(WIDTH / 2, HEIGHT / 2);
    EXPECT_EQ(centre.r, 0);
    EXPECT_EQ(centre.b, 255);
}

TEST_F(SpinningTriangleRender, AfterATransparentFadeItLeavesTheBackground)
{
    set_constant(demo_state.sync_state, TRACK_CLEAR_G, 0.5);
    set_fade(1.0, 1.0, 1.0, 0.0);
    render_frame();
    render_frame();
    const Rgba centre = read_pixel(WIDTH / 2, HEIGHT / 2);
    EXPECT_EQ(centre.r, 0);
    EXPECT_NEAR(centre.g, 128, 1);
}

TEST_F(SpinningTriangleRender, TheFirstVertexPointsUpAndTurnsAQuarterInFiveRows)
{
    // From -z the view is mirrored in x: a vertex at +x in the world lands on the left of the screen.
    // The apex sits at y = 1; 0.9 up it is inside, and a quarter turn later it lies on the side.
    const double apex_in_ndc = 0.9 / (5.0 * std::tan(22.5 * M_PI / 180.0));
    const int apex_y = static_cast<int>(HEIGHT / 2 - apex_in_ndc * HEIGHT / 2);
    render_after_fade(1.0, 1.0, 1.0);
    EXPECT_EQ(read_pixel(WIDTH / 2, apex_y).r, 255);

    demo_state.sync_state.current_row = 5.0;
    render_after_fade(1.0, 1.0, 1.0);
    EXPECT_EQ(read_pixel(WIDTH / 2, apex_y).r, 0);
    const int side_x = static_cast<int>(WIDTH / 2 - apex_in_ndc * HEIGHT / 2);
    EXPECT_EQ(read_pixel(side_x, HEIGHT / 2).r, 255);

    demo_state.sync_state.current_row = 20.0;
    render_after_fade(1.0, 1.0, 1.0);
    EXPECT_EQ(read_pixel(WIDTH / 2, apex_y).r, 255);
}
