// Image files become GL textures: decoded to 8-bit pixels, uploaded once, kept until exit.
//
// Rows go up top first, so texture t = 0 is the top of the picture. A missing or undecodable file
// still yields a bound texture name (with no defined content) and reports 0 × 0 × 0.
#pragma once

#include <cstdint>

struct ImageInfo {
    int width;
    int height;
    int components;  // the file's own component count, 1 to 4; 0 when decoding failed
};

// Decodes `path` with `components` (3 or 4) per pixel and uploads it into a new texture, which
// stays bound. With 3 the internal format is the file's own component count, with 4 GL_RGBA.
uint32_t load_image_texture(const char* path, int components, ImageInfo* info = nullptr);
