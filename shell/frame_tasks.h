// The one way other threads reach the frame loop. The frame loop owns GL, the tracks and the audio
// layer; a thread that needs any of them (the timeline watch installing a compiled timeline, the
// editor's server answering a request) posts a task here, and the frame loop runs every waiting
// task at the start of its next frame, in the order they were posted.
//
// Tasks must be short: they run inside a frame. Work that takes longer (reading, compiling,
// encoding JSON) is done on the posting thread, before or after the task. Nothing here blocks the
// frame loop: posting takes a lock for a moment, and running takes the waiting tasks out at once.
#pragma once

#include <functional>

using FrameTask = std::function<void()>;

// Any thread: queue a task for the frame loop.
void post_frame_task(FrameTask task);

// Any thread but the frame loop's: queue a task and wait until the frame loop has run it. False
// when it has not run within `timeout_s` (the frame loop is gone or stalled); the task may then
// still run later, so it must not refer to the caller's stack unless this returned true.
bool run_on_frame_loop(FrameTask task, double timeout_s);

// Frame loop only: runs every task posted so far. Tasks posted by a running task wait for the
// next frame.
void run_frame_tasks();
