// The authoring mode's costs an author waits for: compiling the bundled timeline in memory (and
// writing its twenty track files), the time from a save to the first frame that shows it, in a
// real window over the real frame path, and the longest frame while a save just under the size
// limit is read, compiled and installed. Run from a folder with music.mp3 under an X
// server, with ALSOFT_DRIVERS=null or a sound device:
//   cd data && ../build/bench/authoring_benchmark timeline.txt
// The track files are written under $TMPDIR (default /tmp): point it at the disk to be measured.
// Not a test: it only prints figures.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "live/live_timeline.h"
#include "shell/authoring.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "shell/frame_window.h"
#include "shell/startup.h"
#include "shell/timeline_watch.h"
#include "timeline/timeline_files.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int COMPILE_RUNS = 200;
constexpr int SAVES = 20;
constexpr double GIVE_UP_S = 2.0;
constexpr double BIG_GIVE_UP_S = 60.0;
constexpr double QUIET_S = 10.0;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every track held at one value, the clear colour's red channel at `red`.
std::string flat_timeline(int red)
{
    std::string text =
        "track scene fade.r fade.g fade.b fade.a cam.x cam.y cam.z cam.lookx cam.looky cam.lookz\n"
        "  0  0 0 0 0 0  0 0 5 0 0 0  hold\n"
        "track scp.a scp.b scp.c fog text.i text.fade\n  0  0 0 0 0 0 0  hold\n"
        "track clear.r clear.g clear.b\n  0  ";
    return text + (red != 0 ? "1" : "0") + " 0 0 hold\n";
}

// Every track in one section, as many keys as fit just under the size limit.
std::string big_timeline()
{
    std::string text = "track";
    for (const char* name : DEMO_TRACK_NAMES)
        text += std::string(" ") + name;
    text += "\n";
    std::string values;
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k)
        values += k == 0 ? " 0" : " 0.25";
    values += " linear\n";
    for (int row = 0; static_cast<int64_t>(text.size() + values.size() + 12) < TIMELINE_SIZE_LIMIT; ++row)
        text += std::to_string(row) + values;
    return text;
}

void print_spread(const char* what, std::vector<double> values, double scale, const char* unit)
{
    std::sort(values.begin(), values.end());
    std::printf("%-36s median %.2f %s, max %.2f %s (%zu runs)\n", what, values[values.size() / 2] * scale,
                unit, values.back() * scale, unit, values.size());
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string bundled = argc > 1 ? argv[1] : "timeline.txt";
    std::vector<unsigned char> bytes;
    std::string error;
    if (!read_file_bytes(bundled, bytes, error)) {
        std::printf("authoring_benchmark: %s\n", error.c_str());
        return 1;
    }
    const std::string text(bytes.begin(), bytes.end());
    const char* temp = getenv("TMPDIR");
    std::string folder =
        std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") + "/vordel-authoring-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr)
        return 1;

    std::vector<double> compile, compile_and_write;
    for (int run = 0; run < COMPILE_RUNS; ++run) {
        Timeline timeline;
        ParseError parse_error;
        Clock::time_point start = Clock::now();
        parse_timeline(text, timeline, parse_error);
        compile.push_back(seconds_since(start));
        start = Clock::now();
        parse_timeline(text, timeline, parse_error);
        write_track_files(timeline, folder, error);
        compile_and_write.push_back(seconds_since(start));
    }
    print_spread("compile the bundled timeline:", compile, 1e6, "us");
    print_spread("compile and write 20 track files:", compile_and_write, 1e6, "us");

    if (!open_frame_window("authoring_benchmark", 320, 240, error)) {
        std::printf("authoring_benchmark: %s\n", error.c_str());
        return 1;
    }
    const std::string path = folder + "/timeline.txt";
    std::ofstream(path) << flat_timeline(0);
    if (!authoring_open(path, error) || start_demo().status != 0) {
        std::printf("authoring_benchmark: no timeline or no audio\n");
        return 1;
    }
    authoring_start();
    audio_channel_play(demo_state.music, false);
    std::vector<double> latency;
    for (int save = 1; save <= SAVES; ++save) {
        const int red = save % 2;
        {
            std::ofstream(path) << flat_timeline(red);
        }  // closed, as an editor's save is
        const Clock::time_point start = Clock::now();
        unsigned char pixel[3] = {0, 0, 0};
        do {
            authoring_display();
            // The shown frame again into the back buffer, whose pixels can be read everywhere.
            render_frame();
            glReadBuffer(GL_BACK);
            glReadPixels(1, 1, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
        } while ((pixel[0] > 127) != (red != 0) && seconds_since(start) < GIVE_UP_S);
        latency.push_back(seconds_since(start));
    }
    print_spread("save to first frame showing it:", latency, 1e3, "ms");

    // A save just under the size limit: the frames go on while the watch reads and compiles it.
    // The longest frame without a save first, for comparison on a busy machine.
    const std::string big = big_timeline();
    double quiet_longest = 0.0;
    for (const Clock::time_point quiet = Clock::now(); seconds_since(quiet) < QUIET_S;) {
        const Clock::time_point frame_start = Clock::now();
        authoring_display();
        glFinish();
        quiet_longest = std::max(quiet_longest, seconds_since(frame_start));
    }
    std::printf("%-36s %.2f ms over %.0f s\n", "longest frame without a save:", quiet_longest * 1e3, QUIET_S);
    const uint64_t before = live_snapshot().version;
    {
        std::ofstream(path) << big;
    }
    const Clock::time_point start = Clock::now();
    double longest = 0.0, install_frame = 0.0;  // the frame that installed it, apart
    int frames = 0;
    bool installed = false;
    while (!installed && seconds_since(start) < BIG_GIVE_UP_S) {
        const Clock::time_point frame_start = Clock::now();
        authoring_display();
        glFinish();
        const double frame_s = seconds_since(frame_start);
        ++frames;
        installed = live_snapshot().version != before;
        double& slot = installed ? install_frame : longest;
        slot = std::max(slot, frame_s);
    }
    std::printf("%-36s %.1f MB, installed after %.2f s, %d frames, longest %.2f ms before the one that "
                "installed it, which took %.2f ms\n",
                "save just under the size limit:", static_cast<double>(big.size()) / 1e6,
                seconds_since(start), frames, longest * 1e3, install_frame * 1e3);
    authoring_stop();
    audio_stream_free(demo_state.music);
    audio_free();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
