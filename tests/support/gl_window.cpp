#include "tests/support/gl_window.h"

#include <GL/freeglut.h>
#include <unistd.h>

#include <cstdlib>

#include "shell/frame_driver.h"

// Debian's compiled writer: the header's own implementation trips the sanitizer build.
#include <stb/stb_image_write.h>

bool open_test_window(int width, int height)
{
    if (glutGet(GLUT_INIT_STATE) == 0) {
        if (std::getenv("DISPLAY") == nullptr)
            return false;
        int argc = 1;
        char name[] = "vordel-test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH | GLUT_STENCIL);
        glutCreateWindow("Vordel test");
        glutDisplayFunc([] {});
        glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    }
    resize_test_window(width, height);
    return true;
}

void resize_test_window(int width, int height)
{
    glutReshapeWindow(width, height);
    // The window system applies a new size asynchronously; two seconds is far more than it takes.
    for (int i = 0; i < 200; ++i) {
        glutMainLoopEvent();
        if (glutGet(GLUT_WINDOW_WIDTH) == width && glutGet(GLUT_WINDOW_HEIGHT) == height)
            break;
        usleep(10000);
    }
    // The software renderer picks up the new size of its buffers only at a swap.
    glutSwapBuffers();
    reshape(width, height);
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
