#include "shell/timeline_watch.h"

#include <fcntl.h>
#include <sys/inotify.h>
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

#include "live/live_timeline.h"
#include "timeline/timeline_files.h"

namespace {

constexpr double POLL_INTERVAL_S = 0.010;
// A version whose writer has not said it is whole is read only once its signature has stood still
// this long. Editors, generators and slow disks write a save in pieces with pauses between them,
// and every prefix of a good timeline is either a mistake ("track ... is missing") or, worse, a good
// timeline with keys cut off. A quiet time longer than such pauses (up to 50 ms) lets the writer
// finish. Most writers do say it: the kernel reports the close of a file written in place and a
// finished file renamed over the timeline, and such a version is read at once (see Notices).
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

// The kernel's reports on the timeline's folder (inotify), for the timeline's name only: whether
// the last word on it was a writer's close or a rename onto it, with no write since. Without them
// (another file system, the limit of watches reached, the folder gone) every version waits its
// quiet time, as a writer that still holds the file open does. Reports on a version are taken back
// once it was read: a change that comes with none (through a link elsewhere) waits again.
struct Notices {
    int fd = -1;
    std::string name;     // the timeline's name in its folder
    bool closed = false;  // the last report: closed after writing, or renamed onto the name
    uint64_t writes = 0;  // writes reported so far
};

// Between the watch thread and the frame loop that starts and stops it.
struct Shared {
    std::mutex mutex;
    std::condition_variable wake;  // the watch thread waits on it between polls: stop
    bool stop = false;
    bool finished = false;  // the watch thread has returned
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
    std::shared_ptr<const std::string> text;  // the content read last
    uint64_t files_version = 0;               // the installed version whose track files were written last
    std::string problem;  // the file problem shown last; empty once a version was compiled
    // A compiled mistake waiting for MISTAKE_HOLD_S; the next version read replaces it.
    bool mistake_held = false;
    std::string mistake;
    double mistake_due_s = 0.0;
    std::string first_text;  // read before the frame loop starts, compiled as it starts
    Notices notices;
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

void notices_open(const std::string& path)
{
    Notices& n = watch.notices;
    const size_t slash = path.find_last_of('/');
    n.name = slash == std::string::npos ? path : path.substr(slash + 1);
    n.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    constexpr uint32_t WANTED =
        IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR;
    if (n.fd >= 0 && inotify_add_watch(n.fd, watch.folder.c_str(), WANTED) < 0) {
        close(n.fd);
        n.fd = -1;
    }
}

// Takes in every report the kernel has queued, in order.
void notices_read()
{
    Notices& n = watch.notices;
    alignas(struct inotify_event) char buffer[4096];
    ssize_t got = 0;
    while (n.fd >= 0 && (got = read(n.fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            if (event->mask & (IN_Q_OVERFLOW | IN_IGNORED)) {
                // Reports were lost, or the folder is gone: nothing said is known to be whole.
                n.closed = false;
                ++n.writes;
                if (event->mask & IN_IGNORED) {
                    close(n.fd);
                    n.fd = -1;
                    return;
                }
                continue;
            }
            if (event->len == 0 || n.name != event->name)
                continue;
            n.closed = (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0;
            if (!n.closed)
                ++n.writes;
        }
    }
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

// A problem with the file rather than its content, shown once.
void report_problem(const std::string& problem)
{
    if (problem == watch.problem)
        return;
    watch.problem = problem;
    live_submit_outcome(false, problem + "; keeping the last good timeline");
}

// Compiles a content that was read whole and hands it to the frame loop. A mistake is held back
// unless it is to be shown `at_once`.
void compile_version(std::string text, double now, bool at_once)
{
    watch.mistake_held = false;
    watch.problem.clear();
    watch.text = std::make_shared<const std::string>(std::move(text));
    // The editor's own writes come back here: their keys are installed already.
    const std::shared_ptr<const std::string> latest = live_latest_text();
    if (latest != nullptr && *latest == *watch.text) {
        live_submit_outcome(true, "loaded " + watch.path);
        return;
    }
    auto timeline = std::make_shared<Timeline>();
    ParseError parse_error;
    if (!parse_timeline(*watch.text, *timeline, parse_error)) {
        const std::string mistake =
            watch.path + ":" + std::to_string(parse_error.line) + ": " + parse_error.reason;
        if (at_once) {
            live_submit_outcome(false, mistake);
            return;
        }
        watch.mistake_held = true;
        watch.mistake = mistake;
        watch.mistake_due_s = now + MISTAKE_HOLD_S;
        return;
    }
    live_submit_install(watch.text, std::move(timeline), "loaded " + watch.path);
}

// Shown first, written second: the picture (and an editor waiting for it) does not wait for the
// disk, which takes a flush per file.
void write_installed_track_files()
{
    const LiveSnapshot installed = live_snapshot();
    if (installed.good == nullptr || installed.version == watch.files_version)
        return;
    watch.files_version = installed.version;
    std::string error;
    if (!write_track_files(*installed.good, watch.folder, error))
        live_submit_outcome(false,
                            "loaded " + watch.path + ", but the track files were not written: " + error);
    else
        std::fprintf(stderr, "track files written for %s\n", watch.path.c_str());
}

// One look at the file. True when the file is still changing: its writer gets another poll at once.
bool look(double now)
{
    // Whole: closed or renamed in before the stat, and nothing written between then and after it.
    notices_read();
    const bool closed_before = watch.notices.closed;
    const uint64_t writes_before = watch.notices.writes;
    struct stat info {};
    const int stat_result = stat(watch.path.c_str(), &info);
    const int reason = errno;  // before the reports' reads set it
    notices_read();
    const bool whole = closed_before && watch.notices.closed && watch.notices.writes == writes_before;
    if (stat_result != 0) {
        // Between an editor's unlink and its rename the name is gone for a moment: wait as for a
        // change before saying so.
        if (watch.candidate_present)
            watch.candidate_since_s = now;
        watch.candidate_present = false;
        watch.mistake_held = false;
        std::string problem = watch.path + ": cannot open (" + std::strerror(reason) + ")";
        if (reason == ENOENT || reason == ENOTDIR) {
            if (now - watch.candidate_since_s < QUIET_TIME_S)
                return false;
            problem = watch.path + ": deleted";
        }
        watch.last_read = FileSignature{};  // whatever comes back under the name is read
        report_problem(problem);
        return false;
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
        live_submit_outcome(false, watch.mistake);
    }
    const bool known =
        same_signature(signature, watch.last_read) && !(watch.read_failed && now >= watch.retry_at_s);
    if (known && whole)
        watch.notices.closed = false;
    // A writer that closed the file between the two looks at the reports: look again at once.
    if ((now - watch.candidate_since_s < QUIET_TIME_S && !whole) || known)
        return !known && watch.notices.closed;
    std::string text;
    std::string problem = kind_problem(watch.path, info);
    const bool readable_kind = problem.empty();
    const ReadResult result =
        readable_kind ? read_version(watch.path, signature, text, problem) : ReadResult::Refused;
    if (result == ReadResult::Changed) {
        watch.candidate_present = false;
        return true;
    }
    if (whole)
        watch.notices.closed = false;
    watch.read_failed = result == ReadResult::Refused && readable_kind;
    watch.retry_at_s = now + RETRY_INTERVAL_S;
    watch.last_read = signature;
    if (result == ReadResult::Refused) {
        report_problem(problem);
        return false;
    }
    // The same content again (a touch, a save without changes) needs nothing, unless a problem
    // is showing: a file that comes back is loaded again.
    if (text == *watch.text && watch.problem.empty())
        return false;
    compile_version(std::move(text), now, false);
    return false;
}

void run_watch()
{
    bool changing = false;  // the last look found the file changing: give its writer a poll
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(shared.mutex);
            if (!changing)
                shared.wake.wait_for(lock, std::chrono::duration<double>(POLL_INTERVAL_S),
                                     [] { return shared.stop; });
            if (shared.stop) {
                shared.finished = true;
                shared.wake.notify_all();
                return;
            }
        }
        live_free_released();
        changing = look(now_s());
        write_installed_track_files();
    }
}

}  // namespace

bool timeline_watch_open(const std::string& path, std::string& error)
{
    watch.path = path;
    watch.folder = folder_of(path);
    notices_open(path);  // before the first read: a save during it is reported
    live_open(path);
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

void timeline_watch_start(SyncState& sync)
{
    compile_version(std::move(watch.first_text), 0.0, true);
    live_drain(sync);
    watch.thread = std::thread(run_watch);
}

void timeline_watch_stop()
{
    if (!watch.thread.joinable())
        return;
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.stop = true;
    shared.wake.notify_all();
    // A thread in the middle of compiling a large save would hold the exit up for seconds: it is
    // left to finish on its own, handing over nothing, and ends with the process.
    const bool finished = shared.wake.wait_for(lock, std::chrono::duration<double>(STOP_WAIT_S),
                                               [] { return shared.finished; });
    lock.unlock();
    if (finished)
        watch.thread.join();
    else
        watch.thread.detach();
}
