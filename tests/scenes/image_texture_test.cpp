// Image files uploaded for real: size, internal format, texel data and row order as GL holds them.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdint>
#include <vector>

#include "gl_window.h"
#include "scenes/image_texture.h"
#include "scene_fixtures.h"

namespace {

GLint level_parameter(GLenum name)
{
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
    return value;
}

// GL may report a component-count internal format either as the number or as its enumerant.
int internal_component_count()
{
    switch (level_parameter(GL_TEXTURE_INTERNAL_FORMAT)) {
    case 1: case GL_LUMINANCE: case GL_LUMINANCE8: return 1;
    case 2: case GL_LUMINANCE_ALPHA: case GL_LUMINANCE8_ALPHA8: return 2;
    case 3: case GL_RGB: case GL_RGB8: return 3;
    case 4: case GL_RGBA: case GL_RGBA8: return 4;
    default: return -1;
    }
}

// The bound texture's level 0, rows in texture order (row 0 first), tightly packed.
std::vector<uint8_t> texels(GLenum format, int components)
{
    const int count = level_parameter(GL_TEXTURE_WIDTH) * level_parameter(GL_TEXTURE_HEIGHT);
    std::vector<uint8_t> data(static_cast<size_t>(count) * components);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, data.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return data;
}

GLint bound_texture()
{
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

class ImageTexture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(show_test_window(64, 64)) << "texture tests need an X display";
        ASSERT_FALSE(images.path().empty());
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    TempFolder images;
};

// Every pixel distinct, so a swapped row or a shifted column shows.
std::vector<uint8_t> gradient(int width, int height, int components)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height * components; ++i)
        pixels.push_back(static_cast<uint8_t>(20 + i * 7));
    return pixels;
}

}  // namespace

TEST_F(ImageTexture, RgbBmpIsUploadedTopRowFirstWithThreeComponents)
{
    const std::vector<uint8_t> picture = gradient(4, 2, 3);
    ASSERT_TRUE(write_bmp(images.file("small.bmp"), 4, 2, 3, picture));

    ImageInfo info{};
    const uint32_t texture = load_image_texture(images.file("small.bmp").c_str(), 3, &info);
    EXPECT_EQ(info.width, 4);
    EXPECT_EQ(info.height, 2);
    EXPECT_EQ(info.components, 3);
    EXPECT_NE(texture, 0u);
    EXPECT_EQ(bound_texture(), static_cast<GLint>(texture));
    EXPECT_EQ(level_parameter(GL_TEXTURE_WIDTH), 4);
    EXPECT_EQ(level_parameter(GL_TEXTURE_HEIGHT), 2);
    EXPECT_EQ(internal_component_count(), 3);
    EXPECT_EQ(texels(GL_RGB, 3), picture);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageTexture, FourComponentFileAskedForThreeGetsOpaqueRgba)
{
    std::vector<uint8_t> picture = gradient(4, 4, 4);
    for (size_t i = 3; i < picture.size(); i += 4)
        picture[i] = static_cast<uint8_t>(i % 2 == 0 ? 0 : 128);  // alpha the upload must not carry
    ASSERT_TRUE(write_png(images.file("alpha.png"), 4, 4, 4, picture));

    ImageInfo info{};
    load_image_texture(images.file("alpha.png").c_str(), 3, &info);
    EXPECT_EQ(info.components, 4);
    EXPECT_EQ(internal_component_count(), 4);
    const std::vector<uint8_t> held = texels(GL_RGBA, 4);
    ASSERT_EQ(held.size(), picture.size());
    for (size_t i = 0; i < held.size(); ++i) {
        if (i % 4 == 3)
            EXPECT_EQ(held[i], 255) << "alpha of texel " << i / 4;
        else
            EXPECT_EQ(held[i], picture[i]) << "byte " << i;
    }
}

TEST_F(ImageTexture, GreyFileAskedForThreeIsLuminance)
{
    const std::vector<uint8_t> picture = gradient(4, 3, 1);
    ASSERT_TRUE(write_png(images.file("grey.png"), 4, 3, 1, picture));

    ImageInfo info{};
    load_image_texture(images.file("grey.png").c_str(), 3, &info);
    EXPECT_EQ(info.components, 1);
    EXPECT_EQ(internal_component_count(), 1);
    EXPECT_EQ(texels(GL_LUMINANCE, 1), picture);
}

TEST_F(ImageTexture, RgbRowsThatAreNotFourByteAlignedAreReadPacked)
{
    for (int width : {1, 2, 3, 5}) {
        SCOPED_TRACE(width);
        const std::vector<uint8_t> picture = gradient(width, 3, 3);
        ASSERT_TRUE(write_png(images.file("narrow.png"), width, 3, 3, picture));

        load_image_texture(images.file("narrow.png").c_str(), 3);
        EXPECT_EQ(texels(GL_RGB, 3), picture);
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 4) << "the default alignment must be back for everything else";
    }
}

TEST_F(ImageTexture, MissingFileStillGivesABoundEmptyTexture)
{
    ImageInfo info{1, 1, 1};
    const uint32_t texture = load_image_texture(images.file("absent.bmp").c_str(), 3, &info);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.components, 0);
    EXPECT_NE(texture, 0u);
    EXPECT_EQ(bound_texture(), static_cast<GLint>(texture));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
