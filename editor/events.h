// The state board behind the editor's event stream: the frame loop writes what its frame showed,
// the timeline's watch writes each new version and load result, and every stream connection waits
// here for the next change and takes it as one Server-Sent Event.
//
// Writing takes a lock for a copy of a few fields and never blocks on a reader; readers sleep on
// a condition variable between changes. Rows are music positions; fps is frames per second.
#pragma once

#include <cstdint>
#include <string>

struct FrameState {
    double row = 0.0;
    bool playing = false;
    bool looping = false;
    int32_t loop_first_bar = 0;  // both included
    int32_t loop_last_bar = 0;
    std::string scene;
    double fps = 0.0;
    uint64_t frames = 0;   // drawn since the start
    double refresh = 0.0;  // Hz, the rate playing frames are paced to
};

// Frame loop, once a frame, after drawing. Streams are woken at once for a change of the
// transport, the loop or the scene, and for a row that moved while paused (a seek).
void events_publish_frame(const FrameState& frame);

// Any thread: the timeline's version and the result of its last load.
void events_publish_timeline(uint64_t version, bool load_ok, const std::string& load_message);

// The current state as the JSON object every event carries.
std::string events_state_json();

// Waits up to `timeout_s` (at most 1/50 s while the music plays) for a change after `seen` (0
// before the first event) and gives the event, "data: STATE\n\n", changed or not, with the counter
// to pass next time. False once the board is closed.
bool events_wait(uint64_t& seen, double timeout_s, std::string& event);

// Opens the board (at the server's start) and closes it, waking every waiting stream.
void events_open();
void events_close();
