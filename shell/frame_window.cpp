#include "shell/frame_window.h"

#include <GL/freeglut.h>
#include <unistd.h>

#include <cstdlib>

#include "shell/frame_driver.h"

namespace {

constexpr const char* WINDOW_TITLE = "Vordel";
// The window system applies a size asynchronously; 2 s is far more than it takes.
constexpr int SIZE_POLLS = 200;
constexpr useconds_t SIZE_POLL_PAUSE_US = 10000;

void ignore_display() {}

}  // namespace

bool open_frame_window(const char* program, int width, int height, std::string& error)
{
    if (glutGet(GLUT_INIT_STATE) == 0) {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            error = "no X display (run it under xvfb-run for a machine without one)";
            return false;
        }
        std::string name = program;
        int argc = 1;
        char* argv[] = {name.data(), nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH | GLUT_STENCIL);
        glutInitWindowSize(width, height);
        glutInitWindowPosition(0, 0);
        glutCreateWindow(WINDOW_TITLE);
        glutDisplayFunc(ignore_display);
        glutReshapeFunc(reshape);
        glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    }
    glutReshapeWindow(width, height);
    for (int i = 0; i < SIZE_POLLS; ++i) {
        glutMainLoopEvent();
        if (glutGet(GLUT_WINDOW_WIDTH) == width && glutGet(GLUT_WINDOW_HEIGHT) == height) {
            // The software renderer picks up the new size of its buffers only at a swap.
            glutSwapBuffers();
            reshape(width, height);
            return true;
        }
        usleep(SIZE_POLL_PAUSE_US);
    }
    error = "the window could not be made " + std::to_string(width) + "x" + std::to_string(height) +
            " (got " + std::to_string(glutGet(GLUT_WINDOW_WIDTH)) + "x" +
            std::to_string(glutGet(GLUT_WINDOW_HEIGHT)) + "; is the screen smaller?)";
    return false;
}
