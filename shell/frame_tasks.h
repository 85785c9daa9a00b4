// The one way other threads reach the frame loop for what the live timeline's hand-over does not
// carry (the transport). The frame loop owns GL, the tracks and the audio layer; a thread that
// needs them posts a task here, and the frame loop runs every waiting task at the start of its next
// frame, or from its timer while the window is hidden and draws nothing, in the order posted.
//
// Tasks must be short: they run inside a frame. At most MAX_FRAME_TASKS wait at once: a post beyond
// that is refused rather than queued, so a stalled frame loop never makes the queue grow. After
// the main loop has ended the queue is closed: every waiting caller is answered at once.
#pragma once

#include <cstddef>
#include <functional>

using FrameTask = std::function<void()>;

constexpr size_t MAX_FRAME_TASKS = 64;

// Any thread but the frame loop's: queue a task and wait until the frame loop has run it. False
// when the queue is full or closed, or the task has not run within `timeout_s`; the task may then
// still run later, so it must not refer to the caller's stack unless this returned true.
bool run_on_frame_loop(FrameTask task, double timeout_s);

// Frame loop only: runs every task posted so far and says whether there was any. Tasks posted by
// a running task wait for the next frame.
bool run_frame_tasks();

// Frame loop, after its last frame: refuses new tasks, drops the waiting ones and answers their
// callers at once.
void close_frame_tasks();
