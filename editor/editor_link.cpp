#include "editor/editor_link.h"

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "shell/authoring.h"
#include "shell/demo_state.h"
#include "shell/frame_tasks.h"
#include "timeline/timeline_files.h"

namespace {

// ---------------------------------------------------------------------------------------------
// TO RECONNECT AT MERGE: everything in this block stands in for the timeline watch on its own
// thread (shell/timeline_watch.h: timeline_snapshot, timeline_reload_now, timeline_wait_change).
// It polls the file like the authoring mode does and compiles each new content; installing is
// still the authoring mode's own load, run as a frame task.
// ---------------------------------------------------------------------------------------------
constexpr double WATCH_POLL_S = 0.010;

struct Watch {
    std::mutex mutex;
    std::condition_variable changed;
    TimelineSnapshot snapshot;
    uint64_t counter = 0;
    bool running = false;
    std::string path;
    struct stat seen {};
    std::thread thread;
};

Watch* watch = nullptr;  // on the heap: never destroyed behind a thread still running

bool same_file(const struct stat& a, const struct stat& b)
{
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Reads the file; a new content gets the next version and is compiled.
void watch_read()
{
    std::vector<unsigned char> bytes;
    std::string error;
    if (!read_file_bytes(watch->path, bytes, error))
        return;  // between an editor's unlink and rename
    std::string text(bytes.begin(), bytes.end());
    {
        const std::lock_guard<std::mutex> lock(watch->mutex);
        if (watch->snapshot.version != 0 && text == watch->snapshot.text)
            return;
    }
    auto timeline = std::make_shared<Timeline>();
    ParseError parse_error;
    const bool ok = parse_timeline(text, *timeline, parse_error);
    const std::lock_guard<std::mutex> lock(watch->mutex);
    TimelineSnapshot& snapshot = watch->snapshot;
    if (snapshot.version != 0 && text == snapshot.text)
        return;  // the other reader was first
    ++snapshot.version;
    snapshot.text = std::move(text);
    snapshot.load_ok = ok;
    snapshot.load_message =
        ok ? "loaded" : watch->path + ":" + std::to_string(parse_error.line) + ": " + parse_error.reason;
    if (ok)
        snapshot.good = std::move(timeline);
    ++watch->counter;
    watch->changed.notify_all();
}

void watch_loop()
{
    std::unique_lock<std::mutex> lock(watch->mutex);
    while (watch->running) {
        watch->changed.wait_for(lock, std::chrono::duration<double>(WATCH_POLL_S));
        struct stat now {};
        if (!watch->running || stat(watch->path.c_str(), &now) != 0 || same_file(now, watch->seen))
            continue;
        watch->seen = now;
        lock.unlock();
        watch_read();
        lock.lock();
    }
}

// TO RECONNECT AT MERGE: transport_set_paused, transport_seek and transport_set_loop
// (shell/transport.h) replace these three; they reach the authoring mode's state for now.
void stand_in_set_paused(bool paused)
{
    if (demo_state.authoring.paused != paused)
        authoring_keyboard(' ', 0, 0);
}

void stand_in_seek(double row)
{
    if (seek_to_row(row))
        std::fprintf(stderr, "%s %s\n", format_position(row).c_str(),
                     demo_state.authoring.paused ? "paused" : "playing");
}

void stand_in_set_loop(int32_t first_bar, int32_t last_bar, bool on)
{
    AuthoringState& state = demo_state.authoring;
    if (on) {
        state.loop_first_bar = first_bar;
        state.loop_last_bar = last_bar;
        state.loop_marked = true;
    }
    state.looping = on;
    std::fprintf(stderr, "loop bars %d-%d %s\n", state.loop_first_bar, state.loop_last_bar,
                 on ? "on" : "off");
}

}  // namespace

void link_start(const std::string& timeline_path)
{
    watch = new Watch;
    watch->path = timeline_path;
    watch->running = true;
    stat(timeline_path.c_str(), &watch->seen);
    watch_read();
    watch->thread = std::thread(watch_loop);
}

void link_stop()
{
    if (watch == nullptr)
        return;
    {
        const std::lock_guard<std::mutex> lock(watch->mutex);
        watch->running = false;
        watch->changed.notify_all();
    }
    watch->thread.join();
    delete watch;
    watch = nullptr;
}

const std::string& link_timeline_path()
{
    return watch->path;
}

TimelineSnapshot link_snapshot()
{
    const std::lock_guard<std::mutex> lock(watch->mutex);
    return watch->snapshot;
}

bool link_reload_now(double timeout_s, TimelineSnapshot& after)
{
    watch_read();
    const uint64_t version = link_snapshot().version;
    if (!run_on_frame_loop([] { authoring_reload_now(); }, timeout_s))
        return false;
    const std::lock_guard<std::mutex> lock(watch->mutex);
    watch->snapshot.installed_version = version;
    after = watch->snapshot;
    return true;
}

uint64_t link_wait_change(uint64_t seen, double timeout_s)
{
    std::unique_lock<std::mutex> lock(watch->mutex);
    watch->changed.wait_for(lock, std::chrono::duration<double>(timeout_s),
                            [&] { return watch->counter != seen || !watch->running; });
    return watch->counter;
}

// ---- the frame loop's side: what stays after the merge ----

bool link_preview(const std::vector<TrackPreview>& previews, double timeout_s)
{
    return run_on_frame_loop(
        [previews] {
            for (const TrackPreview& preview : previews)
                track_set_keys(demo_state.sync_state.demo_tracks[preview.track], preview.keys.data(),
                               static_cast<int32_t>(preview.keys.size()));
        },
        timeout_s);
}

bool link_transport(const TransportRequest& request, double timeout_s)
{
    return run_on_frame_loop(
        [request] {
            switch (request.action) {
            case TransportAction::Pause:
                stand_in_set_paused(true);
                break;
            case TransportAction::Play:
                stand_in_set_paused(false);
                break;
            case TransportAction::Seek:
                stand_in_seek(request.row);
                break;
            case TransportAction::Loop:
                stand_in_set_loop(request.first_bar, request.last_bar, request.loop_on);
                break;
            }
        },
        timeout_s);
}

bool link_next_frame(double timeout_s)
{
    // Tasks run at the start of a frame, and the state board is written at its end: a task posted
    // now runs only after the frame that ran the previous one was published.
    return run_on_frame_loop([] {}, timeout_s);
}
