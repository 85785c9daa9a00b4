// Start-up cost of the landscape mesh: the literal computation (five fresh heights per corner of
// every quad, 63 million noise samples) against the cached one, with proof that every recorded
// value is the same. Prints times, their ratio and both checksums; exits non-zero on a mismatch.
// Usage: terrain_mesh_benchmark [repeats of the cached computation, default 5]
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "tests/terrain/reference_mesh.h"
#include "terrain/terrain_mesh.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const PerlinNoise noise;

    double cached_best = 1e9;
    TerrainMesh mesh;
    for (int run = 0; run < repeats; ++run) {
        const Clock::time_point start = Clock::now();
        mesh = compute_terrain_mesh(noise);
        cached_best = std::min(cached_best, seconds_since(start));
    }

    const Clock::time_point start = Clock::now();
    const MeshComparison result = compare_with_literal(noise, mesh, WHOLE_GRID);
    const double literal = seconds_since(start);

    std::printf("cached mesh:  %.3f s (best of %d)\n", cached_best, repeats);
    std::printf("literal mesh: %.3f s (with per-value comparison)\n", literal);
    std::printf("ratio literal / cached: %.1f\n", literal / cached_best);
    std::printf("checksum literal %016" PRIx64 ", cached %016" PRIx64 " (%s)\n", result.literal_checksum,
                result.cached_checksum,
                result.literal_checksum == result.cached_checksum ? "equal" : "DIFFERENT");
    std::printf("values compared %" PRId64 ", differing %" PRId64 "\n", result.values,
                result.differing_values);
    return result.differing_values == 0 && result.literal_checksum == result.cached_checksum ? 0 : 1;
}
