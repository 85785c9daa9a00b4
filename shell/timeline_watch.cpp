#include "shell/timeline_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "shell/demo_state.h"
#include "shell/frame_tasks.h"
#include "sync/track.h"
#include "timeline/timeline_files.h"

namespace {

constexpr double POLL_INTERVAL_S = 0.010;
// A version is read only once its signature has stood still this long. Editors, generators and
// slow disks write a save in pieces with pauses between them, and every prefix of a good timeline
// is either a mistake ("track ... is missing") or, worse, a good timeline with keys cut off. A quiet
// time longer than such pauses (up to 50 ms) lets the writer finish; an editor's save by rename
// is one step and only waits for this once.
constexpr double QUIET_TIME_S = 0.060;
// A mistake is shown only once the version stays this much longer: a writer that paused for longer
// than the quiet time has most likely not finished, and its next piece takes the mistake back.
constexpr double MISTAKE_HOLD_S = 0.250;
// A file that could not be opened is tried again this often, since a chmod changes nothing that
// the signature holds.
constexpr double RETRY_INTERVAL_S = 0.5;
constexpr size_t READ_CHUNK_BYTES = 1 << 16;
constexpr double STOP_WAIT_S = 0.5;

// What tells one version of the timeline file from another: a rename gives a new inode, a write
// a new modification time or size.
struct FileSignature {
    dev_t device = 0;
    ino_t inode = 0;
    int64_t modified_ns = 0;
    int64_t size = -1;
};

enum class ReadResult { Read, Changed, Refused };

// Shared between the watch thread, the frame loop and the editor's threads; every field is
// guarded by `mutex`, except that the watch thread, the only one to replace `text`, reads it
// without.
struct Shared {
    std::mutex mutex;
    std::condition_variable wake;     // the watch thread waits on it: stop or a reload request
    std::condition_variable changed;  // waiters on the change counter and on reloads
    bool stop = false;                // nothing more goes to the frame loop once it is set
    bool finished = false;            // the watch thread has returned
    uint64_t reload_requested = 0;    // request numbers, counted up from 1
    uint64_t reload_done = 0;
    uint64_t change_counter = 0;
    // The snapshot's text stays empty and the text is kept apart: copying megabytes inside the
    // lock would hold up everyone else, the frame loop's next outcome included.
    TimelineSnapshot snapshot;
    std::shared_ptr<const std::string> text = std::make_shared<const std::string>();
    // What the frame loop replaced, freed by the watch thread: freeing a large timeline takes
    // longer than a frame.
    std::vector<TrackKey*> released_keys;
    std::vector<std::shared_ptr<const Timeline>> released_timelines;
};

// A good timeline's keys as the tracks hold them, made on the watch thread so that the frame
// loop installs them by exchanging pointers.
struct TrackArrays {
    TrackKey* keys[DEMO_TRACK_COUNT] = {};
    int32_t counts[DEMO_TRACK_COUNT] = {};
};

// Only the watch thread uses these once it runs (before that, the frame loop).
struct Watch {
    std::string path;
    std::string folder;  // where the track files go: the timeline's own folder
    FileSignature candidate;
    bool candidate_present = false;
    double candidate_since_s = 0.0;
    FileSignature last_read;   // the version last looked at, read or refused
    bool read_failed = false;  // the last look could not open or read it: try again
    double retry_at_s = 0.0;
    uint64_t version = 0;  // the version of shared.text
    std::string problem;   // the file problem shown last; empty once a version was compiled
    // A compiled mistake waiting for MISTAKE_HOLD_S; the next version read replaces it.
    bool mistake_held = false;
    std::string mistake;
    uint64_t mistake_version = 0;
    double mistake_due_s = 0.0;
    std::string first_text;  // read before the frame loop starts, compiled as it starts
    std::thread thread;
};

// Never freed: a watch thread still compiling at exit is left to finish and must still find them.
Shared& shared = *new Shared;
Watch& watch = *new Watch;

double now_s()
{
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

FileSignature signature_of(const struct stat& info)
{
    return {info.st_dev, info.st_ino,
            static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            static_cast<int64_t>(info.st_size)};
}

bool same_signature(const FileSignature& a, const FileSignature& b)
{
    return a.device == b.device && a.inode == b.inode && a.modified_ns == b.modified_ns && a.size == b.size;
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Why a file of this kind and size is no timeline, or empty when it may be one.
std::string kind_problem(const std::string& path, const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        return path + ": is a folder, not a timeline file";
    if (!S_ISREG(info.st_mode))
        return path + ": not a regular file";
    if (info.st_size > TIMELINE_SIZE_LIMIT) {
        return path + ": " + std::to_string(info.st_size) + " bytes, more than the " +
               std::to_string(TIMELINE_SIZE_LIMIT) + " a timeline may have";
    }
    return "";
}

// Reads the whole file as the version `expected`. Opening with O_NONBLOCK and checking what was
// opened means a FIFO or device put in its place meanwhile can never block us. Changed: the file
// is no longer that version, or changed while it was read. Refused: `error` says why.
ReadResult read_version(const std::string& path, const FileSignature& expected, std::string& text,
                        std::string& error)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot open (" + std::strerror(errno) + ")";
        return errno == ENOENT ? ReadResult::Changed : ReadResult::Refused;
    }
    struct stat info {};
    ReadResult result = ReadResult::Read;
    if (fstat(fd, &info) != 0 || !same_signature(signature_of(info), expected)) {
        result = ReadResult::Changed;
    } else if (!(error = kind_problem(path, info)).empty()) {
        result = ReadResult::Refused;
    } else {
        text.clear();
        std::vector<char> chunk(READ_CHUNK_BYTES);
        ssize_t got = 0;
        while ((got = read(fd, chunk.data(), chunk.size())) > 0 &&
               static_cast<int64_t>(text.size()) <= TIMELINE_SIZE_LIMIT)
            text.append(chunk.data(), static_cast<size_t>(got));
        if (got < 0) {
            error = path + ": read error (" + std::strerror(errno) + ")";
            result = ReadResult::Refused;
        }
    }
    // A writer that went on while we read leaves a new signature behind on the file we hold or
    // on the name (a rename meanwhile).
    struct stat after {};
    if (result == ReadResult::Read &&
        (fstat(fd, &after) != 0 || !same_signature(signature_of(after), expected) ||
         stat(path.c_str(), &after) != 0 || !same_signature(signature_of(after), expected)))
        result = ReadResult::Changed;
    close(fd);
    return result;
}

// After the frame loop has ended nobody would run the task (nor free what it holds).
void post_unless_stopped(FrameTask task)
{
    const std::lock_guard<std::mutex> lock(shared.mutex);
    if (!shared.stop)
        post_frame_task(std::move(task));
}

// False when memory runs out; nothing is then left allocated.
bool make_arrays(const Timeline& timeline, TrackArrays& arrays)
{
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
        const std::vector<TrackKey>& keys = timeline.tracks[k].keys;
        if (keys.empty())
            continue;
        arrays.keys[k] = static_cast<TrackKey*>(std::malloc(keys.size() * sizeof(TrackKey)));
        if (arrays.keys[k] == nullptr) {
            for (TrackKey* made : arrays.keys)
                std::free(made);
            return false;
        }
        std::memcpy(arrays.keys[k], keys.data(), keys.size() * sizeof(TrackKey));
        arrays.counts[k] = static_cast<int32_t>(keys.size());
    }
    return true;
}

// Frame loop: shows an outcome and, for a good timeline, installs its tracks. `request` is the
// reload request this answers, or 0.
void show_outcome(bool ok, const std::string& message, std::shared_ptr<const Timeline> timeline,
                  TrackArrays arrays, uint64_t version, uint64_t request)
{
    // The compiler's counts never pass the tracks' cap, so every exchange succeeds.
    if (timeline != nullptr) {
        for (int k = 0; k < DEMO_TRACK_COUNT; ++k)
            track_swap_keys(demo_state.sync_state.demo_tracks[k], &arrays.keys[k], &arrays.counts[k]);
    }
    demo_state.authoring.load_ok = ok;
    demo_state.authoring.load_result = message;
    std::fprintf(stderr, "%s\n", message.c_str());
    const std::lock_guard<std::mutex> lock(shared.mutex);
    shared.snapshot.load_ok = ok;
    shared.snapshot.load_message = message;
    if (timeline != nullptr) {
        for (TrackKey* old_keys : arrays.keys)
            shared.released_keys.push_back(old_keys);
        shared.released_timelines.push_back(std::move(shared.snapshot.good));
        shared.snapshot.good = std::move(timeline);
        shared.snapshot.installed_version = version;
    }
    if (request > shared.reload_done)
        shared.reload_done = request;
    ++shared.change_counter;
    shared.changed.notify_all();
}

void post_outcome(bool ok, const std::string& message, std::shared_ptr<const Timeline> timeline,
                  uint64_t version, uint64_t request)
{
    TrackArrays arrays;
    if (timeline != nullptr && !make_arrays(*timeline, arrays)) {
        post_outcome(false, watch.path + ": not enough memory for its keys", nullptr, version, request);
        return;
    }
    post_unless_stopped([ok, message, timeline = std::move(timeline), arrays, version, request]() mutable {
        show_outcome(ok, message, std::move(timeline), arrays, version, request);
    });
}

// Frees what the frame loop replaced.
void free_released()
{
    std::vector<TrackKey*> keys;
    std::vector<std::shared_ptr<const Timeline>> timelines;
    {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        keys.swap(shared.released_keys);
        timelines.swap(shared.released_timelines);
    }
    for (TrackKey* old_keys : keys)
        std::free(old_keys);
}

// Answers a reload request that found nothing new, through the frame loop so that the answer
// comes after any outcome still waiting there.
void post_nothing_new(uint64_t request)
{
    post_unless_stopped([request] {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        if (request > shared.reload_done)
            shared.reload_done = request;
        shared.changed.notify_all();
    });
}

// A problem with the file rather than its content, shown once; a reload request always gets an
// answer. True when an outcome was posted.
bool report_problem(const std::string& problem, uint64_t request)
{
    if (problem == watch.problem && request == 0)
        return false;
    watch.problem = problem;
    post_outcome(false, problem + "; keeping the last good timeline", nullptr, 0, request);
    return true;
}

// Compiles a content that was read whole, writes its track files and posts the outcome. A
// mistake is held back unless it is to be shown `at_once`.
void compile_version(std::string text, double now, bool at_once, uint64_t request)
{
    watch.mistake_held = false;
    watch.problem.clear();
    // Only this thread replaces the text, so it reads it without the lock.
    std::shared_ptr<const std::string> current = shared.text;
    if (watch.version == 0 || text != *current) {
        current = std::make_shared<const std::string>(std::move(text));
        const std::lock_guard<std::mutex> lock(shared.mutex);
        watch.version = ++shared.snapshot.version;
        shared.text = current;
        ++shared.change_counter;
        shared.changed.notify_all();
    }
    const uint64_t version = watch.version;
    auto timeline = std::make_shared<Timeline>();
    ParseError parse_error;
    if (!parse_timeline(*current, *timeline, parse_error)) {
        const std::string mistake =
            watch.path + ":" + std::to_string(parse_error.line) + ": " + parse_error.reason;
        if (at_once) {
            post_outcome(false, mistake, nullptr, version, request);
            return;
        }
        watch.mistake_held = true;
        watch.mistake = mistake;
        watch.mistake_version = version;
        watch.mistake_due_s = now + MISTAKE_HOLD_S;
        return;
    }
    // Shown first, written second: the picture (and an editor waiting for it) does not wait for
    // the disk, which takes a flush per file.
    post_outcome(true, "loaded " + watch.path, timeline, version, request);
    std::string error;
    if (!write_track_files(*timeline, watch.folder, error))
        post_outcome(false, "loaded " + watch.path + ", but the track files were not written: " + error,
                     nullptr, version, 0);
}

enum class Look {
    Waiting,   // the file is still changing
    Answered,  // an outcome was posted
    Nothing,   // nothing new to show
};

// One look at the file; `request` is the reload request it answers, or 0 for a plain poll.
Look look(double now, uint64_t request)
{
    const bool forced = request != 0;
    struct stat info {};
    if (stat(watch.path.c_str(), &info) != 0) {
        const int reason = errno;
        // Between an editor's unlink and its rename the name is gone for a moment: wait as for a
        // change before saying so.
        if (watch.candidate_present)
            watch.candidate_since_s = now;
        watch.candidate_present = false;
        watch.mistake_held = false;
        std::string problem = watch.path + ": cannot open (" + std::strerror(reason) + ")";
        if (reason == ENOENT || reason == ENOTDIR) {
            if (!forced && now - watch.candidate_since_s < QUIET_TIME_S)
                return Look::Nothing;
            problem = watch.path + ": deleted";
        }
        watch.last_read = FileSignature{};  // whatever comes back under the name is read
        return report_problem(problem, request) ? Look::Answered : Look::Nothing;
    }
    const FileSignature signature = signature_of(info);
    if (!watch.candidate_present || !same_signature(signature, watch.candidate)) {
        watch.candidate = signature;
        watch.candidate_present = true;
        watch.candidate_since_s = now;
    }
    // While the file changes again the held mistake waits: the next version read replaces it.
    if (watch.mistake_held && now >= watch.mistake_due_s && same_signature(signature, watch.last_read)) {
        watch.mistake_held = false;
        post_outcome(false, watch.mistake, nullptr, watch.mistake_version, 0);
    }
    const bool known =
        same_signature(signature, watch.last_read) && !(watch.read_failed && now >= watch.retry_at_s);
    if (!forced && (now - watch.candidate_since_s < QUIET_TIME_S || known))
        return Look::Nothing;
    std::string text;
    std::string problem = kind_problem(watch.path, info);
    const bool readable_kind = problem.empty();
    const ReadResult result =
        readable_kind ? read_version(watch.path, signature, text, problem) : ReadResult::Refused;
    if (result == ReadResult::Changed) {
        watch.candidate_present = false;
        return Look::Waiting;
    }
    watch.read_failed = result == ReadResult::Refused && readable_kind;
    watch.retry_at_s = now + RETRY_INTERVAL_S;
    if (result == ReadResult::Refused) {
        const bool answered = report_problem(problem, request);
        watch.last_read = signature;
        return answered ? Look::Answered : Look::Nothing;
    }
    watch.last_read = signature;
    const bool same_text = watch.version != 0 && text == *shared.text;
    // The same content again (a touch, a save without changes) needs nothing, unless a problem
    // is showing: a file that comes back is loaded again.
    if (same_text && watch.problem.empty())
        return Look::Nothing;
    compile_version(std::move(text), now, forced, request);
    return Look::Answered;
}

void run_watch()
{
    uint64_t answered = 0;  // the last reload request answered
    uint64_t request = 0;   // the reload request being answered, 0 for none
    bool changing = false;  // the last look found the file changing: give its writer a poll
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(shared.mutex);
            shared.wake.wait_for(lock, std::chrono::duration<double>(POLL_INTERVAL_S), [&] {
                return shared.stop || (!changing && shared.reload_requested > answered);
            });
            if (shared.stop) {
                shared.finished = true;
                shared.changed.notify_all();
                return;
            }
            request = shared.reload_requested > answered ? shared.reload_requested : 0;
        }
        free_released();
        const Look result = look(now_s(), request);
        changing = result == Look::Waiting;
        if (changing || request == 0)
            continue;
        answered = request;
        if (result == Look::Nothing)
            post_nothing_new(request);
    }
}

}  // namespace

bool timeline_watch_open(const std::string& path, std::string& error)
{
    watch.path = path;
    watch.folder = folder_of(path);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = path + ": cannot open (" + std::strerror(errno) + ")";
        return false;
    }
    const FileSignature signature = signature_of(info);
    error = kind_problem(path, info);
    std::string text;
    if (!error.empty() || read_version(path, signature, text, error) != ReadResult::Read) {
        if (error.empty())
            error = path + ": changed while it was read";
        return false;
    }
    watch.last_read = watch.candidate = signature;
    watch.candidate_present = true;
    watch.first_text = std::move(text);
    return true;
}

void timeline_watch_start()
{
    compile_version(std::move(watch.first_text), 0.0, true, 0);
    run_frame_tasks();
    watch.thread = std::thread(run_watch);
}

void timeline_watch_stop()
{
    if (!watch.thread.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        shared.stop = true;
        shared.wake.notify_all();
        shared.changed.notify_all();
    }
    // A thread in the middle of compiling a large save would hold the exit up for seconds: it is
    // left to finish on its own, posting nothing, and ends with the process.
    std::unique_lock<std::mutex> lock(shared.mutex);
    const bool finished = shared.changed.wait_for(lock, std::chrono::duration<double>(STOP_WAIT_S),
                                                  [] { return shared.finished; });
    lock.unlock();
    if (finished)
        watch.thread.join();
    else
        watch.thread.detach();
}

namespace {

TimelineSnapshot snapshot_locked(std::unique_lock<std::mutex>& lock)
{
    TimelineSnapshot snapshot = shared.snapshot;
    const std::shared_ptr<const std::string> text = shared.text;
    lock.unlock();
    snapshot.text = *text;
    return snapshot;
}

}  // namespace

TimelineSnapshot timeline_snapshot()
{
    std::unique_lock<std::mutex> lock(shared.mutex);
    return snapshot_locked(lock);
}

bool timeline_reload_now(double timeout_s, TimelineSnapshot& after)
{
    std::unique_lock<std::mutex> lock(shared.mutex);
    const uint64_t request = ++shared.reload_requested;
    shared.wake.notify_all();
    const bool done = shared.changed.wait_for(lock, std::chrono::duration<double>(timeout_s),
                                              [&] { return shared.reload_done >= request || shared.stop; });
    const bool answered = done && shared.reload_done >= request;
    after = snapshot_locked(lock);
    return answered;
}

uint64_t timeline_wait_change(uint64_t seen_counter, double timeout_s)
{
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.changed.wait_for(lock, std::chrono::duration<double>(timeout_s),
                            [&] { return shared.change_counter != seen_counter || shared.stop; });
    return shared.change_counter;
}
