#include "live/live_timeline.h"

#include <malloc.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <utility>

namespace {

// A good timeline's keys as the tracks hold them, made before the hand-over so that the frame loop
// installs them by exchanging pointers.
struct TrackArrays {
    TrackKey* keys[DEMO_TRACK_COUNT] = {};
    int32_t counts[DEMO_TRACK_COUNT] = {};
};

struct PendingInstall {
    std::shared_ptr<const std::string> text;
    std::shared_ptr<const Timeline> timeline;
    size_t text_hash = 0;  // tells a new text from the installed one without comparing megabytes
    TrackArrays arrays;
    uint64_t ticket = 0;
};

// Every field is guarded by `mutex`, except `previewed`, which only the frame loop uses.
struct Live {
    std::mutex mutex;
    std::condition_variable changed;
    std::string path;
    bool closed = false;
    LiveSnapshot now;
    size_t now_hash = 0;
    std::shared_ptr<const std::string> latest_text;
    bool install_pending = false;
    PendingInstall install;
    uint64_t next_ticket = 0;
    uint64_t installed_ticket = 0;
    bool outcome_pending = false;
    bool outcome_ok = false;
    std::string outcome_message;
    bool preview_pending = false;
    std::vector<TrackPreview> preview;
    // Freeing the keys of a large timeline takes longer than a frame: done off the frame loop.
    std::vector<TrackKey*> released_keys;
    std::vector<std::shared_ptr<const Timeline>> released_timelines;
    bool previewed[DEMO_TRACK_COUNT] = {};
};

// Never freed: a thread still compiling at exit must still find it.
Live& live = *new Live;

void free_arrays(TrackArrays& arrays)
{
    for (TrackKey*& keys : arrays.keys) {
        std::free(keys);
        keys = nullptr;
    }
}

// False when memory runs out; nothing is then left allocated. A timeline without its tracks gives
// empty ones.
bool make_arrays(const Timeline& timeline, TrackArrays& arrays)
{
    for (int k = 0; k < DEMO_TRACK_COUNT && static_cast<size_t>(k) < timeline.tracks.size(); ++k) {
        const std::vector<TrackKey>& keys = timeline.tracks[static_cast<size_t>(k)].keys;
        if (keys.empty())
            continue;
        arrays.keys[k] = static_cast<TrackKey*>(std::malloc(keys.size() * sizeof(TrackKey)));
        if (arrays.keys[k] == nullptr) {
            free_arrays(arrays);
            return false;
        }
        std::memcpy(arrays.keys[k], keys.data(), keys.size() * sizeof(TrackKey));
        arrays.counts[k] = static_cast<int32_t>(keys.size());
    }
    return true;
}

void set_track_keys(Track* track, const std::vector<TrackKey>& keys)
{
    track_set_keys(track, keys.data(), static_cast<int32_t>(keys.size()));
}

}  // namespace

void live_open(const std::string& path)
{
    const std::lock_guard<std::mutex> lock(live.mutex);
    live.path = path;
}

const std::string& live_path()
{
    return live.path;
}

LiveSnapshot live_snapshot()
{
    const std::lock_guard<std::mutex> lock(live.mutex);
    return live.now;
}

std::shared_ptr<const std::string> live_latest_text()
{
    const std::lock_guard<std::mutex> lock(live.mutex);
    return live.latest_text;
}

uint64_t live_submit_install(std::shared_ptr<const std::string> text,
                             std::shared_ptr<const Timeline> timeline, const std::string& message)
{
    const size_t text_hash = std::hash<std::string>()(*text);
    PendingInstall install{std::move(text), std::move(timeline), text_hash, {}, 0};
    if (!make_arrays(*install.timeline, install.arrays)) {
        live_submit_outcome(false, live.path + ": not enough memory for its keys");
        return 0;
    }
    PendingInstall replaced;
    uint64_t ticket = 0;
    {
        const std::lock_guard<std::mutex> lock(live.mutex);
        if (live.closed) {
            replaced = std::move(install);
        } else {
            ticket = install.ticket = ++live.next_ticket;
            live.latest_text = install.text;
            replaced = std::move(live.install);
            live.install = std::move(install);
            live.install_pending = true;
            live.outcome_pending = true;
            live.outcome_ok = true;
            live.outcome_message = message;
            live.preview_pending = false;
            live.preview.clear();
        }
    }
    free_arrays(replaced.arrays);
    return ticket;
}

void live_submit_outcome(bool ok, const std::string& message)
{
    const std::lock_guard<std::mutex> lock(live.mutex);
    live.outcome_pending = true;
    live.outcome_ok = ok;
    live.outcome_message = message;
}

void live_submit_preview(std::vector<TrackPreview> previews)
{
    std::vector<TrackPreview> replaced;
    const std::lock_guard<std::mutex> lock(live.mutex);
    replaced.swap(live.preview);
    live.preview = std::move(previews);
    live.preview_pending = true;
}

bool live_drain(SyncState& sync)
{
    std::unique_lock<std::mutex> lock(live.mutex);
    if (live.closed || !(live.install_pending || live.preview_pending || live.outcome_pending))
        return false;
    bool installed = false;
    if (live.install_pending) {
        PendingInstall& install = live.install;
        live.install_pending = false;
        live.installed_ticket = install.ticket;
        // The compiler's counts never pass the tracks' cap, so every exchange succeeds.
        for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
            track_swap_keys(sync.demo_tracks[k], &install.arrays.keys[k], &install.arrays.counts[k]);
            live.released_keys.push_back(install.arrays.keys[k]);
            install.arrays.keys[k] = nullptr;
            live.previewed[k] = false;
        }
        // Equal hashes are compared in full, which only the same text again costs.
        if (live.now.text == nullptr || live.now_hash != install.text_hash ||
            *live.now.text != *install.text) {
            ++live.now.version;
            installed = true;
        }
        live.now_hash = install.text_hash;
        live.now.text = std::move(install.text);
        live.released_timelines.push_back(std::move(live.now.good));
        live.now.good = std::move(install.timeline);
    }
    if (live.preview_pending) {
        live.preview_pending = false;
        bool shown[DEMO_TRACK_COUNT] = {};
        for (const TrackPreview& preview : live.preview) {
            set_track_keys(sync.demo_tracks[preview.track], preview.keys);
            shown[preview.track] = true;
        }
        for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
            if (live.previewed[k] && !shown[k] && live.now.good != nullptr)
                set_track_keys(sync.demo_tracks[k], live.now.good->tracks[static_cast<size_t>(k)].keys);
            live.previewed[k] = shown[k];
        }
    }
    bool print = false;
    if (live.outcome_pending) {
        live.outcome_pending = false;
        print =
            installed || live.outcome_ok != live.now.load_ok || live.outcome_message != live.now.load_message;
        live.now.load_ok = live.outcome_ok;
        live.now.load_message = std::move(live.outcome_message);
        live.outcome_message.clear();
    }
    ++live.now.change_counter;
    live.changed.notify_all();
    const std::string message = print ? live.now.load_message : std::string();
    lock.unlock();
    if (print)
        std::fprintf(stderr, "%s\n", message.c_str());
    return true;
}

void live_free_released()
{
    std::vector<TrackKey*> keys;
    std::vector<std::shared_ptr<const Timeline>> timelines;
    {
        const std::lock_guard<std::mutex> lock(live.mutex);
        keys.swap(live.released_keys);
        timelines.swap(live.released_timelines);
    }
    for (TrackKey* old_keys : keys)
        std::free(old_keys);
    timelines.clear();
    // A replaced timeline of a large file is megabytes: back to the system, not kept by this thread.
    if (!keys.empty())
        malloc_trim(0);
}

bool live_wait_installed(uint64_t ticket, double timeout_s)
{
    std::unique_lock<std::mutex> lock(live.mutex);
    live.changed.wait_for(lock, std::chrono::duration<double>(timeout_s),
                          [&] { return live.installed_ticket >= ticket || live.closed; });
    return ticket != 0 && live.installed_ticket >= ticket;
}

uint64_t live_wait_change(uint64_t seen, double timeout_s)
{
    std::unique_lock<std::mutex> lock(live.mutex);
    live.changed.wait_for(lock, std::chrono::duration<double>(timeout_s),
                          [&] { return live.now.change_counter != seen || live.closed; });
    return live.now.change_counter;
}

void live_close()
{
    const std::lock_guard<std::mutex> lock(live.mutex);
    live.closed = true;
    live.changed.notify_all();
}

bool live_closed()
{
    const std::lock_guard<std::mutex> lock(live.mutex);
    return live.closed;
}
