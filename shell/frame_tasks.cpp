#include "shell/frame_tasks.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::mutex queue_mutex;
std::vector<FrameTask> queue;

// What a waiting caller and the frame loop share; owned by both, so that a caller that gave up
// leaves nothing dangling behind the task.
struct Completion {
    std::mutex mutex;
    std::condition_variable done_signal;
    bool done = false;
};

}  // namespace

void post_frame_task(FrameTask task)
{
    const std::lock_guard<std::mutex> lock(queue_mutex);
    queue.push_back(std::move(task));
}

bool run_on_frame_loop(FrameTask task, double timeout_s)
{
    auto completion = std::make_shared<Completion>();
    post_frame_task([task = std::move(task), completion] {
        task();
        const std::lock_guard<std::mutex> lock(completion->mutex);
        completion->done = true;
        completion->done_signal.notify_all();
    });
    std::unique_lock<std::mutex> lock(completion->mutex);
    return completion->done_signal.wait_for(lock, std::chrono::duration<double>(timeout_s),
                                            [&] { return completion->done; });
}

void run_frame_tasks()
{
    std::vector<FrameTask> ready;
    {
        const std::lock_guard<std::mutex> lock(queue_mutex);
        ready.swap(queue);
    }
    for (FrameTask& task : ready)
        task();
}
