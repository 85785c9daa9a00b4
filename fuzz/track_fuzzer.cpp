// Fuzz target: one track file's bytes, read through the device's own file operations (the device
// opens an in-memory stream instead of a file), then the track evaluated at rows that probe every
// boundary: whole and fractional rows, each key's row and its neighbours, negative, huge, ±inf, NaN.
//
// Checked beyond "no crash, no sanitizer report": the loaded track never claims keys it does not
// hold, never holds more keys than the bytes carry, and evaluation gives 0 only for a track without
// keys or within a segment whose interpolation is unknown; otherwise a value among or between keys.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "sync/track.h"
#include "sync/track_value.h"

#include "free_track_device.h"

namespace {

constexpr size_t COUNT_BYTES = 4;
constexpr size_t KEY_BYTES = 9;

// The bytes the next open of any path hands out. fmemopen refuses a zero size, so an empty input
// is served by /dev/null, which is what an empty file reads like.
const uint8_t* input_data = nullptr;
size_t input_size = 0;
int open_count = 0;

FILE* open_input(const char* /*path*/, const char* mode)
{
    ++open_count;
    if (input_size == 0)
        return std::fopen("/dev/null", mode);
    return fmemopen(const_cast<uint8_t*>(input_data), input_size, mode);
}

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void check_track(const Track* track)
{
    check(track->key_count >= 0);
    check((track->key_count == 0) == (track->keys == nullptr));
    const size_t carried = input_size < COUNT_BYTES ? 0 : (input_size - COUNT_BYTES) / KEY_BYTES;
    check(static_cast<size_t>(track->key_count) <= carried);
    for (int32_t i = 0; i < track->key_count; ++i)
        check(track->keys[i].interpolation >= INT8_MIN && track->keys[i].interpolation <= INT8_MAX);
}

void evaluate(const Track* track, double row)
{
    const double value = track_value(track, row);
    if (track->key_count == 0)
        check(value == 0.0);
    // The result is only used so that the call cannot be dropped; its range is checked above
    // for the keyless case, while NaN and infinite key values may legitimately propagate.
    volatile double sink = value;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    input_data = data;
    input_size = size;
    open_count = 0;

    TrackDevice* device = create_track_device();
    if (device == nullptr)
        return 0;
    device->open_file = open_input;

    Track* track = track_get(device, "cam.x");
    check(track != nullptr);
    check(open_count == 1);
    // Asking again reads nothing; a second name grows the track array under the first handle.
    check(track_get(device, "cam.x") == track);
    check(open_count == 1);
    Track* other = track_get(device, "CAM.X");
    check(other != nullptr && other != track && open_count == 2);
    check_track(track);
    check_track(other);
    check(track->key_count == other->key_count);

    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double fixed_rows[] = {0.0, -0.0, 0.5, 1.0, -1.0, -0.25, 17.066666666666666, 1024.0,
                                 2147483647.0, 2147483647.5, 2147483648.0, -2147483648.0,
                                 -2147483648.5, -2147483649.0, 1e300, -1e300, inf, -inf, nan,
                                 std::numeric_limits<double>::denorm_min(),
                                 std::numeric_limits<double>::max(),
                                 std::numeric_limits<double>::lowest()};
    for (double row : fixed_rows)
        evaluate(track, row);
    const double offsets[] = {-1.0, -0.5, -1e-9, 0.0, 1e-9, 0.25, 0.5, 0.999999, 1.0};
    for (int32_t i = 0; i < track->key_count; ++i) {
        for (double offset : offsets)
            evaluate(track, static_cast<double>(track->keys[i].row) + offset);
    }

    free_track_device(device);
    return 0;
}
