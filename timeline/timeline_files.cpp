// Reading timelines and writing track files (see timeline_files.h).
#include "timeline/timeline_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>  // renameat2

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// A temporary is "." + the name of the file it becomes + "." + this many letters or digits; that
// pattern is the only thing a later write removes as a killed run's leftover.
constexpr size_t TEMPORARY_SUFFIX_LENGTH = 6;
constexpr int TEMPORARY_NAME_TRIES = 100;

std::string reason()
{
    return std::strerror(errno);
}

bool is_directory(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string in_folder(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// Not secret, only unlikely to meet another writer's name: time, process and a count mixed.
std::string temporary_suffix()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<unsigned long long> count{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long mix =
        static_cast<unsigned long long>(now.tv_nsec) ^ (static_cast<unsigned long long>(now.tv_sec) << 30) ^
        (static_cast<unsigned long long>(getpid()) << 12) ^ (++count * 0x9E3779B97F4A7C15ull);
    mix ^= mix >> 31;
    mix *= 0xBF58476D1CE4E5B9ull;
    mix ^= mix >> 29;
    std::string suffix;
    for (size_t i = 0; i < TEMPORARY_SUFFIX_LENGTH; ++i, mix /= 62)
        suffix += letters[mix % 62];
    return suffix;
}

bool is_leftover(const std::string& entry, const std::string& file_name)
{
    const std::string prefix = "." + file_name + ".";
    return entry.size() == prefix.size() + TEMPORARY_SUFFIX_LENGTH &&
           entry.compare(0, prefix.size(), prefix) == 0 &&
           std::all_of(entry.begin() + static_cast<long>(prefix.size()), entry.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// The folder open and locked while we write into it: two writers (the editor and a synctool run)
// take turns, so neither removes the other's temporaries as leftovers. The kernel drops the lock
// of a killed process. A file system without locks is written unlocked.
class FolderWrite {
public:
    explicit FolderWrite(const std::string& path)
        : folder(path), fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), open_error(errno)
    {
        if (fd >= 0)
            flock(fd, LOCK_EX);
    }
    ~FolderWrite()
    {
        if (fd >= 0)
            close(fd);
    }
    FolderWrite(const FolderWrite&) = delete;
    FolderWrite& operator=(const FolderWrite&) = delete;

    void remove_leftovers(const std::vector<std::string>& file_names) const
    {
        DIR* dir = opendir(folder.c_str());
        if (dir == nullptr)
            return;
        std::vector<std::string> found;  // removed after the listing, which removal could disturb
        while (const dirent* entry = readdir(dir)) {
            for (const std::string& name : file_names)
                if (is_leftover(entry->d_name, name))
                    found.push_back(entry->d_name);
        }
        closedir(dir);
        for (const std::string& name : found)
            unlink(in_folder(folder, name).c_str());
    }

    // Makes the renames themselves survive a power cut. Some file systems cannot sync a folder
    // (EINVAL); their renames are as safe as they get.
    bool sync(std::string& error) const
    {
        const int failure = fd < 0 ? open_error : fsync(fd) != 0 && errno != EINVAL ? errno : 0;
        if (failure != 0) {
            error = folder + ": cannot flush the folder to disk (" + std::strerror(failure) + ")";
            return false;
        }
        return true;
    }

private:
    const std::string folder;
    const int fd;
    const int open_error;
};

// A file on its way in: written under a hidden name in the folder it goes to, open until flushed.
struct Temporary {
    std::string path;  // where it goes
    std::string name;  // where it is written, beside `path`
    int fd = -1;
};

void discard(Temporary& file)
{
    if (file.fd >= 0)
        close(file.fd);
    file.fd = -1;
    unlink(file.name.c_str());
}

bool fail_write(Temporary& file, int failure, std::string& error)
{
    error = file.path + ": cannot write (" + std::strerror(failure) + ")";
    discard(file);
    return false;
}

// Creates the temporary with the mode of the file it replaces (or what the umask leaves of rw for
// all) and writes `bytes`. On a failure nothing is left.
bool start_temporary(const std::string& folder, const std::string& name,
                     const std::vector<unsigned char>& bytes, Temporary& file, std::string& error)
{
    file.path = in_folder(folder, name);
    struct stat existing {};
    const bool keep_mode = stat(file.path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    for (int attempt = 0; file.fd < 0 && attempt < TEMPORARY_NAME_TRIES; ++attempt) {
        file.name = in_folder(folder, "." + name + "." + temporary_suffix());
        file.fd = open(file.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.fd < 0 && errno != EEXIST)
            break;
    }
    if (file.fd < 0) {
        error = file.path + ": cannot create (" + reason() + ")";
        return false;
    }
    if (keep_mode && fchmod(file.fd, existing.st_mode & 07777) != 0)
        return fail_write(file, errno, error);
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t wrote = write(file.fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return fail_write(file, wrote == 0 ? ENOSPC : errno, error);  // takes nothing: full
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// Flushes the temporary to disk and closes it. A full disk may show only here: delayed allocation
// reports it at the flush or the close.
bool finish_temporary(Temporary& file, std::string& error)
{
    if (fsync(file.fd) != 0)
        return fail_write(file, errno, error);
    const int fd = file.fd;
    file.fd = -1;
    if (close(fd) != 0)
        return fail_write(file, errno, error);
    return true;
}

}  // namespace

bool read_file_bytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error)
{
    // Non-blocking so that a FIFO in place of the file is refused, not waited on.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot open (" + reason() + ")";
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + (S_ISDIR(info.st_mode) ? ": is a folder, not a file" : ": not a regular file");
        close(fd);
        return false;
    }
    bytes.clear();
    unsigned char buffer[65536];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = path + ": cannot read (" + reason() + ")";
            close(fd);
            return false;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    close(fd);
    return true;
}

std::string trim_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool load_timeline_file(const std::string& path, Timeline& timeline, std::string& error)
{
    std::vector<unsigned char> bytes;
    if (!read_file_bytes(path, bytes, error))
        return false;
    ParseError parse_error;
    if (!parse_timeline(std::string(bytes.begin(), bytes.end()), timeline, parse_error)) {
        error = path + ":" + std::to_string(parse_error.line) + ": " + parse_error.reason;
        return false;
    }
    return true;
}

namespace {

bool same_bytes(const std::string& path, const std::vector<unsigned char>& expected)
{
    std::vector<unsigned char> found;
    std::string ignored;
    return read_file_bytes(path, found, ignored) && found == expected;
}

// Puts `file` in place of `path`. With `expected`, only over those bytes: the two files are
// exchanged in one step and what came out is compared, so a save that lands at any moment before
// the exchange is seen and put back. A file system that cannot exchange (EINVAL) gets the check
// right before a plain rename, which leaves a window of a few microseconds.
ReplaceResult move_into_place(Temporary& file, const std::string& given, const std::string& path,
                              const std::vector<unsigned char>* expected, std::string& error)
{
    if (expected != nullptr) {
        if (renameat2(AT_FDCWD, file.name.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
            if (same_bytes(file.name, *expected)) {
                unlink(file.name.c_str());
                return ReplaceResult::Replaced;
            }
            // Someone saved meanwhile: their file goes back under its name, ours goes away.
            renameat2(AT_FDCWD, file.name.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
            discard(file);
            return ReplaceResult::Changed;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != ENOENT) {
            error = given + ": cannot move into place (" + reason() + ")";
            discard(file);
            return ReplaceResult::Failed;
        }
        if (!same_bytes(path, *expected)) {
            discard(file);
            return ReplaceResult::Changed;
        }
    }
    if (std::rename(file.name.c_str(), path.c_str()) != 0) {
        error = given + ": cannot move into place (" + reason() + ")";
        discard(file);
        return ReplaceResult::Failed;
    }
    return ReplaceResult::Replaced;
}

}  // namespace

ReplaceResult replace_file(const std::string& given, const std::vector<unsigned char>& bytes,
                           const std::vector<unsigned char>* expected, std::string& error)
{
    // A link stays a link: the file it leads to is the one replaced.
    std::string path = given;
    if (char* resolved = realpath(given.c_str(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || !is_directory(folder)) {
        error = given + ": no such folder";
        return ReplaceResult::Failed;
    }
    const FolderWrite writing(folder);
    writing.remove_leftovers({name});
    Temporary file;
    if (!start_temporary(folder, name, bytes, file, error) || !finish_temporary(file, error))
        return ReplaceResult::Failed;
    const ReplaceResult result = move_into_place(file, given, path, expected, error);
    if (result == ReplaceResult::Replaced && !writing.sync(error))
        return ReplaceResult::Failed;
    return result;
}

bool write_file_atomically(const std::string& path, const std::vector<unsigned char>& bytes,
                           std::string& error)
{
    return replace_file(path, bytes, nullptr, error) == ReplaceResult::Replaced;
}

bool write_track_files(const Timeline& timeline, const std::string& out, std::string& error)
{
    const std::string folder = trim_trailing_slashes(out);
    if (!is_directory(folder)) {
        error = folder + ": no such folder";
        return false;
    }
    std::vector<std::string> names;
    for (const TrackData& track : timeline.tracks)
        names.push_back(track_file_name(track.name));
    const FolderWrite writing(folder);
    writing.remove_leftovers(names);

    std::vector<Temporary> temporaries;
    bool ok = true;
    for (size_t i = 0; ok && i < names.size(); ++i) {
        Temporary file;
        ok = start_temporary(folder, names[i], encode_track(timeline.tracks[i].keys), file, error);
        if (ok)
            temporaries.push_back(file);
    }
    // Flushed once all are written: a write that fails (a full disk) has cost no flush to disk.
    for (size_t i = 0; ok && i < temporaries.size(); ++i)
        ok = finish_temporary(temporaries[i], error);
    // A folder in the way would stop the renames halfway; it is found before the first of them.
    for (size_t i = 0; ok && i < names.size(); ++i) {
        struct stat target {};
        if (lstat(in_folder(folder, names[i]).c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
            error = in_folder(folder, names[i]) + ": is a folder, not a file";
            ok = false;
        }
    }
    size_t renamed = 0;
    for (; ok && renamed < temporaries.size(); ++renamed) {
        if (std::rename(temporaries[renamed].name.c_str(), temporaries[renamed].path.c_str()) != 0) {
            error = temporaries[renamed].path + ": cannot move into place (" + reason() + ")";
            ok = false;
            break;
        }
    }
    for (size_t i = renamed; i < temporaries.size(); ++i)
        discard(temporaries[i]);
    return ok && writing.sync(error);
}
