#include "scenes/spinning_triangle.h"

#include <GL/gl.h>

#include <cmath>

#include "base/angles.h"
#include "scenes/camera.h"

namespace {

constexpr double ROWS_PER_HALF_TURN = 10.0;

}  // namespace

int SpinningTriangle::init()
{
    return 0;
}

void SpinningTriangle::render()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const double row = state->current_row;
    const float t = static_cast<float>(row / ROWS_PER_HALF_TURN);
    look_through(read_camera(*state));

    glBegin(GL_TRIANGLES);
    const double base_angle = static_cast<double>(t) * PI;
    for (double offset : THIRD_TURNS) {
        const float angle = static_cast<float>(base_angle + offset);
        // x is the sine and y the cosine: angle 0 points up and the turn runs clockwise seen from +z.
        glVertex3f(static_cast<float>(std::sin(static_cast<double>(angle))),
                   static_cast<float>(std::cos(static_cast<double>(angle))), 0.0f);
    }
    glEnd();
}
