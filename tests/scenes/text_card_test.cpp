// Text cards drawn for real over a cleared scene: where the square lands, which way up it stands,
// which card "text.i" picks and how "text.fade" lays it over the picture.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <limits>
#include <vector>

#include "gl_window.h"
#include "scenes/spinning_cube.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "shell/text_cards.h"
#include "scene_fixtures.h"
#include "test_tracks.h"

namespace {

// The four cards in load order, each one solid colour.
constexpr uint8_t CARD_COLOURS[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
constexpr const char* CARD_FILES[4] = {"text1.png", "greets.png", "more.png", "jimage.png"};

bool has_colour(const Rgba& pixel, uint8_t r, uint8_t g, uint8_t b)
{
    return pixel.r == r && pixel.g == g && pixel.b == b;
}

// The scene under the cards: a cube scene with no cubes, which only clears to dark grey.
class TextCardRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(show_test_window(800, 600)) << "render tests need an X display";
        ASSERT_FALSE(folder.path().empty());
        SyncState& sync = demo_state.sync_state;
        clear_demo_tracks(sync);
        sync.current_row = 0.0;
        set_constant(sync, TRACK_CLEAR_R, 0.25);
        set_constant(sync, TRACK_CLEAR_G, 0.25);
        set_constant(sync, TRACK_CLEAR_B, 0.25);
        set_constant(sync, TRACK_TEXT_FADE, 1.0);
        demo_state.scenes = {&empty_scene};
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
    }

    void load_cards()
    {
        WorkingFolder here(folder.path());
        load_text_cards();
    }

    void write_solid_cards()
    {
        for (int i = 0; i < 4; ++i) {
            const uint8_t* c = CARD_COLOURS[i];
            ASSERT_TRUE(write_solid_png(folder.file(CARD_FILES[i]), 8, 8, c[0], c[1], c[2]));
        }
    }

    // Red in the top half, blue in the bottom half; 8 rows so the halves do not blend at the probes.
    void write_red_over_blue_cards()
    {
        std::vector<uint8_t> picture;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x)
                picture.insert(picture.end(), {uint8_t(y < 4 ? 255 : 0), 0, uint8_t(y < 4 ? 0 : 255)});
        }
        for (const char* file : CARD_FILES)
            ASSERT_TRUE(write_png(folder.file(file), 8, 8, 3, picture));
    }

    TempFolder folder;
    SpinningCube empty_scene{&demo_state.sync_state};
};

}  // namespace

TEST_F(TextCardRender, CardIsACentredUprightSquareAsTallAsTheWindow)
{
    write_red_over_blue_cards();
    load_cards();
    render_frame();
    // 600 × 600 in the middle of 800 × 600: columns 100 to 699.
    for (int y : {150, 450}) {
        SCOPED_TRACE(y);
        const bool top = y < 300;
        for (int x : {100, 400, 699}) {
            SCOPED_TRACE(x);
            EXPECT_TRUE(has_colour(read_pixel(x, y), top ? 255 : 0, 0, top ? 0 : 255));
        }
        EXPECT_TRUE(has_colour(read_pixel(99, y), 64, 64, 64));
        EXPECT_TRUE(has_colour(read_pixel(700, y), 64, 64, 64));
    }
    if (HasFailure())
        save_frame_png("text_card_800x600.png", 800, 600);
}

TEST_F(TextCardRender, InAWideWindowTheSquareKeepsTheWindowsHeight)
{
    write_red_over_blue_cards();
    load_cards();
    ASSERT_TRUE(show_test_window(1920, 1080));
    render_frame();
    // 1080 × 1080 in the middle of 1920 × 1080: columns 420 to 1499.
    EXPECT_TRUE(has_colour(read_pixel(420, 270), 255, 0, 0));
    EXPECT_TRUE(has_colour(read_pixel(1499, 270), 255, 0, 0));
    EXPECT_TRUE(has_colour(read_pixel(420, 810), 0, 0, 255));
    EXPECT_TRUE(has_colour(read_pixel(419, 270), 64, 64, 64));
    EXPECT_TRUE(has_colour(read_pixel(1500, 270), 64, 64, 64));
    if (HasFailure())
        save_frame_png("text_card_1920x1080.png", 1920, 1080);
}

TEST_F(TextCardRender, TextIPicksTheCardByItsWholePart)
{
    write_solid_cards();
    load_cards();
    const struct {
        double text_i;
        int card;
    } cases[] = {{0.0, 0}, {0.5, 0}, {-0.5, 0}, {1.0, 1}, {1.99, 1}, {2.7, 2}, {3.0, 3}, {7.9, 3},
                 {1.0e30, 3}, {std::numeric_limits<double>::infinity(), 3},
                 // Below the first card, and no number at all: the first card.
                 {-1.0, 0}, {-1.5, 0}, {-1.0e30, 0}, {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text_i);
        set_constant(demo_state.sync_state, TRACK_TEXT_I, c.text_i);
        render_frame();
        const uint8_t* colour = CARD_COLOURS[c.card];
        EXPECT_TRUE(has_colour(read_pixel(400, 300), colour[0], colour[1], colour[2]));
    }
}

TEST_F(TextCardRender, TextFadeSetsTheCardsOpacity)
{
    write_solid_cards();
    load_cards();
    set_constant(demo_state.sync_state, TRACK_TEXT_FADE, 0.0);
    render_frame();
    EXPECT_TRUE(has_colour(read_pixel(400, 300), 64, 64, 64)) << "an invisible card leaves the scene";

    set_constant(demo_state.sync_state, TRACK_TEXT_FADE, 0.5);
    render_frame();
    const Rgba half = read_pixel(400, 300);
    EXPECT_NEAR(half.r, (255 + 64) / 2, 2);
    EXPECT_NEAR(half.g, 64 / 2, 2);
}

TEST_F(TextCardRender, CardPicturesOwnAlphaIsKept)
{
    // Left half opaque white, right half fully transparent.
    std::vector<uint8_t> picture;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            picture.insert(picture.end(), {255, 255, 255, uint8_t(x < 4 ? 255 : 0)});
    }
    for (const char* file : CARD_FILES)
        ASSERT_TRUE(write_png(folder.file(file), 8, 8, 4, picture));
    load_cards();
    render_frame();
    EXPECT_TRUE(has_colour(read_pixel(200, 300), 255, 255, 255));
    EXPECT_TRUE(has_colour(read_pixel(600, 300), 64, 64, 64));
}

