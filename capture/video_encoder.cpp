#include "capture/video_encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

// Quality for sharing rather than archiving: visually clean, a few megabytes a minute at 720p.
constexpr const char* VIDEO_QUALITY = "18";
constexpr const char* AUDIO_BITRATE = "192k";
constexpr int EXEC_FAILED_STATUS = 127;

std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The last non-empty line ffmpeg wrote, which is where it says what went wrong.
std::string last_log_line(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            last = line;
    }
    return last;
}

std::string describe_exit(int status)
{
    if (WIFEXITED(status))
        return "ffmpeg failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    if (WIFSIGNALED(status))
        return "ffmpeg was killed by signal " + std::to_string(WTERMSIG(status));
    return "ffmpeg failed";
}

std::string failure_with_log(const VideoEncoder& encoder, int status)
{
    const std::string line = last_log_line(encoder.log);
    return describe_exit(status) + (line.empty() ? "" : ": " + line);
}

int wait_child(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

void close_fd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

}  // namespace

std::string find_on_path(const char* name)
{
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return "";
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t colon = folders.find(':', start);
        if (colon == std::string::npos)
            colon = folders.size();
        std::string folder = folders.substr(start, colon - start);
        if (folder.empty())
            folder = ".";
        const std::string candidate = folder + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = colon + 1;
    }
    return "";
}

int create_temp_file(const char* stem, std::string& path)
{
    const char* folder = std::getenv("TMPDIR");
    std::string pattern =
        std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/" + stem + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd >= 0)
        path = name.data();
    return fd;
}

bool reserve_video_output(const std::string& out, VideoEncoder& encoder, std::string& error)
{
    struct stat info {};
    if (stat(out.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "cannot write " + out + ": it is a folder";
        return false;
    }
    const std::string temp = folder_of(out) + "/." + base_of(out) + ".capture-" + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        error = "cannot write " + out + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    encoder.out = out;
    encoder.temp = temp;
    return true;
}

bool start_video(const VideoSettings& settings, VideoEncoder& encoder, std::string& error)
{
    const int log_fd = create_temp_file("vordel-capture-log", encoder.log);
    if (log_fd < 0) {
        error = std::string("cannot make a temporary file: ") + std::strerror(errno);
        return false;
    }
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) {
        close(log_fd);
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }

    const std::string size = std::to_string(settings.width) + "x" + std::to_string(settings.height);
    const std::string fps = std::to_string(settings.frames_per_second);
    const std::string rate = std::to_string(settings.audio_rate);
    const std::string channels = std::to_string(settings.audio_channels);
    // GL's rows come bottom first; vflip turns them. The format is fixed: the name need not say mp4.
    const std::vector<std::string> args = {settings.ffmpeg,
                                           "-hide_banner",
                                           "-nostdin",
                                           "-loglevel",
                                           "error",
                                           "-y",
                                           "-f",
                                           "rawvideo",
                                           "-pix_fmt",
                                           "rgb24",
                                           "-s",
                                           size,
                                           "-framerate",
                                           fps,
                                           "-i",
                                           "pipe:0",
                                           "-f",
                                           "s16le",
                                           "-ar",
                                           rate,
                                           "-ac",
                                           channels,
                                           "-i",
                                           settings.audio_path,
                                           "-map",
                                           "0:v:0",
                                           "-map",
                                           "1:a:0",
                                           "-vf",
                                           "vflip",
                                           "-c:v",
                                           "libx264",
                                           "-crf",
                                           VIDEO_QUALITY,
                                           "-pix_fmt",
                                           "yuv420p",
                                           "-c:a",
                                           "aac",
                                           "-b:a",
                                           AUDIO_BITRATE,
                                           "-movflags",
                                           "+faststart",
                                           "-f",
                                           "mp4",
                                           encoder.temp};
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        close(log_fd);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        // Its own process group: a Ctrl-C in the terminal reaches the capture, which stops ffmpeg.
        setpgid(0, 0);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        dup2(pipe_fds[0], STDIN_FILENO);
        dup2(log_fd, STDOUT_FILENO);
        dup2(log_fd, STDERR_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        close(log_fd);
        execv(argv[0], argv.data());
        _exit(EXEC_FAILED_STATUS);
    }
    close(log_fd);
    close(pipe_fds[0]);
    fcntl(pipe_fds[1], F_SETFD, FD_CLOEXEC);
    encoder.pid = pid;
    encoder.video_fd = pipe_fds[1];
    return true;
}

bool write_video_frame(VideoEncoder& encoder, const uint8_t* pixels, size_t bytes, std::string& error)
{
    size_t done = 0;
    while (done < bytes) {
        const ssize_t written = write(encoder.video_fd, pixels + done, bytes - done);
        if (written < 0) {
            if (errno == EINTR) {
                error = "interrupted";
                return false;
            }
            // ffmpeg closed its end: it has stopped, and its status says why.
            close_fd(encoder.video_fd);
            const int status = wait_child(encoder.pid);
            encoder.pid = -1;
            error = failure_with_log(encoder, status);
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

bool finish_video(VideoEncoder& encoder, std::string& error)
{
    close_fd(encoder.video_fd);
    const int status = wait_child(encoder.pid);
    encoder.pid = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = failure_with_log(encoder, status);
        abort_video(encoder);
        return false;
    }
    if (rename(encoder.temp.c_str(), encoder.out.c_str()) != 0) {
        error = "cannot write " + encoder.out + ": " + std::strerror(errno);
        abort_video(encoder);
        return false;
    }
    encoder.temp.clear();
    unlink(encoder.log.c_str());
    encoder.log.clear();
    return true;
}

void abort_video(VideoEncoder& encoder)
{
    close_fd(encoder.video_fd);
    if (encoder.pid > 0) {
        kill(encoder.pid, SIGTERM);
        wait_child(encoder.pid);
        encoder.pid = -1;
    }
    if (!encoder.temp.empty())
        unlink(encoder.temp.c_str());
    if (!encoder.log.empty())
        unlink(encoder.log.c_str());
    encoder.temp.clear();
    encoder.log.clear();
}
