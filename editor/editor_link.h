// The hand-over between the editor's server and the running demo: the only file of the editor that
// reaches the timeline's watch, the transport and the frame loop. Everything the server does to the
// demo goes through here; the server itself never touches GL, the tracks or the audio layer.
//
// Calls block the calling server thread for at most their timeout (in seconds), never the frame
// loop. Rows are music positions; bars are 32 rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shell/timeline_watch.h"
#include "timeline/timeline.h"

// Before and after the server: the timeline the watch reads (its path as given on the command line).
void link_start(const std::string& timeline_path);
void link_stop();

const std::string& link_timeline_path();
TimelineSnapshot link_snapshot();

// Reads the file now and has the frame loop install it; `after` is the state once installed.
// False when the frame loop did not answer within the timeout.
bool link_reload_now(double timeout_s, TimelineSnapshot& after);

// Waits for the watch's change counter to move past `seen`; returns the counter.
uint64_t link_wait_change(uint64_t seen, double timeout_s);

// Keys to show on a track from the next frame on, without writing the file.
struct TrackPreview {
    int track = 0;  // demo order
    std::vector<TrackKey> keys;
};
bool link_preview(const std::vector<TrackPreview>& previews, double timeout_s);

enum class TransportAction { Pause, Play, Seek, Loop };
struct TransportRequest {
    TransportAction action = TransportAction::Pause;
    double row = 0.0;  // Seek
    int32_t first_bar = 0;
    int32_t last_bar = 0;
    bool loop_on = true;
};
bool link_transport(const TransportRequest& request, double timeout_s);

// Waits until the frame loop has drawn a whole frame after this call (so the state board shows
// what a transport request did).
bool link_next_frame(double timeout_s);
