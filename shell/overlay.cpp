#include "shell/overlay.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "scenes/scene.h"
#include "shell/demo_state.h"
#include "shell/transport.h"
#include "sync/track_value.h"

namespace {

AuthoringState& state = demo_state.authoring;

constexpr double FPS_INTERVAL_S = 0.5;
const char* const SCENE_NAMES[] = {"triangle", "cubes", "landscape"};

// Layout in pixels, from the window's top left.
void* const OVERLAY_FONT = GLUT_BITMAP_9_BY_15;
constexpr int OVERLAY_MARGIN = 8;
constexpr int OVERLAY_LINE = 18;
constexpr int OVERLAY_BASELINE = 13;
constexpr float OVERLAY_SHADE = 0.6f;  // opacity of the dark box behind the text

void count_frame(double now)
{
    ++state.fps_frames;
    if (now - state.fps_since_s < FPS_INTERVAL_S)
        return;
    if (state.fps_since_s > 0.0)
        state.fps = static_cast<double>(state.fps_frames) / (now - state.fps_since_s);
    state.fps_frames = 0;
    state.fps_since_s = now;
}

std::vector<std::string> overlay_lines()
{
    const double row = demo_state.sync_state.current_row;
    const std::string scene = shown_scene_name();
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.0f fps", state.fps);
    std::string transport = state.paused ? "paused" : "playing";
    if (state.looping) {
        const int32_t first = std::min(state.loop_start_mark, state.loop_end_mark);
        const int32_t last = std::max(state.loop_start_mark, state.loop_end_mark);
        transport += ", looping bars " + std::to_string(first) + "-" + std::to_string(last);
    }
    return {format_position(row) + "  " + scene + "  " + fps, transport, state.load_result};
}

// Text over everything, after the fade quad. The frame driver leaves identity matrices, blending
// on and depth test, lighting and texturing off; fog and the current colour are this frame's,
// so they are saved and given back untouched for the next one.
void draw_overlay()
{
    const int width = demo_state.window_width, height = demo_state.window_height;
    if (width <= 0 || height <= 0)
        return;
    const std::vector<std::string> lines = overlay_lines();
    int text_width = 0;
    for (const std::string& line : lines) {
        const int length =
            glutBitmapLength(OVERLAY_FONT, reinterpret_cast<const unsigned char*>(line.c_str()));
        text_width = length > text_width ? length : text_width;
    }
    const float pixel_x = 2.0f / static_cast<float>(width), pixel_y = 2.0f / static_cast<float>(height);
    const float right = -1.0f + static_cast<float>(text_width + 2 * OVERLAY_MARGIN) * pixel_x;
    const float bottom =
        1.0f -
        static_cast<float>(static_cast<int>(lines.size()) * OVERLAY_LINE + 2 * OVERLAY_MARGIN) * pixel_y;

    glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT);
    glDisable(GL_FOG);
    glColor4f(0.0f, 0.0f, 0.0f, OVERLAY_SHADE);
    glBegin(GL_QUADS);
    glVertex2f(-1.0f, bottom);
    glVertex2f(right, bottom);
    glVertex2f(right, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool error_line = i + 1 == lines.size() && !state.load_ok;
        glColor4f(1.0f, error_line ? 0.4f : 1.0f, error_line ? 0.4f : 1.0f, 1.0f);
        const int baseline = OVERLAY_MARGIN + OVERLAY_BASELINE + static_cast<int>(i) * OVERLAY_LINE;
        glRasterPos2f(-1.0f + static_cast<float>(OVERLAY_MARGIN) * pixel_x,
                      1.0f - static_cast<float>(baseline) * pixel_y);
        glutBitmapString(OVERLAY_FONT, reinterpret_cast<const unsigned char*>(lines[i].c_str()));
    }
    glPopAttrib();
}

}  // namespace

const char* shown_scene_name()
{
    const std::vector<Scene*>& scenes = demo_state.scenes;
    if (scenes.empty())
        return "none";
    return SCENE_NAMES[choose_scene(demo_value(demo_state.sync_state, TRACK_SCENE),
                                    static_cast<int>(scenes.size()))];
}

void overlay_frame(double now_s)
{
    if (state.overlay)
        draw_overlay();
    count_frame(now_s);
}

void overlay_toggle()
{
    state.overlay = !state.overlay;
}
