// The committed pictures as the demo loads them: each decodes with the component count the
// program asks for, RGB textures have 4-aligned widths, grass and marble tile without seams, and
// the cards are square with real transparency around their text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <stb/stb_image.h>

namespace {

const std::string DATA = VORDEL_DATA_DIR;

struct Decoded {
    int width = 0, height = 0, own_components = 0;
    std::vector<unsigned char> pixels;  // `requested` components per pixel
};

Decoded decode(const std::string& name, int requested)
{
    Decoded d;
    unsigned char* data = stbi_load((DATA + "/" + name).c_str(), &d.width, &d.height, &d.own_components, requested);
    if (data != nullptr) {
        d.pixels.assign(data, data + static_cast<size_t>(d.width) * d.height * requested);
        std::free(data);
    }
    return d;
}

// Mean absolute difference between neighbouring columns (or rows), inside the picture and
// across the wrap from the last to the first; a seam shows as a much larger wrap difference.
void neighbour_differences(const Decoded& d, bool columns, double& inside, double& across)
{
    const int n = columns ? d.width : d.height, m = columns ? d.height : d.width;
    auto at = [&](int i, int j, int c) {
        const int x = columns ? i : j, y = columns ? j : i;
        return static_cast<double>(d.pixels[(static_cast<size_t>(y) * d.width + x) * 3 + c]);
    };
    double sum_inside = 0.0, sum_across = 0.0;
    for (int j = 0; j < m; ++j) {
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i + 1 < n; ++i) sum_inside += std::fabs(at(i + 1, j, c) - at(i, j, c));
            sum_across += std::fabs(at(0, j, c) - at(n - 1, j, c));
        }
    }
    inside = sum_inside / (static_cast<double>(n - 1) * m * 3);
    across = sum_across / (static_cast<double>(m) * 3);
}

}  // namespace

TEST(CommittedImages, TexturesAreRgbWithWidthsTheDemoCanUpload)
{
    for (const char* name : {"jimage.bmp", "dry_grass.png", "marble.jpg"}) {
        const Decoded d = decode(name, 3);
        ASSERT_FALSE(d.pixels.empty()) << name << ": " << stbi_failure_reason();
        EXPECT_EQ(d.own_components, 3) << name;
        EXPECT_EQ(d.width % 4, 0) << name;
        EXPECT_EQ(d.width, d.height) << name;
        EXPECT_GE(d.width, 256) << name;
    }
}

TEST(CommittedImages, GrassAndMarbleTileWithoutSeams)
{
    for (const char* name : {"dry_grass.png", "marble.jpg"}) {
        const Decoded d = decode(name, 3);
        ASSERT_FALSE(d.pixels.empty()) << name;
        for (bool columns : {true, false}) {
            double inside = 0.0, across = 0.0;
            neighbour_differences(d, columns, inside, across);
            EXPECT_GT(inside, 0.5) << name << " has texture";
            EXPECT_LT(across, inside * 1.5) << name << (columns ? ": left/right" : ": top/bottom") << " seam";
        }
    }
}

TEST(CommittedImages, CardsAreSquareAndTransparentAroundTheirText)
{
    for (const char* name : {"text1.png", "greets.png", "more.png", "jimage.png"}) {
        const Decoded d = decode(name, 4);
        ASSERT_FALSE(d.pixels.empty()) << name << ": " << stbi_failure_reason();
        EXPECT_EQ(d.own_components, 4) << name;
        EXPECT_EQ(d.width, d.height) << name;
        size_t clear = 0, solid = 0, outside_middle = 0;
        for (int y = 0; y < d.height; ++y) {
            for (int x = 0; x < d.width; ++x) {
                const unsigned char a = d.pixels[(static_cast<size_t>(y) * d.width + x) * 4 + 3];
                clear += a == 0;
                solid += a == 255;
                // Tall windows cut the card's sides: keep everything within the middle 80 per cent.
                const bool side = x < d.width / 10 || x >= d.width - d.width / 10;
                outside_middle += side && a != 0;
            }
        }
        const size_t total = static_cast<size_t>(d.width) * d.height;
        EXPECT_GT(clear, total / 2) << name << " is mostly transparent";
        EXPECT_GT(solid, total / 100) << name << " has opaque text";
        EXPECT_EQ(outside_middle, 0u) << name << " draws near its sides";
    }
}

TEST(CommittedImages, CubeFaceHasTheSameTopAndBottomMotif)
{
    // Four of the cube's faces show the picture upside down, so the emblem is mirror-symmetric
    // top to bottom (up to its shading).
    const Decoded d = decode("jimage.bmp", 3);
    ASSERT_FALSE(d.pixels.empty());
    double diff = 0.0;
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width * 3; ++x) {
            diff += std::fabs(static_cast<double>(d.pixels[static_cast<size_t>(y) * d.width * 3 + x]) -
                              d.pixels[static_cast<size_t>(d.height - 1 - y) * d.width * 3 + x]);
        }
    }
    EXPECT_LT(diff / (static_cast<double>(d.width) * d.height * 3), 24.0);
}
