// Image textures, the scenes and the overlay drawn for real and read back as a person sees them.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <stb/stb_image_write.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/gl_window.h"
#include "scenes/image_texture.h"
#include "scenes/spinning_cube.h"
#include "scenes/spinning_triangle.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "shell/text_cards.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_tracks.h"

namespace {

constexpr int WIDTH = 320, HEIGHT = 240;
SyncState& state = demo_state.sync_state;

void set_tracks(std::initializer_list<DemoTrack> tracks, std::initializer_list<double> values)
{
    for (size_t i = 0; i < tracks.size(); ++i)
        set_constant(state, tracks.begin()[i], values.begin()[i]);
}

// Each test runs in its own folder, where the cube and the cards find their fixed file names.
class SceneRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(open_test_window(WIDTH, HEIGHT)) << "render tests need an X display";
        ASSERT_EQ(chdir(folder.path().c_str()), 0);
        clear_demo_tracks(state);
        demo_state.scenes = {&cube};
        state.current_row = 0.0;
        glEnable(GL_CULL_FACE);  // as start-up leaves it
    }

    // The channels over half as bright as the brightest: K black, R red, G green, B blue, W white or
    // grey, Y, M, C. A light keeps a pure colour pure, and a white lit by one lamp takes its name.
    static char colour_name(const Rgba& c)
    {
        const int most = std::max({c.r, c.g, c.b});
        return "KRGYBMCW"[(2 * c.r > most) + 2 * (2 * c.g > most) + 4 * (2 * c.b > most)];
    }

    // What the eye sees at (x, y), right and up, in a plane `depth` ahead; the view is 45 degrees high.
    static Rgba seen_at(double x, double y, double depth)
    {
        const double scale = HEIGHT / 2.0 / (depth * std::tan(22.5 * M_PI / 180.0));
        return read_pixel(static_cast<int>(WIDTH / 2 + x * scale), static_cast<int>(HEIGHT / 2 - y * scale));
    }

    // A number GL holds about the bound texture's level 0 or, with `of_level` false, about itself.
    static GLint gl_number(GLenum name, bool of_level = true)
    {
        GLint value = 0;
        of_level ? glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value) : glGetIntegerv(name, &value);
        return value;
    }

    // Loads a 256 x 128 cube picture (quadrants red top left, green top right, blue bottom left, white;
    // the upper half transparent, which the cube must not show) or a file that does not decode, and
    // checks the two lines that init prints.
    void init_cube(bool readable)
    {
        std::vector<uint8_t> rgba;
        for (int i = 0; i < 256 * 128; ++i) {
            const bool top = i < 64 * 256, left = i % 256 < 128;
            rgba.insert(rgba.end(), {uint8_t(255 * (top == left)), uint8_t(255 * !left), uint8_t(255 * !top),
                                     uint8_t(255 * !top)});
        }
        ASSERT_TRUE(stbi_write_bmp("jimage.bmp", 256, 128, 4, rgba.data()));
        ASSERT_TRUE(readable || truncate("jimage.bmp", 20) == 0);  // cut short inside its header
        testing::internal::CaptureStdout();
        cube.init();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string("spinning cube scene loaded jimage at ") + (readable ? "256x128x4" : "0x0x0") +
                      "\ntexture id " + std::to_string(gl_number(GL_TEXTURE_BINDING_2D, false)) + "\n");
    }

    TempFolder folder;
    SpinningCube cube{&state};  // with "scp.a" at 0 it only clears
};

}  // namespace

TEST_F(SceneRender, ImageTexturesHoldTheFilesPixelsTopRowFirstInTheFormatTheirUserAsksFor)
{
    // Asked for 3 components, the internal format is the file's own count; asked for 4, RGBA. RGB
    // rows 2 or 5 pixels wide are not 4-byte aligned. A file without components is missing.
    const std::tuple<const char*, int, int, int, int, int> cases[] = {
        {"narrow.png", 2, 3, 3, 3, 3}, {"odd.png", 5, 3, 3, 3, 3},        {"alpha.png", 4, 2, 4, 3, 4},
        {"grey.png", 4, 3, 1, 3, 1},   {"card.png", 3, 2, 3, 4, GL_RGBA}, {"absent.png", 0, 0, 0, 3, 3}};
    for (const auto& [file, width, height, components, asked, internal_format] : cases) {
        SCOPED_TRACE(file);
        std::vector<uint8_t> picture;  // every byte different, so a swapped row or a shifted column shows
        for (int i = 0; i < width * height * components; ++i)
            picture.push_back(static_cast<uint8_t>(20 + i * 7));
        ASSERT_TRUE(components == 0 || stbi_write_png(file, width, height, components, picture.data(), 0));
        ImageInfo info{-1, -1, -1};
        const GLuint texture = load_image_texture(file, asked, &info);
        EXPECT_NE(texture, 0u);
        // Left bound, and the unpack alignment back at its default for every other upload.
        ASSERT_EQ(std::vector<int>({info.width, info.height, info.components, gl_number(GL_TEXTURE_WIDTH),
                                    gl_number(GL_TEXTURE_HEIGHT), gl_number(GL_TEXTURE_INTERNAL_FORMAT),
                                    gl_number(GL_TEXTURE_BINDING_2D, false),
                                    gl_number(GL_UNPACK_ALIGNMENT, false)}),
                  std::vector<int>({width, height, components, width, height, internal_format,
                                    static_cast<int>(texture), 4}));
        // Read back as RGBA: luminance comes back in red alone, and the pixels uploaded carry no alpha.
        std::vector<uint8_t> held(width * height * 4);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, held.data());
        for (size_t i = 0; i < held.size(); ++i) {
            const size_t ch = i % 4, pixel = i / 4 * components;  // channel ch of a held texel
            const int expected = ch == 3 ? 255 : components == 1 && ch > 0 ? 0 : picture[pixel + ch];
            EXPECT_EQ(held[i], expected) << i;
        }
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(SceneRender, TriangleTurnsClockwiseInThePreviousFramesFadeColour)
{
    SpinningTriangle triangle(&state);
    demo_state.scenes = {&triangle, &cube};
    // Row, eye z, "scene", "fog", the opacity of the white fade the frame before, then what is seen
    // at the centre, 0.9 up and 0.9 towards +x (on the left, seen from -z). From +z the triangle is a
    // back face; a transparent colour or thick fog leave the background. "scene" 1 is the cubes.
    const std::tuple<double, double, double, double, double, const char*> cases[] = {
        {0, -5, 0, 0, 1, "WWG"}, {5, -5, 0, 0, 1, "WGW"}, {20, -5, 0, 0, 1, "WWG"},
        {0, 5, 0, 0, 1, "GGG"},  {0, -5, 0, 0, 0, "GGG"}, {0, -5, 0, 1, 1, "GGG"},
        {0, -5, 1, 0, 1, "GGG"}, {0, -5, 2, 0, 1, "WWG"}, {0, -5, NAN, 0, 1, "WWG"}};
    set_tracks({TRACK_CLEAR_G, TRACK_FADE_R, TRACK_FADE_G, TRACK_FADE_B}, {0.5, 1.0, 1.0, 1.0});
    for (const auto& [row, eye_z, scene, fog, fade, expected] : cases) {
        SCOPED_TRACE(testing::Message() << row << " " << eye_z << " " << scene << " " << fog << " " << fade);
        state.current_row = row;
        set_tracks({TRACK_CAM_Z, TRACK_SCENE, TRACK_FOG, TRACK_FADE_A}, {eye_z, scene, fog, fade});
        render_frame();
        set_tracks({TRACK_FADE_A}, {0.0});
        render_frame();
        const std::string seen = {colour_name(seen_at(0, 0, 5)), colour_name(seen_at(0, 0.9, 5)),
                                  colour_name(seen_at(-0.9, 0, 5))};
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(SceneRender, ScpACountsTheCubesAndScpBSpacesThemAlsoWithoutAReadablePicture)
{
    init_cube(false);  // GL ignores the empty texture: the cubes show untextured
    set_tracks({TRACK_CAM_X, TRACK_CAM_Z, TRACK_CAM_LOOKX}, {4.5, 20.0, 4.5});
    // "scp.a", "scp.b", then what the front faces show at x = -3, 0, 1.5, 3, 4.5, 6 and 7.5: "#" a
    // cube, "." the background. Two billion cubes are cut short, but still fill the view.
    const std::tuple<double, double, const char*> cases[] = {
        {1, 3, ".#....."},   {2.5, 3, ".#.##.."},       {2.9, 3, ".#.#.#."},      {2.00005, 3, ".#.#..."},
        {3, -3, "##....."},  {2e9 + 0.5, 3, ".#.#.#."}, {0.99, 3, "......."},     {-3, 3, "......."},
        {3e9, 3, "......."}, {-3e9, 3, "......."},      {INFINITY, 3, "......."}, {NAN, 3, "......."}};
    for (const auto& [amount, spacing, expected] : cases) {
        SCOPED_TRACE(amount);
        set_tracks({TRACK_SCP_A, TRACK_SCP_B}, {amount, spacing});
        render_frame();
        std::string seen;
        for (const double x : {-3.0, 0.0, 1.5, 3.0, 4.5, 6.0, 7.5})
            seen += colour_name(seen_at(x - 4.5, 0, 19)) == 'K' ? '.' : '#';
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(SceneRender, EachCubeFaceShowsTheWholePictureLitByLampsFixedInTheWorld)
{
    init_cube(true);
    // Row, eye 6 out along an axis, what is seen of the face (a square of side 2 at 5 from the eye) in
    // its quadrants top left, top right, bottom left, bottom right and just beside it. Side faces show
    // the picture upside down; rows 900 and 1800 turn the cube by whole quarter turns. Only the red
    // lamp stands beyond x = 1, only the green one beyond x = -1. From +y, screen up is -z. The frame
    // before blends by source alpha, as every frame but the first does, yet the cube stays opaque.
    const std::tuple<double, double, double, double, const char*> views[] = {
        {0, 0, 0, 6, "BWRGKKKK"},     {0, 6, 0, 0, "BRRGKKKK"},   {0, -6, 0, 0, "BGRGKKKK"},
        {0, 0, 6, 0.001, "BYRGKKKK"}, {900, 0, 0, 6, "WGBRKKKK"}, {1800, 0, 0, 6, "GRWBKKKK"}};
    const double probes[8][2] = {{-0.8, 0.8}, {0.8, 0.8}, {-0.8, -0.8}, {0.8, -0.8},
                                 {-1.1, 0},   {1.1, 0},   {0, 1.1},     {0, -1.1}};
    render_frame();
    for (const auto& [row, eye_x, eye_y, eye_z, expected] : views) {
        SCOPED_TRACE(testing::Message() << row << " from " << eye_x << "," << eye_y << "," << eye_z);
        state.current_row = row;
        set_tracks({TRACK_SCP_A, TRACK_CAM_X, TRACK_CAM_Y, TRACK_CAM_Z}, {1.0, eye_x, eye_y, eye_z});
        render_frame();
        std::string seen;
        for (const auto& at : probes)
            seen += colour_name(seen_at(at[0], at[1], 5));
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(SceneRender, ACubeTumblesAboutXThenYThenZByTheRow)
{
    // Row, then the edges of one cube's silhouette seen from 8 out on +z: left, right, top, bottom, in
    // pixels (right and bottom just past the last covered pixel), where its eight corners project, to
    // within a pixel. The rows 360 and 720 leave it turned about y alone, by 252 and 144 degrees.
    const int cases[][5] = {{0, 119, 201, 79, 161},
                            {30, 104, 217, 75, 178},
                            {100, 105, 209, 76, 174},
                            {360, 110, 202, 77, 163},
                            {720, 108, 209, 76, 164}};
    set_tracks({TRACK_SCP_A, TRACK_CAM_Z}, {1.0, 8.0});
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        state.current_row = c[0];
        render_frame();
        const std::vector<uint8_t> frame = read_frame(WIDTH, HEIGHT);
        int edges[4] = {WIDTH, 0, HEIGHT, 0};
        for (int i = 0; i < WIDTH * HEIGHT; ++i) {  // the cube's ambient light is never black
            const int x = i % WIDTH, y = i / WIDTH;
            if (std::max({frame[4 * i], frame[4 * i + 1], frame[4 * i + 2]}) > 4) {
                edges[0] = std::min(edges[0], x), edges[1] = std::max(edges[1], x + 1);
                edges[2] = std::min(edges[2], y), edges[3] = std::max(edges[3], y + 1);
            }
        }
        const char* names[4] = {"left", "right", "top", "bottom"};
        for (int e = 0; e < 4; ++e)
            EXPECT_NEAR(edges[e], c[e + 1], 1) << names[e];
    }
}

TEST_F(SceneRender, TextCardsAreUprightSquaresChosenByTextIAndLaidOverByTextFadeAndTheFade)
{
    const char* files[4] = {"text1.png", "greets.png", "more.png", "jimage.png"};
    const Rgba tops[4] = {{0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}, {0, 255, 255, 255}};
    for (int i = 0; i < 4; ++i) {
        const Rgba picture[4] = {tops[i], tops[i], {}, {}};  // the lower half transparent
        ASSERT_TRUE(stbi_write_png(files[i], 1, 4, 4, picture, 0));
    }
    load_text_cards();
    // "text.i", "text.fade", the opacity of a blue fade, then what is seen over a red scene at both
    // edges of the card's upper half (columns 40 and 279), in its lower half and just beside it.
    const std::tuple<double, double, double, const char*> cases[] = {
        {0, 1, 0, "GGRRR"},   {-0.5, 1, 0, "GGRRR"}, {1.99, 1, 0, "BBRRR"}, {2.7, 1, 0, "WWRRR"},
        {3, 1, 0, "CCRRR"},   {1e30, 1, 0, "CCRRR"}, {NAN, 1, 0, "GGRRR"},  {0, 0, 0, "RRRRR"},
        {0, 0.5, 0, "YYRRR"}, {0, 1, 1, "BBBBB"},    {0, 1, 0.5, "CCMMM"},  {-1, 1, 0, "GGRRR"}};
    const int probes[5][2] = {{40, 60}, {279, 60}, {160, 180}, {39, 60}, {280, 60}};
    set_tracks({TRACK_CLEAR_R, TRACK_FADE_B}, {1.0, 1.0});
    for (const auto& [text_i, text_fade, fade, expected] : cases) {
        SCOPED_TRACE(testing::Message() << text_i << " " << text_fade << " " << fade);
        set_tracks({TRACK_TEXT_I, TRACK_TEXT_FADE, TRACK_FADE_A}, {text_i, text_fade, fade});
        render_frame();
        std::string seen;
        for (const auto& at : probes)
            seen += colour_name(read_pixel(at[0], at[1]));
        EXPECT_EQ(seen, expected);
    }
}
