#include "terrain/terrain_scene.h"

#include <GL/gl.h>

#include <cmath>

#include "base/angles.h"
#include "scenes/camera.h"
#include "scenes/image_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_scene_internal.h"

namespace {

constexpr const char* GRASS_IMAGE = "dry_grass.png";
constexpr const char* MARBLE_IMAGE = "marble.jpg";
constexpr int IMAGE_COMPONENTS = 3;

// The coloured lights circle the look-at point at height 1, 120 degrees apart, one turn every
// 40 rows, at the phases of THIRD_TURNS.
constexpr int COLOURED_LIGHTS = 3;
constexpr double LIGHT_TIME_PER_ROW = 0.05;
constexpr double LIGHT_CIRCLE_RADIUS = 3.0;
constexpr float LIGHT_HEIGHT = 1.0f;
constexpr float POINT_LIGHT = 1.0f;  // w of a position; 0 makes a direction
constexpr int LIGHT_COUNT = 4;
constexpr GLenum LIGHTS[LIGHT_COUNT] = {GL_LIGHT0, GL_LIGHT1, GL_LIGHT2, GL_LIGHT3};
constexpr GLfloat LIGHT_COLOURS[LIGHT_COUNT][4] = {
    {1.0f, 0.2f, 0.2f, 1.0f},  // red
    {0.2f, 1.0f, 0.2f, 1.0f},  // green
    {0.2f, 0.2f, 1.0f, 1.0f},  // blue
    {1.0f, 1.0f, 1.0f, 1.0f},  // white, directional
};
constexpr GLfloat WHITE_LIGHT_DIRECTION[4] = {1.0f, 1.0f, 0.0f, 0.0f};

constexpr double PEDESTAL_TOP = 1.0;                             // the mirror plane, y = 1
constexpr GLfloat MIRROR_DIFFUSE[4] = {1.0f, 1.0f, 1.0f, 0.7f};  // 30 % of the reflection shows
constexpr GLfloat OPAQUE_DIFFUSE[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLbitfield ALL_BUFFERS = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
constexpr GLint MIRROR_MARK = 1;  // stencil value of the pedestal's top face

struct TexturedCorner {
    GLfloat texture[2];
    GLfloat position[3];
};

struct Face {
    GLfloat normal[3];
    TexturedCorner corners[4];
};

// The small box: 0.6 wide and 0.3 tall, standing on y = 0, counter-clockwise from outside.
constexpr float H = 0.3f;  // half the width of the box, and its height
constexpr Face BOX_FACES[] = {
    {{0, 0, 1}, {{{0, 0}, {-H, 0, H}}, {{1, 0}, {H, 0, H}}, {{1, 1}, {H, H, H}}, {{0, 1}, {-H, H, H}}}},
    {{0, 0, -1}, {{{1, 0}, {-H, 0, -H}}, {{1, 1}, {-H, H, -H}}, {{0, 1}, {H, H, -H}}, {{0, 0}, {H, 0, -H}}}},
    {{0, -1, 0}, {{{1, 1}, {-H, 0, -H}}, {{0, 1}, {H, 0, -H}}, {{0, 0}, {H, 0, H}}, {{1, 0}, {-H, 0, H}}}},
    {{0, 1, 0}, {{{0, 1}, {-H, H, -H}}, {{0, 0}, {-H, H, H}}, {{1, 0}, {H, H, H}}, {{1, 1}, {H, H, -H}}}},
    {{1, 0, 0}, {{{1, 0}, {H, 0, -H}}, {{1, 1}, {H, H, -H}}, {{0, 1}, {H, H, H}}, {{0, 0}, {H, 0, H}}}},
    {{-1, 0, 0}, {{{0, 0}, {-H, 0, -H}}, {{1, 0}, {-H, 0, H}}, {{1, 1}, {-H, H, H}}, {{0, 1}, {-H, H, -H}}}},
};

// The pedestal: the cube from -1 to 1 without a bottom; its top is the mirror.
constexpr Face PEDESTAL_TOP_FACE = {
    {0, 1, 0}, {{{0, 1}, {-1, 1, -1}}, {{0, 0}, {-1, 1, 1}}, {{1, 0}, {1, 1, 1}}, {{1, 1}, {1, 1, -1}}}};
constexpr Face PEDESTAL_SIDES[] = {
    {{0, 0, 1}, {{{0, 0}, {-1, -1, 1}}, {{1, 0}, {1, -1, 1}}, {{1, 1}, {1, 1, 1}}, {{0, 1}, {-1, 1, 1}}}},
    {{0, 0, -1},
     {{{1, 0}, {-1, -1, -1}}, {{1, 1}, {-1, 1, -1}}, {{0, 1}, {1, 1, -1}}, {{0, 0}, {1, -1, -1}}}},
    {{1, 0, 0}, {{{1, 0}, {1, -1, -1}}, {{1, 1}, {1, 1, -1}}, {{0, 1}, {1, 1, 1}}, {{0, 0}, {1, -1, 1}}}},
    {{-1, 0, 0},
     {{{0, 0}, {-1, -1, -1}}, {{1, 0}, {-1, -1, 1}}, {{1, 1}, {-1, 1, 1}}, {{0, 1}, {-1, 1, -1}}}},
};

// Inside an open glBegin(GL_QUADS).
void emit_face(const Face& face)
{
    glNormal3fv(face.normal);
    for (const TexturedCorner& corner : face.corners) {
        glTexCoord2fv(corner.texture);
        glVertex3fv(corner.position);
    }
}

void draw_box()
{
    glBegin(GL_QUADS);
    for (const Face& face : BOX_FACES)
        emit_face(face);
    glEnd();
}

void emit_pedestal_top()
{
    emit_face(PEDESTAL_TOP_FACE);
}

// One glBegin/glEnd per quad, corners counter-clockwise from above, each as normal, texture
// coordinate (its own x and z), position.
void record_landscape(const TerrainMesh& mesh)
{
    for (int i = TERRAIN_FIRST_QUAD; i <= TERRAIN_LAST_QUAD; ++i) {
        for (int k = TERRAIN_FIRST_QUAD; k <= TERRAIN_LAST_QUAD; ++k) {
            glBegin(GL_QUADS);
            for (const auto& offset : QUAD_CORNERS) {
                const TerrainCorner& corner = mesh_corner(mesh, i + offset[0], k + offset[1]);
                glNormal3fv(corner.normal);
                glTexCoord2f(corner.position[0], corner.position[2]);
                glVertex3fv(corner.position);
            }
            glEnd();
        }
    }
}

}  // namespace

float box_height(double row, float period, float fall_rate, float scale)
{
    // A period that is not positive (a track without keys gives 0) has no phase: the box rests.
    if (!(period > 0.0f))
        return 0.0f;
    const float s = static_cast<float>(row) + 0.5f;
    const float cycles = static_cast<float>(std::floor(static_cast<double>(s / period)));
    const float phase = s - cycles * period;
    const float falling = -(fall_rate * (phase - period));
    const float climbed = falling > phase ? phase : falling;
    const float y = climbed * scale / period;
    return std::isfinite(y) ? y : 0.0f;
}

void coloured_light_positions(double row, float centre_x, float centre_z, float positions[3][4])
{
    const float t = static_cast<float>(row * LIGHT_TIME_PER_ROW);
    const double turned = static_cast<double>(t) * PI;
    for (int k = 0; k < COLOURED_LIGHTS; ++k) {
        const float angle = static_cast<float>(turned + THIRD_TURNS[k]);
        const float sine = static_cast<float>(std::sin(static_cast<double>(angle)));
        const float cosine = static_cast<float>(std::cos(static_cast<double>(angle)));
        positions[k][0] = static_cast<float>(static_cast<double>(sine) * LIGHT_CIRCLE_RADIUS +
                                             static_cast<double>(centre_x));
        positions[k][1] = LIGHT_HEIGHT;
        positions[k][2] = static_cast<float>(static_cast<double>(cosine) * LIGHT_CIRCLE_RADIUS +
                                             static_cast<double>(centre_z));
        positions[k][3] = POINT_LIGHT;
    }
}

TerrainScene::TerrainScene(const SyncState* state) : state(state) {}

float TerrainScene::height_at(float x, float z) const
{
    return terrain_height(noise_source, x, z);
}

int TerrainScene::init()
{
    glEnable(GL_TEXTURE_2D);
    grass_texture = load_image_texture(GRASS_IMAGE, IMAGE_COMPONENTS);
    marble_texture = load_image_texture(MARBLE_IMAGE, IMAGE_COMPONENTS);

    // All values first (a fraction of a second with the height cache), then one recording pass.
    const TerrainMesh mesh = compute_terrain_mesh(noise_source);
    terrain_list = glGenLists(1);
    glNewList(terrain_list, GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, grass_texture);
    record_landscape(mesh);
    glEndList();
    return 0;
}

void TerrainScene::render()
{
    // Row, camera and the lights' places.
    const double row = state->current_row;
    const Camera camera = read_camera(*state);
    float light_positions[COLOURED_LIGHTS][4];
    coloured_light_positions(row, camera.target[0], camera.target[2], light_positions);

    // State: lights, lighting, texturing, cleared buffers.
    for (int k = 0; k < LIGHT_COUNT; ++k) {
        glLightfv(LIGHTS[k], GL_DIFFUSE, LIGHT_COLOURS[k]);
        glEnable(LIGHTS[k]);
    }
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glClear(ALL_BUFFERS);

    // Camera, then the light positions in world coordinates.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    look_through(camera);
    for (int k = 0; k < COLOURED_LIGHTS; ++k)
        glLightfv(LIGHTS[k], GL_POSITION, light_positions[k]);
    glLightfv(GL_LIGHT3, GL_POSITION, WHITE_LIGHT_DIRECTION);

    // The box above the pedestal.
    glEnable(GL_DEPTH_TEST);
    glBindTexture(GL_TEXTURE_2D, marble_texture);
    const float period = static_cast<float>(demo_value(*state, TRACK_SCP_A));
    const float scale = static_cast<float>(demo_value(*state, TRACK_SCP_C));
    const float fall_rate = static_cast<float>(demo_value(*state, TRACK_SCP_B));
    const float y = box_height(row, period, fall_rate, scale);
    glClear(GL_STENCIL_BUFFER_BIT);
    glPushMatrix();
    glTranslatef(0.0f, static_cast<float>(static_cast<double>(y) + PEDESTAL_TOP), 0.0f);
    draw_box();
    glPopMatrix();

    // Mark the mirror's pixels in the stencil buffer, writing neither colour nor depth.
    glEnable(GL_STENCIL_TEST);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glStencilFunc(GL_ALWAYS, MIRROR_MARK, 1);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    glBegin(GL_QUADS);
    emit_pedestal_top();
    glEnd();

    // The reflection, mirrored in y = 1 and confined to the marked pixels. The mirror reverses
    // the winding, so culling is off while it is drawn.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glStencilFunc(GL_EQUAL, MIRROR_MARK, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glPushMatrix();
    glTranslatef(0.0f, 1.0f, 0.0f);
    glScalef(1.0f, -1.0f, 1.0f);
    glTranslatef(0.0f, y, 0.0f);
    glDisable(GL_CULL_FACE);
    draw_box();
    glEnable(GL_CULL_FACE);
    glPopMatrix();
    glDisable(GL_STENCIL_TEST);

    // The pedestal: a translucent top over the reflection, opaque sides.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, marble_texture);
    glBegin(GL_QUADS);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, MIRROR_DIFFUSE);
    emit_pedestal_top();
    glMaterialfv(GL_FRONT, GL_DIFFUSE, OPAQUE_DIFFUSE);
    for (const Face& face : PEDESTAL_SIDES)
        emit_face(face);
    glEnd();

    // The landscape, which binds its own grass texture.
    glCallList(terrain_list);
}
