#include "shell/transport.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/audio.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"

namespace {

AuthoringState& state = demo_state.authoring;

// A seek lands on the nearest sample frame, a few ten-thousandths of a row off the whole row.
constexpr double ROW_TOLERANCE = 0.001;
// 16-bit PCM: a multiple of 4 bytes starts a whole frame in mono and in stereo alike.
constexpr uint64_t FRAME_ALIGN_BYTES = 4;

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

int32_t current_bar()
{
    return static_cast<int32_t>(std::floor((current_row() + ROW_TOLERANCE) / ROWS_PER_BAR));
}

// The two marks may have been set in either order: the loop runs between them.
int32_t loop_first_bar()
{
    return std::min(state.loop_start_mark, state.loop_end_mark);
}

int32_t loop_last_bar()
{
    return std::max(state.loop_start_mark, state.loop_end_mark);
}

void print_loop()
{
    std::fprintf(stderr, "%s loop bars %d-%d %s\n", format_position(current_row()).c_str(), loop_first_bar(),
                 loop_last_bar(), state.looping ? "on" : "off");
}

// While looping, a position outside the loop's bars goes to its first bar: turning the loop on
// away from it, or a frame that came late and ran past its end.
void keep_in_loop(bool also_before)
{
    if (!state.looping)
        return;
    const double row = current_row();
    const double first = static_cast<double>(loop_first_bar()) * ROWS_PER_BAR;
    const double end = static_cast<double>(loop_last_bar() + 1) * ROWS_PER_BAR;
    if (row >= end - ROW_TOLERANCE || (also_before && row < first - ROW_TOLERANCE))
        seek_to_row(first);
}

// Marks one end of the loop at the current bar; before any mark, both ends are that bar.
void mark_loop(bool start)
{
    const int32_t bar = current_bar();
    if (!state.loop_marked)
        state.loop_start_mark = state.loop_end_mark = bar;
    state.loop_marked = true;
    (start ? state.loop_start_mark : state.loop_end_mark) = bar;
    print_loop();
}

}  // namespace

double step_back_row(double row, double step, double last_landing)
{
    if (last_landing >= 0.0 && row > last_landing - ROW_TOLERANCE && row < last_landing + ROWS_PER_BEAT)
        row = last_landing;
    return step_row(row, step, -1);
}

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

void transport_seek(double row)
{
    state.stepped_back = false;
    if (!seek_to_row(row)) {
        std::fprintf(stderr, "%s is past the end of the music\n", format_position(row).c_str());
        return;
    }
    print_position(state.paused ? "paused" : "playing");
}

void transport_set_paused(bool paused)
{
    if (paused ? !audio_channel_pause(demo_state.music) : !audio_channel_resume(demo_state.music))
        return;
    state.paused = paused;
    print_position(paused ? "paused" : "playing");
}

void transport_set_loop(int32_t first_bar, int32_t last_bar, bool on)
{
    state.loop_start_mark = std::max(first_bar, 0);
    state.loop_end_mark = std::max(last_bar, 0);
    state.loop_marked = true;
    state.looping = on;
    keep_in_loop(true);
    print_loop();
}

bool transport_key(unsigned char key)
{
    switch (key) {
    case ' ':
        transport_set_paused(!state.paused);
        return true;
    case '[':
    case ']':
        mark_loop(key == '[');
        return true;
    case 'l':
        if (!state.loop_marked)
            state.loop_start_mark = state.loop_end_mark = current_bar();
        transport_set_loop(state.loop_start_mark, state.loop_end_mark, !state.looping);
        return true;
    default:
        return false;
    }
}

bool transport_special_key(int key)
{
    const double row = current_row();
    switch (key) {
    case GLUT_KEY_LEFT:
    case GLUT_KEY_PAGE_UP: {
        const double target = step_back_row(row, key == GLUT_KEY_LEFT ? ROWS_PER_BEAT : ROWS_PER_BAR,
                                            state.stepped_back ? state.stepped_back_to : -1.0);
        transport_seek(target);
        state.stepped_back = true;
        state.stepped_back_to = target;
        return true;
    }
    case GLUT_KEY_RIGHT:
        transport_seek(step_row(row, ROWS_PER_BEAT, 1));
        return true;
    case GLUT_KEY_PAGE_DOWN:
        transport_seek(step_row(row, ROWS_PER_BAR, 1));
        return true;
    case GLUT_KEY_HOME:
        transport_seek(0.0);
        return true;
    default:
        return false;
    }
}

void transport_before_frame()
{
    if (!state.paused)
        keep_in_loop(false);
}

// The end rule never holds at the fade-out row itself, so the search for the first row where it
// holds starts there.
void transport_hold_at_end(double row)
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
