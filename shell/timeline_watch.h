// The authoring mode's watch over its timeline: a thread of its own reads each content once its
// writer closed the file or renamed it in (as the kernel reports), or else once the file has stood
// still for 60 ms, compiles it and hands it to the live timeline (live/live_timeline.h), which
// the frame loop installs; it writes the track files of every version the frame loop installed,
// whoever made it, and then says so on standard error ("track files written for PATH"). A file
// that cannot be a timeline (gone, a folder, a FIFO, too big, unreadable) is reported once and the
// last good timeline stays. It never writes the timeline (the editor's transactions do). Times are
// seconds; each function says which thread it belongs to.
#pragma once

#include <cstdint>
#include <string>

#include "sync/demo_tracks.h"

// A timeline file larger than this is refused before it is read: compiling it would take seconds
// and its tracks hundreds of megabytes.
constexpr int64_t TIMELINE_SIZE_LIMIT = int64_t{64} << 20;

// Before the frame loop starts: reads the file once. False with a one-line message when it
// cannot be read or is no regular file; a mistake in it is kept and shown once the demo runs.
bool timeline_watch_open(const std::string& path, std::string& error);

// Frame loop, before the first frame: compiles the first version and installs it into `sync`'s
// tracks, then starts the watch thread, which writes the track files of every version installed.
void timeline_watch_start(SyncState& sync);

// Frame loop, after the last frame: stops the watch thread and waits for it (half a second at
// most: a thread compiling a large save is left to finish on its own).
void timeline_watch_stop();
