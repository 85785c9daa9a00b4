#include "tests/support/gl_window.h"

#include <GL/freeglut.h>

#include <cstdio>

#include "shell/frame_window.h"

// Debian's compiled writer: the header's own implementation trips the sanitizer build.
#include <stb/stb_image_write.h>

bool open_test_window(int width, int height)
{
    std::string error;
    if (open_frame_window("vordel-test", width, height, error))
        return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

Rgba read_pixel(int x, int y)
{
    Rgba pixel{};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, glutGet(GLUT_WINDOW_HEIGHT) - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &pixel);
    return pixel;
}

std::vector<uint8_t> read_frame(int width, int height)
{
    const size_t row = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> frame(row * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int y = 0; y < height; ++y)  // GL counts rows from the bottom
        glReadPixels(0, height - 1 - y, width, 1, GL_RGBA, GL_UNSIGNED_BYTE, &frame[y * row]);
    return frame;
}

void save_frame_png(const char* path, int width, int height)
{
    stbi_write_png(path, width, height, 4, read_frame(width, height).data(), width * 4);
}
