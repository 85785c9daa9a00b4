// Start-up cost of the terrain scene in a real GL window: the mesh computation on its own, then
// the whole init (textures, mesh, recording the display list), one frame drawing the list, and the
// floor: the same init with the corners read from a file instead of computed. Memory likewise: the
// init's peak against what a reader of that file would hold at its peak (everything the init keeps,
// the textures and the list, plus the corners it records the list from).
// Run under an X server (Xvfb); the images need not exist. Not a test: it only prints figures.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tests/support/gl_window.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_scene.h"
#include "tests/support/test_tracks.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"), or -1.
long status_kb(const char* field)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    long kb = -1;
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, std::strlen(field)) == 0 && line[std::strlen(field)] == ':')
            std::sscanf(line + std::strlen(field) + 1, "%ld", &kb);
    }
    if (status != nullptr)
        std::fclose(status);
    return kb;
}

// Starts the peak resident size over from the current size; false where the kernel cannot.
bool reset_peak()
{
    FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    const bool done = clear != nullptr && std::fputs("5", clear) >= 0;
    return clear != nullptr && std::fclose(clear) == 0 && done;
}

}  // namespace

int main()
{
    if (!open_test_window(320, 240)) {
        std::printf("terrain_init_benchmark: needs an X display\n");
        return 1;
    }
    const PerlinNoise noise;
    double mesh_best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const Clock::time_point start = Clock::now();
        const TerrainMesh mesh = compute_terrain_mesh(noise);
        mesh_best = std::min(mesh_best, seconds_since(start));
    }
    // The floor: the same corners read from a file (from the page cache: the best a file can do)
    // instead of computed.
    double read_best = 1e9;
    {
        const TerrainMesh mesh = compute_terrain_mesh(noise);
        const size_t bytes = mesh.corners.size() * sizeof(TerrainCorner);
        FILE* file = std::tmpfile();
        if (file == nullptr || std::fwrite(mesh.corners.data(), 1, bytes, file) != bytes) {
            std::printf("terrain_init_benchmark: cannot write the mesh to a temporary file\n");
            return 1;
        }
        for (int run = 0; run < 3; ++run) {
            const Clock::time_point start = Clock::now();
            std::vector<TerrainCorner> read(mesh.corners.size());
            std::rewind(file);
            if (std::fread(read.data(), 1, bytes, file) != bytes)
                return 1;
            read_best = std::min(read_best, seconds_since(start));
        }
        std::fclose(file);
    }

    TerrainScene* scene = new TerrainScene(&demo_state.sync_state);  // lives until exit, as in the demo
    const long before_kb = status_kb("VmRSS");
    const bool peak_reset = reset_peak();
    Clock::time_point start = Clock::now();
    scene->init();
    glFinish();
    const double init = seconds_since(start);
    const long peak_kb = status_kb("VmHWM");
    const long kept_kb = status_kb("VmRSS");
    const long corners_kb =
        long(size_t(TERRAIN_POINTS_PER_SIDE) * TERRAIN_POINTS_PER_SIDE * sizeof(TerrainCorner) / 1024);

    SyncState& sync = demo_state.sync_state;
    clear_demo_tracks(sync);
    set_constant(sync, TRACK_CAM_Y, 6.0);
    set_constant(sync, TRACK_CAM_Z, 12.0);
    demo_state.scenes = {scene};
    start = Clock::now();
    render_frame();
    glFinish();
    const double frame = seconds_since(start);

    std::printf("mesh computation:        %.3f s (best of 3)\n", mesh_best);
    std::printf("init total:              %.3f s\n", init);
    std::printf("textures + list recording: %.3f s (init minus mesh)\n", init - mesh_best);
    std::printf("first frame drawing the list: %.3f s\n", frame);
    std::printf("the floor, the same corners read from a file: %.3f s for the read, init %.3f s: "
                "init is %.2fx the floor\n",
                read_best, init - mesh_best + read_best, init / (init - mesh_best + read_best));
    if (peak_reset && peak_kb > 0 && kept_kb > 0) {
        const long floor_kb = kept_kb + corners_kb;
        std::printf("resident: %ld MB before init, %ld MB after, peak %ld MB during it; the floor's "
                    "peak (what init keeps + the corners) %ld MB: the peak is %.2fx the floor\n",
                    before_kb / 1024, kept_kb / 1024, peak_kb / 1024, floor_kb / 1024,
                    double(peak_kb) / double(floor_kb));
    } else {
        std::printf("resident: cannot read the peak (no /proc/self/clear_refs)\n");
    }
    return 0;
}
