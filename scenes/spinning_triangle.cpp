#include "scenes/spinning_triangle.h"

#include <GL/gl.h>

#include <cmath>

#include "scenes/camera.h"

namespace {

constexpr double PI = 3.141592653589793;
constexpr double ROWS_PER_HALF_TURN = 10.0;
// Two and four thirds taken in single precision before the multiplication by pi, as the
// demo has always drawn them: not exactly 2pi/3 and 4pi/3.
constexpr double VERTEX_OFFSETS[3] = {0.0, 2.0943951648110333, 4.1887903296220665};

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
    for (double offset : VERTEX_OFFSETS) {
        const float angle = static_cast<float>(base_angle + offset);
        // x is the sine and y the cosine: angle 0 points up and the turn runs clockwise seen from +z.
        glVertex3f(static_cast<float>(std::sin(static_cast<double>(angle))),
                   static_cast<float>(std::cos(static_cast<double>(angle))), 0.0f);
    }
    glEnd();
}
