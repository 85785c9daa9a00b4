#include "gl_window.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "shell/frame_driver.h"

// Debian's compiled libstb, not the header's implementation: its JPEG writer shifts negative
// numbers left, which the sanitizer build would otherwise report as ours.
#include <stb/stb_image_write.h>

namespace {

int window = 0;
int current_width = 0;
int current_height = 0;

void ignore_display() {}

}  // namespace

bool open_test_window(int width, int height)
{
    if (window == 0) {
        if (std::getenv("DISPLAY") == nullptr)
            return false;
        int argc = 1;
        char name[] = "vordel-test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH | GLUT_STENCIL);
        glutInitWindowSize(width, height);
        glutInitWindowPosition(0, 0);
        window = glutCreateWindow("Vordel test");
        glutDisplayFunc(ignore_display);
        glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    }
    resize_test_window(width, height);
    return true;
}

void resize_test_window(int width, int height)
{
    if (width != current_width || height != current_height) {
        glutReshapeWindow(width, height);
        // Let the window system apply the size before anything is drawn at it.
        for (int i = 0; i < 20; ++i) {
            glutMainLoopEvent();
            if (glutGet(GLUT_WINDOW_WIDTH) == width && glutGet(GLUT_WINDOW_HEIGHT) == height)
                break;
        }
        // The software renderer picks up the new size of its buffers only at a swap.
        glutSwapBuffers();
        current_width = width;
        current_height = height;
    }
    reshape(width, height);
    glReadBuffer(GL_BACK);
    glDrawBuffer(GL_BACK);
}

Rgba read_pixel(int x, int y)
{
    Rgba pixel{};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, current_height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &pixel);
    return pixel;
}

std::vector<uint8_t> read_frame(int width, int height)
{
    std::vector<uint8_t> bottom_up(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottom_up.data());
    std::vector<uint8_t> top_down(bottom_up.size());
    const size_t row = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        std::copy_n(&bottom_up[(height - 1 - y) * row], row, &top_down[y * row]);
    return top_down;
}

void save_frame_png(const char* path, int width, int height)
{
    std::vector<uint8_t> pixels = read_frame(width, height);
    stbi_write_png(path, width, height, 4, pixels.data(), width * 4);
}
