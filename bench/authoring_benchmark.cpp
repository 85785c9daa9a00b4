// The authoring mode's two costs an author waits for: compiling the bundled timeline in memory
// (and writing its twenty track files), and the time from a save to the first frame that shows
// it, in a real window over the real frame path. Run from a folder with music.mp3 under an X
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
#include "shell/authoring.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "shell/frame_window.h"
#include "shell/startup.h"
#include "timeline/timeline_files.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int COMPILE_RUNS = 200;
constexpr int SAVES = 20;
constexpr double GIVE_UP_S = 2.0;

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
    audio_stream_free(demo_state.music);
    audio_free();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
