// Fuzz target: one track file's bytes, read through the device's file operations and evaluated
// around every key's row, at the ends of the 32-bit range, at ±inf and NaN. No key is claimed that
// the bytes lack; each value lies between the least and greatest finite key value, give or take the
// single-precision rounding of a segment's step (from 1 to 2^-25 it is -1: values below 2^-25), or
// is 0 (unknown interpolation), or NaN or infinite from non-finite values or keys too far apart.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "tests/support/free_track_device.h"
#include "sync/track_value.h"

namespace {

const uint8_t* input_data = nullptr;  // what every open of the device hands out
size_t input_size = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    input_data = data;
    input_size = size;
    TrackDevice* device = create_track_device();
    device->open_file = [](const char*, const char* mode) {
        return fmemopen(const_cast<uint8_t*>(input_data), input_size, mode);
    };
    const Track* track = track_get(device, "cam.x");
    const int32_t n = track->key_count;
    if (n < 0 || (n == 0) != (track->keys == nullptr) || n > (static_cast<int64_t>(size) - 4) / 9)
        __builtin_trap();
    double low = INFINITY, high = -INFINITY;
    bool zero_allowed = n == 0, non_finite = false;
    for (int32_t i = 0; i < n; ++i) {
        const float value = track->keys[i].value;
        zero_allowed |= track->keys[i].interpolation < 0 || track->keys[i].interpolation > 3;
        non_finite |= !std::isfinite(value);
        low = std::fmin(low, std::isfinite(value) ? value : NAN);  // fmin and fmax pass NaN over
        high = std::fmax(high, std::isfinite(value) ? value : NAN);
    }
    non_finite |= std::isinf(static_cast<float>(high - low));  // some step may overflow a float
    const double slack = (high - low) * 0x1p-23;               // a rounded step is off by 2^-24 of it
    auto evaluate = [&](double row) {
        const double value = track_value(track, row);
        const bool inside = (value >= low - slack && value <= high + slack) || (value == 0.0 && zero_allowed);
        if (std::isfinite(value) ? !inside : !non_finite)
            __builtin_trap();
    };
    for (double row :
         {-0.5, 0.5, 2147483647.5, 2147483648.0, -2147483648.5, 1e300, -HUGE_VAL, HUGE_VAL, std::nan("")})
        evaluate(row);
    for (int32_t i = 0; i < n; ++i)
        for (double offset : {-1.0, -0.5, 0.0, 1e-9, 0.25, 0.5, 0.999999, 1.0})
            evaluate(track->keys[i].row + offset);
    free_track_device(device);
    return 0;
}
