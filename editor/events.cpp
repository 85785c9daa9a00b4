#include "editor/events.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <nlohmann/json.hpp>

#include "sync/music_clock.h"

namespace {

// While the music plays a stream sends this often, whatever the frame rate: a slow frame loop
// must not make the page's play head stutter, and a fast one must not pay for an event a frame.
constexpr double PLAYING_EVENT_S = 1.0 / 50.0;

double now_s()
{
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// What an event shows; copied out of the board so that the frame loop never waits for the JSON.
struct Shown {
    FrameState frame;
    double published_s = 0.0;  // when the frame was published
    uint64_t version = 0;
    bool load_ok = false;
    std::string load_message;
};

struct Board {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t counter = 1;  // readers start at 0, so the first wait answers at once
    bool open = false;
    Shown shown;
};

Board board;

// A change a stream sends at once: all but the fps, and the row only while paused (a seek); a
// playing row goes out on the stream's own beat.
bool news(const FrameState& before, const FrameState& now)
{
    return now.playing != before.playing || now.looping != before.looping ||
           now.loop_first_bar != before.loop_first_bar || now.loop_last_bar != before.loop_last_bar ||
           now.scene != before.scene || (!now.playing && now.row != before.row);
}

// While playing, the row is the music's position now: the last frame's row moved on by the time
// since that frame.
std::string state_json(const Shown& shown)
{
    const FrameState& frame = shown.frame;
    const double row =
        frame.playing ? frame.row + (now_s() - shown.published_s) * ROWS_PER_SECOND : frame.row;
    nlohmann::json state = {
        {"row", row},
        {"playing", frame.playing},
        {"looping", frame.looping},
        {"loop", {{"first_bar", frame.loop_first_bar}, {"last_bar", frame.loop_last_bar}}},
        {"scene", frame.scene},
        {"fps", frame.fps},
        {"frames", frame.frames},
        {"refresh", frame.refresh},
        {"version", shown.version},
        {"load", {{"ok", shown.load_ok}, {"message", shown.load_message}}},
    };
    return state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void events_publish_frame(const FrameState& frame)
{
    const std::lock_guard<std::mutex> lock(board.mutex);
    const bool changed = news(board.shown.frame, frame);
    board.shown.frame = frame;
    board.shown.published_s = now_s();
    if (!changed)
        return;
    ++board.counter;
    board.changed.notify_all();
}

void events_publish_timeline(uint64_t version, bool load_ok, const std::string& load_message)
{
    const std::lock_guard<std::mutex> lock(board.mutex);
    board.shown.version = version;
    board.shown.load_ok = load_ok;
    board.shown.load_message = load_message;
    ++board.counter;
    board.changed.notify_all();
}

std::string events_state_json()
{
    std::unique_lock<std::mutex> lock(board.mutex);
    const Shown shown = board.shown;
    lock.unlock();
    return state_json(shown);
}

bool events_wait(uint64_t& seen, double timeout_s, std::string& event)
{
    std::unique_lock<std::mutex> lock(board.mutex);
    const double wait_s =
        board.shown.frame.playing && timeout_s > PLAYING_EVENT_S ? PLAYING_EVENT_S : timeout_s;
    board.changed.wait_for(lock, std::chrono::duration<double>(wait_s),
                           [&] { return !board.open || board.counter != seen; });
    if (!board.open)
        return false;
    seen = board.counter;
    const Shown shown = board.shown;
    lock.unlock();
    event = "data: " + state_json(shown) + "\n\n";
    return true;
}

void events_open()
{
    const std::lock_guard<std::mutex> lock(board.mutex);
    board.open = true;
}

void events_close()
{
    const std::lock_guard<std::mutex> lock(board.mutex);
    board.open = false;
    board.changed.notify_all();
}
