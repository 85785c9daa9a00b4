#include "shell/authoring.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>

#include "editor/events.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "shell/frame_tasks.h"
#include "shell/overlay.h"
#include "shell/timeline_watch.h"

namespace {

constexpr unsigned char ESCAPE_KEY = 27;

double now_s()
{
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// What the editor's event stream shows of this frame.
void publish_frame()
{
    const AuthoringState& state = demo_state.authoring;
    events_publish_frame({demo_state.sync_state.current_row, !state.paused, state.looping,
                          std::min(state.loop_start_mark, state.loop_end_mark),
                          std::max(state.loop_start_mark, state.loop_end_mark), shown_scene_name(),
                          state.fps});
}

}  // namespace

bool authoring_open(const std::string& timeline_path, std::string& error)
{
    if (!timeline_watch_open(timeline_path, error))
        return false;
    demo_state.authoring.overlay = true;
    return true;
}

void authoring_start()
{
    timeline_watch_start();
    glutDisplayFunc(authoring_display);
    glutKeyboardFunc(authoring_keyboard);
    glutSpecialFunc(authoring_special);
}

void authoring_stop()
{
    timeline_watch_stop();
}

void authoring_display()
{
    // Other threads' work first: a newly compiled timeline is installed before this frame reads it.
    run_frame_tasks();
    transport_before_frame();
    // Where the demo would end, the authoring mode pauses on its last row instead.
    if (start_frame() && !demo_state.authoring.paused)
        transport_hold_at_end(demo_state.sync_state.current_row);
    render_frame();
    overlay_frame(now_s());
    publish_frame();
    glutSwapBuffers();
    glutPostRedisplay();
}

void authoring_keyboard(unsigned char key, int x, int y)
{
    if (transport_key(key))
        return;
    if (key == 'o')
        overlay_toggle();
    else if (key == ESCAPE_KEY)
        keyboard(key, x, y);
}

void authoring_special(int key, int, int)
{
    transport_special_key(key);
}
