#include "scenes/spinning_cube.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <iostream>

#include "scenes/camera.h"
#include "scenes/image_texture.h"

namespace {

constexpr const char* TEXTURE_FILE = "jimage.bmp";
constexpr int TEXTURE_COMPONENTS = 3;

// Tumbling rates in degrees per row about x, y and z; the x angle is the row itself.
constexpr double Y_DEGREES_PER_ROW = 1.7;
constexpr double Z_DEGREES_PER_ROW = 2.5;

// A row longer than this is cut: a damaged "scp.a" of two billion would otherwise stall every
// frame for minutes. No timeline wants more cubes than fit on a screen.
constexpr int MAX_CUBES = 4096;

// A partial cube shows only once it has slid out by more than this fraction of the spacing.
constexpr double PARTIAL_CUBE_THRESHOLD = 0.0001;

struct CubeLight {
    GLenum id;
    GLfloat diffuse[4];
    GLfloat position[4];  // world space, w = 1: a point light
};

// Red above right, green above left, blue below, all in front of the row.
const CubeLight LIGHTS[3] = {
    {GL_LIGHT0, {0.9f, 0.2f, 0.2f, 1.0f}, {2.0f, 2.0f, 2.0f, 1.0f}},
    {GL_LIGHT1, {0.2f, 0.9f, 0.2f, 1.0f}, {-2.0f, 2.0f, 2.0f, 1.0f}},
    {GL_LIGHT2, {0.2f, 0.2f, 0.9f, 1.0f}, {0.0f, static_cast<float>(-std::sqrt(8.0)), 2.0f, 1.0f}},
};

struct CubeCorner {
    float s, t;
    float x, y, z;
};

struct CubeFace {
    float normal[3];
    CubeCorner corners[4];
};

// Counter-clockwise seen from outside, each face showing the whole picture once. On the four side
// faces t = 0 (the top row of the picture) lies along the lower edge, so they show it upside down.
constexpr CubeFace CUBE_FACES[6] = {
    {{0.0f, 0.0f, 1.0f}, {{0, 0, -1, -1, 1}, {1, 0, 1, -1, 1}, {1, 1, 1, 1, 1}, {0, 1, -1, 1, 1}}},
    {{0.0f, 0.0f, -1.0f}, {{1, 0, -1, -1, -1}, {1, 1, -1, 1, -1}, {0, 1, 1, 1, -1}, {0, 0, 1, -1, -1}}},
    {{0.0f, 1.0f, 0.0f}, {{0, 1, -1, 1, -1}, {0, 0, -1, 1, 1}, {1, 0, 1, 1, 1}, {1, 1, 1, 1, -1}}},
    {{0.0f, -1.0f, 0.0f}, {{1, 1, -1, -1, -1}, {0, 1, 1, -1, -1}, {0, 0, 1, -1, 1}, {1, 0, -1, -1, 1}}},
    {{1.0f, 0.0f, 0.0f}, {{1, 0, 1, -1, -1}, {1, 1, 1, 1, -1}, {0, 1, 1, 1, 1}, {0, 0, 1, -1, 1}}},
    {{-1.0f, 0.0f, 0.0f}, {{0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, -1, 1, 1}, {0, 1, -1, 1, -1}}},
};

struct Tumble {
    float x_degrees, y_degrees, z_degrees;
};

// The number of whole cubes: the amount truncated toward zero. Truncated in double, so that huge
// amounts, infinities and NaN never reach an int conversion; those draw nothing, like amounts below 1.
int whole_cube_count(float amount)
{
    const double whole = std::trunc(static_cast<double>(amount));
    if (!(whole >= 1.0 && whole <= static_cast<double>(INT32_MAX)))
        return 0;
    return static_cast<int>(whole);
}

// The cube of half-size 1 centred on the origin, six textured quads with their normals.
void draw_cube()
{
    glBegin(GL_QUADS);
    for (const CubeFace& face : CUBE_FACES) {
        glNormal3f(face.normal[0], face.normal[1], face.normal[2]);
        for (const CubeCorner& corner : face.corners) {
            glTexCoord2f(corner.s, corner.t);
            glVertex3f(corner.x, corner.y, corner.z);
        }
    }
    glEnd();
}

void draw_cube_at(float x, const Tumble& tumble)
{
    glPushMatrix();
    glTranslatef(x, 0.0f, 0.0f);
    // Seen by a vertex: z first, then y, then x, then the move along the row.
    glRotatef(tumble.x_degrees, 1.0f, 0.0f, 0.0f);
    glRotatef(tumble.y_degrees, 0.0f, 1.0f, 0.0f);
    glRotatef(tumble.z_degrees, 0.0f, 0.0f, 1.0f);
    draw_cube();
    glPopMatrix();
}

}  // namespace

int SpinningCube::init()
{
    glEnable(GL_TEXTURE_2D);
    ImageInfo info{};
    texture = load_image_texture(TEXTURE_FILE, TEXTURE_COMPONENTS, &info);
    std::cout << "spinning cube scene loaded jimage at " << info.width << "x" << info.height << "x"
              << info.components << std::endl;
    std::cout << "texture id " << texture << std::endl;
    return 0;
}

void SpinningCube::render()
{
    for (const CubeLight& light : LIGHTS) {
        glLightfv(light.id, GL_DIFFUSE, light.diffuse);
        glEnable(light.id);
    }
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    look_through(read_camera(*state));
    const double row = state->current_row;

    // Given under the camera alone, so the lights stay put in the world.
    for (const CubeLight& light : LIGHTS)
        glLightfv(light.id, GL_POSITION, light.position);

    glEnable(GL_DEPTH_TEST);
    glBindTexture(GL_TEXTURE_2D, texture);

    const float spacing = static_cast<float>(demo_value(*state, TRACK_SCP_B));
    const float amount = static_cast<float>(demo_value(*state, TRACK_SCP_A));
    const int count = whole_cube_count(amount);
    if (count < 1)
        return;
    const bool cut = count > MAX_CUBES;
    const int drawn = cut ? MAX_CUBES : count;

    const Tumble tumble = {static_cast<float>(row), static_cast<float>(row * Y_DEGREES_PER_ROW),
                           static_cast<float>(row * Z_DEGREES_PER_ROW)};
    for (int i = 0; i < drawn; ++i)
        draw_cube_at(static_cast<float>(i) * spacing, tumble);

    // The next cube slides out of the last whole one as the fraction grows towards 1.
    const float fraction = amount - static_cast<float>(count);
    if (!cut && static_cast<double>(fraction) > PARTIAL_CUBE_THRESHOLD) {
        const double last_whole_x = (static_cast<double>(count) - 1.0) * static_cast<double>(spacing);
        const float slide = fraction * spacing;
        draw_cube_at(static_cast<float>(last_whole_x + static_cast<double>(slide)), tumble);
    }
}
