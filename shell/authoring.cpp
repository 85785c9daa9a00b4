#include "shell/authoring.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "audio/audio.h"
#include "editor/events.h"
#include "scenes/scene.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "shell/frame_tasks.h"
#include "sync/track_value.h"
#include "timeline/timeline_files.h"

namespace {

AuthoringState& state = demo_state.authoring;

// Polling every 10 ms and loading a version once two polls agree puts a save on screen within
// about 20 ms, and lets an editor finish writing before we read.
constexpr double POLL_INTERVAL_S = 0.010;
constexpr double FPS_INTERVAL_S = 0.5;
// A seek lands on the nearest sample frame, a few ten-thousandths of a row off the whole row.
constexpr double ROW_TOLERANCE = 0.001;
// 16-bit PCM: a multiple of 4 bytes starts a whole frame in mono and in stereo alike.
constexpr uint64_t FRAME_ALIGN_BYTES = 4;
constexpr unsigned char ESCAPE_KEY = 27;
const char* const SCENE_NAMES[] = {"triangle", "cubes", "landscape"};

// Overlay layout in pixels, from the window's top left.
void* const OVERLAY_FONT = GLUT_BITMAP_9_BY_15;
constexpr int OVERLAY_MARGIN = 8;
constexpr int OVERLAY_LINE = 18;
constexpr int OVERLAY_BASELINE = 13;
constexpr float OVERLAY_SHADE = 0.6f;  // opacity of the dark box behind the text

double now_s()
{
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

bool read_signature(const std::string& path, FileSignature& signature)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return false;
    signature = {info.st_dev, info.st_ino,
                 static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                 static_cast<int64_t>(info.st_size)};
    return true;
}

bool same_signature(const FileSignature& a, const FileSignature& b)
{
    return a.device == b.device && a.inode == b.inode && a.modified_ns == b.modified_ns && a.size == b.size;
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void report(bool ok, const std::string& message)
{
    state.load_ok = ok;
    state.load_result = message;
    std::fprintf(stderr, "%s\n", message.c_str());
}

// Compiles the timeline and, when it is good, installs it into the demo's tracks and writes the
// track files. A mistake, or a file caught half-written, leaves the tracks as they were.
void load_timeline()
{
    Timeline timeline;
    std::string error;
    if (!load_timeline_file(state.timeline_path, timeline, error)) {
        report(false, error);
        return;
    }
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
        const std::vector<TrackKey>& keys = timeline.tracks[k].keys;
        track_set_keys(demo_state.sync_state.demo_tracks[k], keys.data(), static_cast<int32_t>(keys.size()));
    }
    if (!write_track_files(timeline, state.folder, error)) {
        report(false, "loaded " + state.timeline_path + ", but the track files were not written: " + error);
        return;
    }
    report(true, "loaded " + state.timeline_path);
}

void poll_timeline(double now)
{
    if (now < state.next_poll_s)
        return;
    state.next_poll_s = now + POLL_INTERVAL_S;
    FileSignature signature{};
    // Between an editor's unlink and rename the file may be gone for a moment: wait for it.
    if (!read_signature(state.timeline_path, signature))
        return;
    const bool settled = same_signature(signature, state.seen);
    state.seen = signature;
    if (!settled || same_signature(signature, state.loaded))
        return;
    state.loaded = signature;
    load_timeline();
}

double current_row()
{
    const uint64_t position = audio_channel_get_position(demo_state.music, AUDIO_POS_BYTE);
    return audio_channel_bytes_to_seconds(demo_state.music, position) * ROWS_PER_SECOND;
}

void print_position(const char* what)
{
    std::fprintf(stderr, "%s %s\n", format_position(current_row()).c_str(), what);
}

// The nearest multiple of `step` strictly before or after the row; a row within the tolerance of
// a multiple counts as on it.
double step_row(double row, double step, int direction)
{
    if (direction < 0)
        return std::fmax(0.0, (std::ceil((row - ROW_TOLERANCE) / step) - 1.0) * step);
    return (std::floor((row + ROW_TOLERANCE) / step) + 1.0) * step;
}

void move_to(double row)
{
    if (!seek_to_row(row)) {
        std::fprintf(stderr, "%s is past the end of the music\n", format_position(row).c_str());
        return;
    }
    print_position(state.paused ? "paused" : "playing");
}

void set_paused(bool paused)
{
    if (paused ? !audio_channel_pause(demo_state.music) : !audio_channel_resume(demo_state.music))
        return;
    state.paused = paused;
    print_position(paused ? "paused" : "playing");
}

int32_t current_bar()
{
    return static_cast<int32_t>(std::floor((current_row() + ROW_TOLERANCE) / ROWS_PER_BAR));
}

void print_loop()
{
    std::fprintf(stderr, "%s loop bars %d-%d %s\n", format_position(current_row()).c_str(),
                 state.loop_first_bar, state.loop_last_bar, state.looping ? "on" : "off");
}

// Marks one end of the loop at the current bar; the other end follows when it would be crossed.
void mark_loop(bool first)
{
    const int32_t bar = current_bar();
    if (!state.loop_marked)
        state.loop_first_bar = state.loop_last_bar = bar;
    state.loop_marked = true;
    if (first) {
        state.loop_first_bar = bar;
        if (state.loop_last_bar < bar)
            state.loop_last_bar = bar;
    } else {
        state.loop_last_bar = bar;
        if (state.loop_first_bar > bar)
            state.loop_first_bar = bar;
    }
    print_loop();
}

// While looping, reaching the end of the loop's last bar goes back to its first.
void apply_loop()
{
    if (!state.looping || state.paused)
        return;
    const double row = current_row();
    const double first = static_cast<double>(state.loop_first_bar) * ROWS_PER_BAR;
    const double end = static_cast<double>(state.loop_last_bar + 1) * ROWS_PER_BAR;
    if (row >= end - ROW_TOLERANCE && row < end + ROWS_PER_BAR)
        seek_to_row(first);
}

void count_frame(double now)
{
    ++state.fps_frames;
    if (now - state.fps_since_s < FPS_INTERVAL_S)
        return;
    state.fps = static_cast<double>(state.fps_frames) / (now - state.fps_since_s);
    state.fps_frames = 0;
    state.fps_since_s = now;
}

const char* scene_name()
{
    const std::vector<Scene*>& scenes = demo_state.scenes;
    if (scenes.empty())
        return "none";
    return SCENE_NAMES[choose_scene(demo_value(demo_state.sync_state, TRACK_SCENE),
                                    static_cast<int>(scenes.size()))];
}

// What the editor's event stream shows of this frame.
void publish_frame()
{
    events_publish_frame({demo_state.sync_state.current_row, !state.paused, state.looping,
                          state.loop_first_bar, state.loop_last_bar, scene_name(), state.fps});
}

std::vector<std::string> overlay_lines()
{
    const double row = demo_state.sync_state.current_row;
    const std::string scene = scene_name();
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.0f fps", state.fps);
    std::string transport = state.paused ? "paused" : "playing";
    if (state.looping)
        transport += ", looping bars " + std::to_string(state.loop_first_bar) + "-" +
                     std::to_string(state.loop_last_bar);
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

std::string format_position(double row)
{
    const int64_t whole = static_cast<int64_t>(std::floor(row + ROW_TOLERANCE));
    if (whole < 0)
        return std::to_string(whole) + " (row " + std::to_string(whole) + ")";
    const int64_t bar = whole / ROWS_PER_BAR;
    const int64_t beat = whole % ROWS_PER_BAR / ROWS_PER_BEAT;
    const int64_t sub = whole % ROWS_PER_BEAT;
    return std::to_string(bar) + ":" + std::to_string(beat) + ":" + std::to_string(sub) + " (row " +
           std::to_string(whole) + ")";
}

bool authoring_open(const std::string& timeline_path, std::string& error)
{
    std::vector<unsigned char> bytes;
    if (!read_file_bytes(timeline_path, bytes, error))
        return false;
    state.timeline_path = timeline_path;
    state.folder = folder_of(timeline_path);
    state.overlay = true;
    return true;
}

void authoring_start()
{
    read_signature(state.timeline_path, state.loaded);
    state.seen = state.loaded;
    load_timeline();
    state.fps_since_s = now_s();
    glutDisplayFunc(authoring_display);
    glutKeyboardFunc(authoring_keyboard);
    glutSpecialFunc(authoring_special);
}

void authoring_reload_now()
{
    read_signature(state.timeline_path, state.loaded);
    state.seen = state.loaded;
    load_timeline();
}

bool seek_to_row(double row)
{
    const double seconds_per_byte = audio_channel_bytes_to_seconds(demo_state.music, 1);
    if (!(seconds_per_byte > 0.0) || !(row >= 0.0))
        return false;
    const double bytes = row / ROWS_PER_SECOND / seconds_per_byte;
    const uint64_t aligned =
        static_cast<uint64_t>(std::llround(bytes / FRAME_ALIGN_BYTES)) * FRAME_ALIGN_BYTES;
    // The audio layer takes a place past the end as the end, which then reads back short of it.
    const uint64_t before = audio_channel_get_position(demo_state.music, AUDIO_POS_BYTE);
    if (!audio_channel_set_position(demo_state.music, aligned, AUDIO_POS_BYTE))
        return false;
    if (audio_channel_get_position(demo_state.music, AUDIO_POS_BYTE) < aligned) {
        audio_channel_set_position(demo_state.music, before, AUDIO_POS_BYTE);
        return false;
    }
    // Before the fade-out row the music plays at full volume; past it the fade's rule sets it.
    if (row > FADE_OUT_ROW)
        apply_end_of_demo_rule(row);
    else
        audio_channel_set_attribute(demo_state.music, AUDIO_ATTRIB_VOL, 1.0f);
    return true;
}

namespace {

// Holds on the first whole row at which the demo ends, however far past it the frame that found
// the end has run: the author always lands on the demo's last row. The end rule never holds at the
// fade-out row itself, so the search starts there.
void hold_at_end(double row)
{
    double before = FADE_OUT_ROW;
    double ending = std::ceil(row);
    while (ending - before > 1.0) {
        const double middle = std::floor((before + ending) / 2.0);
        (apply_end_of_demo_rule(middle) ? ending : before) = middle;
    }
    if (!audio_channel_pause(demo_state.music))
        return;
    state.paused = true;
    seek_to_row(ending);
    print_position("paused");
}

}  // namespace

void authoring_display()
{
    const double now = now_s();
    run_frame_tasks();
    poll_timeline(now);
    apply_loop();
    // Where the demo would end, the authoring mode pauses on its last row instead.
    if (start_frame() && !state.paused)
        hold_at_end(demo_state.sync_state.current_row);
    render_frame();
    if (state.overlay)
        draw_overlay();
    count_frame(now);
    publish_frame();
    glutSwapBuffers();
    glutPostRedisplay();
}

void authoring_keyboard(unsigned char key, int x, int y)
{
    switch (key) {
    case ' ':
        set_paused(!state.paused);
        break;
    case '[':
        mark_loop(true);
        break;
    case ']':
        mark_loop(false);
        break;
    case 'l':
        state.looping = !state.looping;
        if (state.looping && !state.loop_marked) {
            state.loop_first_bar = state.loop_last_bar = current_bar();
            state.loop_marked = true;
        }
        print_loop();
        break;
    case 'o':
        state.overlay = !state.overlay;
        break;
    case ESCAPE_KEY:
        keyboard(key, x, y);
        break;
    default:
        break;
    }
}

void authoring_special(int key, int, int)
{
    const double row = current_row();
    switch (key) {
    case GLUT_KEY_LEFT:
        move_to(step_row(row, ROWS_PER_BEAT, -1));
        break;
    case GLUT_KEY_RIGHT:
        move_to(step_row(row, ROWS_PER_BEAT, 1));
        break;
    case GLUT_KEY_PAGE_UP:
        move_to(step_row(row, ROWS_PER_BAR, -1));
        break;
    case GLUT_KEY_PAGE_DOWN:
        move_to(step_row(row, ROWS_PER_BAR, 1));
        break;
    case GLUT_KEY_HOME:
        move_to(0.0);
        break;
    default:
        break;
    }
}
