#include "shell/frame_driver.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include "audio/audio.h"
#include "shell/demo_state.h"
#include "shell/text_cards.h"
#include "sync/track_value.h"

namespace {

constexpr double FIELD_OF_VIEW = 45.0;  // vertical, degrees
constexpr double NEAR_PLANE = 0.05;
constexpr double FAR_PLANE = 500.0;
constexpr float CLEAR_ALPHA = 1.0f;
constexpr float FOG_ALPHA = 0.5f;

double track_at_row(DemoTrack track)
{
    return demo_value(demo_state.sync_state, track);
}

void draw_fade_quad()
{
    const float r = static_cast<float>(track_at_row(TRACK_FADE_R));
    const float g = static_cast<float>(track_at_row(TRACK_FADE_G));
    const float b = static_cast<float>(track_at_row(TRACK_FADE_B));
    const float a = static_cast<float>(track_at_row(TRACK_FADE_A));
    glBegin(GL_QUADS);
    glColor4f(r, g, b, a);
    // Counter-clockwise, so culling keeps it; it covers the whole viewport.
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(1.0f, -1.0f);
    glVertex2f(1.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
}

}  // namespace

float fade_out_volume(double fade_a)
{
    const float a = static_cast<float>(fade_a);
    return static_cast<float>(1.0 - static_cast<double>(a));
}

bool apply_end_of_demo_rule(double row)
{
    if (!(row > FADE_OUT_ROW))
        return false;
    const float volume = fade_out_volume(track_value(demo_state.sync_state.demo_tracks[TRACK_FADE_A], row));
    audio_channel_set_attribute(demo_state.music, AUDIO_ATTRIB_VOL, volume);
    return volume < SILENCE_THRESHOLD;
}

float window_aspect()
{
    // A minimised window may report a height of 0; a square aspect keeps the projection finite.
    if (demo_state.window_height <= 0 || demo_state.window_width <= 0)
        return 1.0f;
    return static_cast<float>(demo_state.window_width) / static_cast<float>(demo_state.window_height);
}

void render_frame()
{
    const float aspect = window_aspect();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FIELD_OF_VIEW, aspect, NEAR_PLANE, FAR_PLANE);

    const float clear_r = static_cast<float>(track_at_row(TRACK_CLEAR_R));
    const float clear_g = static_cast<float>(track_at_row(TRACK_CLEAR_G));
    const float clear_b = static_cast<float>(track_at_row(TRACK_CLEAR_B));
    glClearColor(clear_r, clear_g, clear_b, CLEAR_ALPHA);

    std::vector<Scene*>& scenes = demo_state.scenes;
    Scene* scene = nullptr;
    if (!scenes.empty())
        scene = scenes[choose_scene(track_at_row(TRACK_SCENE), static_cast<int>(scenes.size()))];

    glEnable(GL_FOG);
    glHint(GL_FOG_HINT, GL_NICEST);
    glFogi(GL_FOG_MODE, GL_EXP2);
    glFogf(GL_FOG_DENSITY, static_cast<float>(track_at_row(TRACK_FOG)));
    const GLfloat fog_colour[4] = {clear_r, clear_g, clear_b, FOG_ALPHA};
    glFogfv(GL_FOG_COLOR, fog_colour);

    if (scene != nullptr)
        scene->render();

    // The overlay is drawn straight in normalised device coordinates.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);

    draw_text_card(aspect);
    glDisable(GL_TEXTURE_2D);
    draw_fade_quad();
}

bool start_frame()
{
    const uint64_t position = audio_channel_get_position(demo_state.music, AUDIO_POS_BYTE);
    const double seconds = audio_channel_bytes_to_seconds(demo_state.music, position);
    const double row = seconds * ROWS_PER_SECOND;
    demo_state.sync_state.current_row = row;
    return apply_end_of_demo_rule(row);
}

void display()
{
    // The frame still runs to its end; the main loop returns after it.
    if (start_frame())
        glutLeaveMainLoop();

    render_frame();
    glutSwapBuffers();
    glutPostRedisplay();
}

void keyboard(unsigned char key, int, int)
{
    if (key == ESCAPE_KEY)
        glutLeaveMainLoop();
}

void reshape(int width, int height)
{
    demo_state.window_width = width;
    demo_state.window_height = height;
    glViewport(0, 0, width, height);
}
