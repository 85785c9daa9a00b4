#include "shell/authoring.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "editor/events.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "live/live_timeline.h"
#include "shell/frame_tasks.h"
#include "shell/overlay.h"
#include "shell/presentation.h"
#include "shell/timeline_watch.h"

namespace {

// While the music plays, frames follow the display's refresh: a frame is due a refresh period
// after the one before, and the loop sleeps in the window library's timer until then (a driver that
// waits for vertical sync has already waited in the swap). Paused, a frame is drawn only when
// something changes what it shows (an edit, a preview, a load, a key, a transport request), so the
// demo leaves the machine to the editor. A hidden, minimised or covered window is not drawn either,
// so neither would take the other threads' work: a timer looks this often and, while paused or when
// no frame was drawn for IDLE_AFTER_S, does a frame's work without drawing, asking for a frame when
// that work changed something.
constexpr unsigned TICK_MS = 10;
constexpr double IDLE_AFTER_S = 0.050;

double last_frame_s = 0.0;
double frame_due_s = 0.0;  // when the next playing frame is due
bool frame_timer_set = false;
bool ticking = false;

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
                          std::max(state.loop_start_mark, state.loop_end_mark), shown_scene_name(), state.fps,
                          state.frames, state.refresh_hz});
}

// The last outcome, for the overlay.
void show_load_state()
{
    const LiveSnapshot now = live_snapshot();
    demo_state.authoring.load_ok = now.load_ok;
    demo_state.authoring.load_result = now.load_message;
}

// Everything a frame does but draw: other threads' work first (a new timeline is installed before
// this frame reads it), then the transport and the position. True when other threads' work came.
bool frame_work()
{
    bool changed = run_frame_tasks();
    if (live_drain(demo_state.sync_state)) {
        show_load_state();
        changed = true;
    }
    transport_before_frame();
    // Where the demo would end, the authoring mode pauses on its last row instead.
    if (start_frame() && !demo_state.authoring.paused)
        transport_hold_at_end(demo_state.sync_state.current_row);
    return changed;
}

void tick(int)
{
    if (!ticking)
        return;
    if (demo_state.authoring.paused || now_s() - last_frame_s >= IDLE_AFTER_S) {
        if (frame_work())
            glutPostRedisplay();
        publish_frame();
    }
    glutTimerFunc(TICK_MS, tick, 0);
}

void frame_timer(int)
{
    frame_timer_set = false;
    if (ticking && !demo_state.authoring.paused)
        glutPostRedisplay();
}

// Asks for the next playing frame at its due time. Due times keep to the refresh's own grid, so the
// timer's whole milliseconds never slow the rate; a frame that started a period or more late starts
// the grid anew instead of drawing a burst to catch up. One timer at a time: a frame that a key
// asked for early does not start a second chain of frames.
void pace_next_frame(double frame_start_s)
{
    const double period_s = 1.0 / demo_state.authoring.refresh_hz;
    frame_due_s += period_s;
    if (frame_due_s <= frame_start_s)
        frame_due_s = frame_start_s + period_s;
    if (frame_timer_set)
        return;
    frame_timer_set = true;
    const double wait_ms = std::ceil((frame_due_s - now_s()) * 1000.0);
    glutTimerFunc(wait_ms > 0.0 ? static_cast<unsigned>(wait_ms) : 0u, frame_timer, 0);
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
    timeline_watch_start(demo_state.sync_state);
    show_load_state();
    last_frame_s = now_s();
    frame_due_s = last_frame_s;
    demo_state.authoring.refresh_hz = display_refresh_hz();
    ticking = true;
    glutTimerFunc(TICK_MS, tick, 0);
    glutDisplayFunc(authoring_display);
    glutKeyboardFunc(authoring_keyboard);
    glutSpecialFunc(authoring_special);
}

void authoring_stop()
{
    ticking = false;
    close_frame_tasks();
    live_close();
    timeline_watch_stop();
}

void authoring_display()
{
    const double start_s = now_s();
    frame_work();
    render_frame();
    overlay_frame(start_s);
    ++demo_state.authoring.frames;
    publish_frame();
    glutSwapBuffers();
    last_frame_s = now_s();
    if (!demo_state.authoring.paused)
        pace_next_frame(start_s);
}

void authoring_keyboard(unsigned char key, int x, int y)
{
    glutPostRedisplay();
    if (transport_key(key))
        return;
    if (key == 'o')
        overlay_toggle();
    else if (key == ESCAPE_KEY)
        keyboard(key, x, y);
}

void authoring_special(int key, int, int)
{
    glutPostRedisplay();
    transport_special_key(key);
}
