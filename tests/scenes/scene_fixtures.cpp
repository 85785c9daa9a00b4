#include "scene_fixtures.h"

#include <GL/freeglut.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

// The writer's implementation lives in the test support's gl_window.cpp.
#include <stb/stb_image_write.h>

#include "gl_window.h"

bool show_test_window(int width, int height)
{
    if (!open_test_window(width, height))
        return false;
    for (int i = 0; i < 200; ++i) {
        if (glutGet(GLUT_WINDOW_WIDTH) == width && glutGet(GLUT_WINDOW_HEIGHT) == height) {
            // The software renderer takes up a new window size only at a buffer swap.
            glutSwapBuffers();
            resize_test_window(width, height);
            return true;
        }
        usleep(10000);
        glutMainLoopEvent();
    }
    return false;
}

bool write_png(const std::string& path, int width, int height, int components,
               const std::vector<uint8_t>& pixels)
{
    return stbi_write_png(path.c_str(), width, height, components, pixels.data(), width * components) != 0;
}

bool write_bmp(const std::string& path, int width, int height, int components,
               const std::vector<uint8_t>& pixels)
{
    return stbi_write_bmp(path.c_str(), width, height, components, pixels.data()) != 0;
}

namespace {

std::vector<uint8_t> solid(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), {r, g, b});
    return pixels;
}

}  // namespace

bool write_solid_png(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    return write_png(path, width, height, 3, solid(width, height, r, g, b));
}

bool write_solid_bmp(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    return write_bmp(path, width, height, 3, solid(width, height, r, g, b));
}

WorkingFolder::WorkingFolder(const std::string& folder)
{
    char* here = getcwd(nullptr, 0);
    if (here != nullptr) {
        previous = here;
        std::free(here);
    }
    if (chdir(folder.c_str()) != 0)
        previous.clear();
}

WorkingFolder::~WorkingFolder()
{
    if (!previous.empty() && chdir(previous.c_str()) != 0)
        std::abort();  // the rest of the test process would run in the wrong folder
}
