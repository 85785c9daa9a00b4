// The authoring mode's watch over its timeline: a thread of its own reads each version once the
// file has stood still and compiles it; the frame loop then only installs the compiled tracks (a
// frame task) and shows the result, and the thread writes the track files after that. A file that cannot be a
// timeline (gone, a folder, a FIFO, too big, unreadable) is reported once and the last good timeline stays.
// It never writes the timeline (the editor's server does, then asks for a reload). Times are seconds; a
// version is one content of the file; the snapshot functions are safe on any thread, the others say which
// thread they belong to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "timeline/timeline.h"

// A timeline file larger than this is refused before it is read: compiling it would take seconds
// and its tracks hundreds of megabytes.
constexpr int64_t TIMELINE_SIZE_LIMIT = int64_t{64} << 20;

struct TimelineSnapshot {
    uint64_t version = 0;      // 1 for the first content read; one more for each different content
    std::string text;          // that content
    bool load_ok = false;      // the last outcome shown: a good load, or a mistake or a file problem
    std::string load_message;  // "loaded PATH", "PATH:LINE: reason" or "PATH: problem"
    std::shared_ptr<const Timeline> good;  // the timeline whose tracks the frame loop shows
    uint64_t installed_version = 0;        // the version `good` was compiled from
};

// Before the frame loop starts: reads the file once. False with a one-line message when it
// cannot be read or is no regular file; a mistake in it is kept and shown once the demo runs.
bool timeline_watch_open(const std::string& path, std::string& error);

// Frame loop, before the first frame: compiles the first version, installs it, writes the track
// files and starts the watch thread.
void timeline_watch_start();

// Frame loop, after the last frame: stops the watch thread and waits for it.
void timeline_watch_stop();

// Any thread: the state of the watch at this moment.
TimelineSnapshot timeline_snapshot();

// Any thread but the frame loop's: reads the file at once, without waiting for it to stay still
// (for a writer that replaced it whole by a rename), and waits until the frame loop has installed
// that version or shown why not. False when that took longer than `timeout_s`; `after` is the
// snapshot at the end either way.
bool timeline_reload_now(double timeout_s, TimelineSnapshot& after);

// Any thread but the frame loop's: waits until the change counter differs from `seen_counter` (a
// new version read, or an outcome shown by the frame loop) or `timeout_s` passes; returns it.
uint64_t timeline_wait_change(uint64_t seen_counter, double timeout_s);
