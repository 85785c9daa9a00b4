// What an edit from the editor costs before the file is written: applying key edits to the
// timeline text (which parses it twice, before and after), making its undo patch and taking it
// back, on the bundled timeline and on a synthetic one of 10,000 keys in sections of one to six
// tracks. Run from the repository root (or give the bundled timeline's path):
//   build/bench/timeline_edit_benchmark data/timeline.txt
// Not a test: it only prints figures.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "timeline/timeline_edit.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int RUNS = 100;
constexpr int32_t ROWS = 4000;
constexpr int SYNTHETIC_LINES = 500;  // per section: 500 lines of 20 tracks are 10,000 keys

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The machine is shared: this thread's processor time shows the cost without the waits.
double cpu_ms()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// The bundled timeline's sections, each with key lines on every other row and aligned columns.
std::string synthetic_timeline()
{
    const char* const sections[] = {"scene",
                                    "clear.r clear.g clear.b",
                                    "fade.r fade.g fade.b",
                                    "fade.a",
                                    "cam.x cam.y cam.z cam.lookx cam.looky cam.lookz",
                                    "scp.a scp.b scp.c",
                                    "fog",
                                    "text.i",
                                    "text.fade"};
    std::string text = "# synthetic timeline\n";
    for (const std::string section : sections) {
        const size_t tracks = static_cast<size_t>(std::count(section.begin(), section.end(), ' ')) + 1;
        text += "\ntrack " + section + "\n";
        for (int line = 0; line < SYNTHETIC_LINES; ++line) {
            std::string row = format_row(line * 2), key = "  " + row + std::string(9 - row.size(), ' ');
            for (size_t t = 0; t < tracks; ++t) {
                const std::string value = format_value(static_cast<float>(line % 17) * 0.25f);
                key += value + std::string(8 - value.size(), ' ');
            }
            text += key + "linear\n";
        }
    }
    return text;
}

void measure(const char* name, const std::string& text, const std::vector<EditOp>& ops)
{
    std::vector<double> apply, apply_cpu, patch, undo;
    std::string edited, back, error;
    for (int run = 0; run < RUNS; ++run) {
        Clock::time_point start = Clock::now();
        const double cpu_start = cpu_ms();
        if (!apply_edits(text, ops, ROWS, edited, error)) {
            std::printf("%s: %s\n", name, error.c_str());
            return;
        }
        apply_cpu.push_back(cpu_ms() - cpu_start);
        apply.push_back(ms_since(start));
        start = Clock::now();
        const TextPatch made = make_patch(text, edited);
        patch.push_back(ms_since(start));
        start = Clock::now();
        if (!revert_patch(edited, made, back, error) || back != text) {
            std::printf("%s: undo failed: %s\n", name, error.c_str());
            return;
        }
        undo.push_back(ms_since(start));
    }
    for (auto* figures : {&apply, &apply_cpu, &patch, &undo})
        std::sort(figures->begin(), figures->end());
    std::printf("%-34s apply %.2f ms (worst %.2f; processor %.2f), patch %.2f ms (worst %.2f), "
                "undo %.2f ms (worst %.2f); medians of %d\n",
                name, apply[RUNS / 2], apply.back(), apply_cpu[RUNS / 2], patch[RUNS / 2], patch.back(),
                undo[RUNS / 2], undo.back(), RUNS);
}

}  // namespace

int main(int argc, char** argv)
{
    std::ifstream file(argc > 1 ? argv[1] : "data/timeline.txt", std::ios::binary);
    std::ostringstream bundled;
    bundled << file.rdbuf();
    if (bundled.str().empty()) {
        std::printf("timeline_edit_benchmark: cannot read the bundled timeline (give its path)\n");
        return 1;
    }
    // A value in a six-track line, an interpolation that splits one, a new key, a move, a delete.
    const std::vector<EditOp> five = {{EditKind::Set, 9, 256, 0, 0.1f, -1},
                                      {EditKind::Set, 2, 128, 0, 0.5f, 2},
                                      {EditKind::Set, 17, 301, 0, 1.0f / 3, 1},
                                      {EditKind::Move, 7, 0, 3, 0.0f, -1},
                                      {EditKind::Delete, 14, 0, 0, 0.0f, -1}};
    const std::vector<EditOp> one = {five[0]};
    const std::string synthetic = synthetic_timeline();
    std::printf("bundled timeline: %zu bytes; synthetic: %zu bytes, 10000 keys\n", bundled.str().size(),
                synthetic.size());
    measure("bundled, 1 edit:", bundled.str(), one);
    measure("bundled, 5 edits:", bundled.str(), five);
    measure("synthetic 10,000 keys, 1 edit:", synthetic, one);
    measure("synthetic 10,000 keys, 5 edits:", synthetic, five);
    return 0;
}
