#include "editor/editor_link.h"

#include "shell/demo_state.h"
#include "shell/frame_tasks.h"
#include "shell/transport.h"

namespace {

std::string timeline_path;

// The watch says "loaded PATH"; the editor's page and scripts get "loaded" alone, and mistakes
// and file problems as the watch words them ("PATH:LINE: reason").
TimelineSnapshot for_editor(TimelineSnapshot snapshot)
{
    if (snapshot.load_ok && snapshot.load_message == "loaded " + timeline_path)
        snapshot.load_message = "loaded";
    return snapshot;
}

}  // namespace

void link_start(const std::string& path)
{
    timeline_path = path;
}

void link_stop() {}

const std::string& link_timeline_path()
{
    return timeline_path;
}

TimelineSnapshot link_snapshot()
{
    return for_editor(timeline_snapshot());
}

bool link_reload_now(double timeout_s, TimelineSnapshot& after)
{
    const bool answered = timeline_reload_now(timeout_s, after);
    after = for_editor(std::move(after));
    return answered;
}

uint64_t link_wait_change(uint64_t seen, double timeout_s)
{
    return timeline_wait_change(seen, timeout_s);
}

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
                transport_set_paused(true);
                break;
            case TransportAction::Play:
                transport_set_paused(false);
                break;
            case TransportAction::Seek:
                transport_seek(request.row);
                break;
            case TransportAction::Loop:
                transport_set_loop(request.first_bar, request.last_bar, request.loop_on);
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
