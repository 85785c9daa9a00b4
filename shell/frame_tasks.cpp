#include "shell/frame_tasks.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// One lock and one signal for the queue and every caller's completion: tasks are few and short.
std::mutex queue_mutex;
std::condition_variable done_signal;
std::vector<FrameTask> queue;
bool closed = false;

}  // namespace

bool run_on_frame_loop(FrameTask task, double timeout_s)
{
    // Shared with the task, so that a caller that gave up leaves nothing dangling behind it.
    auto done = std::make_shared<bool>(false);
    std::unique_lock<std::mutex> lock(queue_mutex);
    if (closed || queue.size() >= MAX_FRAME_TASKS)
        return false;
    queue.push_back([task = std::move(task), done] {
        task();
        const std::lock_guard<std::mutex> lock(queue_mutex);
        *done = true;
        done_signal.notify_all();
    });
    done_signal.wait_for(lock, std::chrono::duration<double>(timeout_s), [&] { return *done || closed; });
    return *done;
}

bool run_frame_tasks()
{
    std::vector<FrameTask> ready;
    {
        const std::lock_guard<std::mutex> lock(queue_mutex);
        ready.swap(queue);
    }
    for (FrameTask& task : ready)
        task();
    return !ready.empty();
}

void close_frame_tasks()
{
    std::vector<FrameTask> dropped;
    const std::lock_guard<std::mutex> lock(queue_mutex);
    closed = true;
    dropped.swap(queue);
    done_signal.notify_all();
}
