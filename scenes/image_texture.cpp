#include "scenes/image_texture.h"

#include <GL/gl.h>
#include <stb/stb_image.h>

#include <cstdlib>

uint32_t load_image_texture(const char* path, int components, ImageInfo* info)
{
    // The decoder leaves these untouched when it fails; zeros give an empty texture and honest reports.
    int width = 0;
    int height = 0;
    int file_components = 0;
    stbi_uc* pixels = stbi_load(path, &width, &height, &file_components, components);
    if (pixels == nullptr) {
        width = 0;
        height = 0;
        file_components = 0;
    }

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    const bool rgba = components == 4;
    // With four components the file's own count does not matter; with three, GL takes the file's
    // count as the internal format (1 luminance ... 4 RGBA). A failed decode still reserves a level.
    const GLint internal_format = rgba ? GL_RGBA : (file_components > 0 ? file_components : 3);
    // Packed RGB rows are only 4-byte aligned when the width is a multiple of 4; read them tightly
    // instead of past the buffer, and leave the default alignment in force for everything else.
    const bool unaligned_rows = !rgba && (width * 3) % 4 != 0;
    if (unaligned_rows)
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internal_format, width, height, 0, rgba ? GL_RGBA : GL_RGB,
                 GL_UNSIGNED_BYTE, pixels);
    if (unaligned_rows)
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    std::free(pixels);

    if (info != nullptr)
        *info = ImageInfo{width, height, file_components};
    return texture;
}
