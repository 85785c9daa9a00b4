// vordel-capture: renders the demo in the working directory to an MP4 video with its music.
//
// The same start-up and frame driver as the demo, over the frame-clock audio back end: frame n is
// drawn at n / fps seconds of music. A first pass runs only the driver's row and end-of-demo rule
// over every frame, which gives the frame count and the volume each frame sets; the faded music is
// written once, then the frames are drawn, read back from the back buffer and streamed to ffmpeg.
// Exit status 0 when the video is complete, 1 on an error, 130 when interrupted.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/frame_clock.h"
#include "capture/capture_audio.h"
#include "capture/capture_options.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "shell/frame_window.h"
#include "shell/presentation.h"
#include "shell/startup.h"
#include "capture/video_encoder.h"

namespace {

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_INTERRUPTED = 130;  // what shells report for a Ctrl-C
constexpr int BYTES_PER_PIXEL = 3;
constexpr double PROGRESS_INTERVAL = 1.0;  // seconds between progress reports
constexpr double BYTES_PER_MEGABYTE = 1e6;

volatile sig_atomic_t interrupted = 0;
bool window_closed = false;

void on_signal(int)
{
    interrupted = 1;
}

void on_close()
{
    window_closed = true;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "vordel-capture: %s\n", message.c_str());
    return EXIT_FAILED;
}

void install_signal_handlers()
{
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocked write to ffmpeg returns at once on Ctrl-C.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);  // ffmpeg going away shows as a failed write, handled there
}

std::string clock_text(double seconds)
{
    const auto whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// Minutes, seconds and hundredths, for the length of the finished video.
std::string duration_text(double seconds)
{
    const long hundredths = std::lround(seconds * 100.0);
    char text[40];
    std::snprintf(text, sizeof text, "%ld:%02ld.%02ld", hundredths / 6000, hundredths / 100 % 60,
                  hundredths % 100);
    return text;
}

// What must not outlive the process, also when the window library ends it with exit() (it does so
// when the display cannot be opened).
VideoEncoder* pending_video = nullptr;
std::string* pending_audio = nullptr;

void remove_pending_files()
{
    if (pending_video != nullptr)
        abort_video(*pending_video);
    if (pending_audio != nullptr && !pending_audio->empty())
        unlink(pending_audio->c_str());
    pending_video = nullptr;
    pending_audio = nullptr;
}

// The first frame whose row is at or past `row`, by the driver's own arithmetic (seconds × rows).
uint64_t first_frame_at(double row, uint32_t frames_per_second)
{
    const auto frame_row = [&](uint64_t n) {
        return static_cast<double>(n) / static_cast<double>(frames_per_second) * ROWS_PER_SECOND;
    };
    auto n = static_cast<uint64_t>(row / ROWS_PER_SECOND * frames_per_second);
    while (n > 0 && frame_row(n - 1) >= row)
        --n;
    while (frame_row(n) < row)
        ++n;
    return n;
}

// The frames to capture and the volume each sets: the driver's row and end-of-demo rule, frame by
// frame, without drawing. Stops after the last frame of the demo, before the first one past --to,
// or when the music is over (a timeline whose fade never ends would otherwise run for ever).
std::vector<float> plan_frames(const CaptureOptions& options, const DecodedAudio& music, uint64_t first)
{
    std::vector<float> volumes;
    const uint64_t music_length = music.samples.size() / static_cast<uint64_t>(music.channels);
    for (uint64_t n = first; !interrupted; ++n) {
        if (n * static_cast<uint64_t>(music.rate) / options.frames_per_second >= music_length)
            break;
        frame_clock_set(n, options.frames_per_second);
        const bool last = start_frame();
        if (options.to_row >= 0.0 && demo_state.sync_state.current_row > options.to_row)
            break;
        volumes.push_back(frame_clock_gain());
        if (last)
            break;
    }
    return volumes;
}

bool write_all(int fd, const void* data, size_t bytes)
{
    const auto* bytes_left = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t written = write(fd, bytes_left, bytes);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes_left += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

class Progress {
public:
    explicit Progress(size_t total) : total_(total), start_(now()), last_report_(start_) {}

    void frame_done(size_t done)
    {
        const double t = now();
        if (t - last_report_ < PROGRESS_INTERVAL && done != total_)
            return;
        last_report_ = t;
        const double rate = (t - start_) > 0.0 ? static_cast<double>(done) / (t - start_) : 0.0;
        const double left = rate > 0.0 ? static_cast<double>(total_ - done) / rate : 0.0;
        std::fprintf(stderr, "vordel-capture: frame %zu of %zu, %.1f frames/s, %s left%s", done, total_, rate,
                     clock_text(left).c_str(), tty_ ? "\r" : "\n");
        std::fflush(stderr);
    }

    void end()
    {
        if (tty_)
            std::fputc('\n', stderr);
    }

private:
    static double now()
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }

    size_t total_;
    double start_;
    double last_report_;
    bool tty_ = isatty(STDERR_FILENO) != 0;
};

// Draws, reads back and streams every planned frame. False with a reason.
bool capture_frames(const CaptureOptions& options, uint64_t first, size_t count, VideoEncoder& encoder,
                    std::string& error)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(options.width) * options.height * BYTES_PER_PIXEL);
    Progress progress(count);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    for (size_t i = 0; i < count; ++i) {
        frame_clock_set(first + i, options.frames_per_second);
        start_frame();
        render_frame();
        glReadPixels(0, 0, options.width, options.height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        if (!write_video_frame(encoder, pixels.data(), pixels.size(), error))
            return false;
        glutSwapBuffers();
        glutMainLoopEvent();
        progress.frame_done(i + 1);
        if (interrupted) {
            error = "interrupted";
            return false;
        }
        if (window_closed) {
            error = "the window was closed";
            return false;
        }
    }
    progress.end();
    return true;
}

int run(const CaptureOptions& options, VideoEncoder& encoder, std::string& audio_path)
{
    std::string error;
    const std::string ffmpeg = find_on_path("ffmpeg");
    if (ffmpeg.empty())
        return fail("ffmpeg not found on the PATH (install the ffmpeg package)");
    if (!reserve_video_output(options.out, encoder, error))
        return fail(error);
    if (!open_frame_window("vordel-capture", options.width, options.height, error))
        return fail(error);
    set_swap_interval(0);  // frames are read back, never shown: no display's rate holds them
    glutCloseFunc(on_close);
    const StartResult start = start_demo();
    if (start.status != 0)
        return fail(start.message);

    const DecodedAudio* music = frame_clock_music();
    if (music == nullptr)
        return fail("failed to open music");
    if (music->rate % static_cast<long>(options.frames_per_second) != 0)
        return fail("--fps " + std::to_string(options.frames_per_second) +
                    " does not divide the music's sample rate (" + std::to_string(music->rate) +
                    " Hz), so frames would not fall on whole samples");
    audio_channel_play(demo_state.music, false);

    const uint64_t first = first_frame_at(options.from_row, options.frames_per_second);
    const std::vector<float> volumes = plan_frames(options, *music, first);
    if (interrupted) {
        fail("interrupted");
        return EXIT_INTERRUPTED;
    }
    if (volumes.empty())
        return fail("no frame to capture: the range starts after the end of the music");

    const std::vector<int16_t> sound = faded_music(*music, first, options.frames_per_second, volumes);
    const int audio_fd = create_temp_file("vordel-capture-audio", audio_path);
    if (audio_fd < 0)
        return fail(std::string("cannot make a temporary file: ") + std::strerror(errno));
    const bool audio_written = write_all(audio_fd, sound.data(), sound.size() * sizeof(int16_t));
    close(audio_fd);
    if (!audio_written)
        return fail("cannot write the sound to " + audio_path + ": " + std::strerror(errno));

    VideoSettings settings;
    settings.ffmpeg = ffmpeg;
    settings.width = options.width;
    settings.height = options.height;
    settings.frames_per_second = options.frames_per_second;
    settings.audio_path = audio_path;
    settings.audio_rate = music->rate;
    settings.audio_channels = music->channels;
    if (!start_video(settings, encoder, error))
        return fail(error);
    if (!capture_frames(options, first, volumes.size(), encoder, error)) {
        fail(error);
        return interrupted ? EXIT_INTERRUPTED : EXIT_FAILED;
    }
    if (!finish_video(encoder, error))
        return fail(error);

    struct stat info {};
    stat(options.out.c_str(), &info);
    const double seconds = static_cast<double>(volumes.size()) / options.frames_per_second;
    std::fprintf(stderr, "vordel-capture: wrote %s: %zu frames, %s long, %.1f MB\n", options.out.c_str(),
                 volumes.size(), duration_text(seconds).c_str(),
                 static_cast<double>(info.st_size) / BYTES_PER_MEGABYTE);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CaptureOptions options;
    std::string error;
    if (!parse_capture_options(argc, argv, options, error))
        return fail(error + " (see --help)");
    if (options.help) {
        std::fputs(capture_usage().c_str(), stdout);
        return 0;
    }
    install_signal_handlers();

    VideoEncoder encoder;
    std::string audio_path;
    pending_video = &encoder;
    pending_audio = &audio_path;
    std::atexit(remove_pending_files);
    const int status = run(options, encoder, audio_path);
    remove_pending_files();  // after a success only the temporary sound is left to go
    if (demo_state.music != 0) {
        audio_stream_free(demo_state.music);
        audio_free();
    }
    return status;
}
