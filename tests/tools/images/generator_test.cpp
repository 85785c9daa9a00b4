// The generator program and its pieces: the committed pictures are exactly what it makes, it
// refuses what it cannot do, and its noise really repeats with its period.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pictures.h"
#include "raster.h"
#include "tile_noise.h"
#include "tool_runner.h"

namespace {

const std::string GENERATOR = VORDEL_IMAGES_PATH;
const std::string DATA = VORDEL_DATA_DIR;
const char* const PICTURES[] = {"jimage.bmp", "dry_grass.png", "marble.jpg", "text1.png",
                                "greets.png", "more.png",      "jimage.png"};

}  // namespace

TEST(ImageGenerator, RegeneratesTheCommittedPicturesByteForByte)
{
    TempFolder out;
    const RunResult run = run_tool(GENERATOR, {"--out", out.path()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(list_folder(out.path()).size(), sizeof PICTURES / sizeof *PICTURES);
    for (const char* name : PICTURES) {
        const std::vector<unsigned char> committed = read_bytes(DATA + "/" + name);
        ASSERT_FALSE(committed.empty()) << name << " is not committed";
        EXPECT_EQ(read_bytes(out.file(name)), committed) << name << " differs: regenerate data/";
    }
}

TEST(ImageGenerator, HelpAndRefusals)
{
    const RunResult help = run_tool(GENERATOR, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: vordel-images"), std::string::npos);
    EXPECT_EQ(run_tool(GENERATOR, {"--colour"}).status, 2);
    EXPECT_EQ(run_tool(GENERATOR, {"--out"}).status, 2);
    TempFolder work;
    const RunResult missing = run_tool(GENERATOR, {"--out", work.file("nowhere")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(work.file("nowhere") + "/jimage.bmp: "), std::string::npos) << missing.err;
}

TEST(TileNoise, RepeatsWithItsPeriodAndStaysInRange)
{
    constexpr int PERIOD = 4;
    float low = 0.0f, high = 0.0f;
    for (int i = 0; i < 400; ++i) {
        const float x = i * 0.137f, y = i * 0.071f;
        const float v = tile_noise(x, y, PERIOD, 7);
        EXPECT_NEAR(v, tile_noise(x + PERIOD, y, PERIOD, 7), 1e-4f);
        EXPECT_NEAR(v, tile_noise(x, y - PERIOD, PERIOD, 7), 1e-4f);
        EXPECT_NEAR(tile_fbm(x, y, PERIOD, 4, 0.5f, 3), tile_fbm(x + PERIOD, y + PERIOD, PERIOD, 4, 0.5f, 3), 1e-4f);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    EXPECT_LT(low, -0.2f);
    EXPECT_GT(high, 0.2f);
    EXPECT_GE(low, -1.1f);
    EXPECT_LE(high, 1.1f);
    // Lattice points are zero for gradient noise; different seeds differ elsewhere.
    EXPECT_EQ(tile_noise(2.0f, 3.0f, PERIOD, 7), 0.0f);
    EXPECT_NE(tile_noise(0.5f, 0.5f, PERIOD, 7), tile_noise(0.5f, 0.5f, PERIOD, 8));
}

TEST(Raster, BlendsStraightAlphaAndDrawsText)
{
    Canvas canvas = make_canvas(4, 4, {0.0f, 0.0f, 0.0f, 0.0f});
    blend_pixel(canvas, 1, 1, {1.0f, 0.5f, 0.0f, 0.5f}, 1.0f);
    EXPECT_FLOAT_EQ(canvas.pixels[(1 * 4 + 1) * 4 + 0], 1.0f);  // colour kept over transparency
    EXPECT_FLOAT_EQ(canvas.pixels[(1 * 4 + 1) * 4 + 3], 0.5f);
    blend_pixel(canvas, 1, 1, {0.0f, 0.5f, 0.0f, 1.0f}, 0.5f);
    EXPECT_FLOAT_EQ(canvas.pixels[(1 * 4 + 1) * 4 + 0], 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(canvas.pixels[(1 * 4 + 1) * 4 + 3], 0.75f);
    blend_pixel(canvas, -1, 9, {1.0f, 1.0f, 1.0f, 1.0f}, 1.0f);  // outside: ignored

    Font font;
    std::string error;
    ASSERT_TRUE(load_font(FONT_BOLD_PATH, font, error)) << error;
    EXPECT_GT(text_width(font, "VORDEL", 40.0f), text_width(font, "VOR", 40.0f));
    Mask mask = make_mask(200, 60);
    draw_text(font, "VORDEL", 40.0f, 10.0f, 45.0f, mask);
    float covered = 0.0f;
    for (float v : mask.cover) covered += v;
    EXPECT_GT(covered, 300.0f);
    Font none;
    EXPECT_FALSE(load_font("/nonexistent/font.ttf", none, error));
    EXPECT_NE(error.find("/nonexistent/font.ttf: "), std::string::npos);
}
