#include "sync/track_value.h"

#include <cmath>

namespace {

// Rows outside this range are before or after every key a track can hold.
constexpr double FIRST_INT32_ROW = -2147483648.0;
constexpr double PAST_INT32_ROW = 2147483648.0;

double shaped_position(int32_t interpolation, double t)
{
    switch (static_cast<KeyInterpolation>(interpolation)) {
    case KeyInterpolation::Smooth:
        return (3.0 - 2.0 * t) * (t * t);
    case KeyInterpolation::Ramp:
        return std::pow(t, 2.0);
    default:
        return t;
    }
}

}  // namespace

int32_t find_key(const Track* track, int32_t row)
{
    if (track == nullptr || track->keys == nullptr || track->key_count <= 0)
        return -1;
    int32_t lo = 0;
    int32_t hi = track->key_count;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const int32_t key_row = track->keys[mid].row;
        if (key_row < row)
            lo = mid + 1;
        else if (key_row > row)
            hi = mid;
        else
            return mid;
    }
    return lo - 1;
}

double track_value(const Track* track, double row)
{
    // A null track is what track_get hands out when memory ran out: a track without keys.
    if (track == nullptr || track->keys == nullptr || track->key_count <= 0)
        return 0.0;
    const TrackKey* keys = track->keys;
    const int32_t last = track->key_count - 1;

    // NaN has no place on the timeline; it reads as the start, before the first key. Rows beyond
    // the 32-bit range are before the first or after the last key whatever the keys are.
    const double floored = std::floor(row);
    if (std::isnan(floored) || floored < FIRST_INT32_ROW)
        return keys[0].value;
    if (floored >= PAST_INT32_ROW)
        return keys[last].value;

    const int32_t i = find_key(track, static_cast<int32_t>(floored));
    if (i < 0)
        return keys[0].value;
    if (i > last - 1)
        return keys[last].value;

    const TrackKey& k = keys[i];
    const TrackKey& n = keys[i + 1];
    switch (k.interpolation) {
    case static_cast<int32_t>(KeyInterpolation::Hold):
        return k.value;
    case static_cast<int32_t>(KeyInterpolation::Linear):
    case static_cast<int32_t>(KeyInterpolation::Smooth):
    case static_cast<int32_t>(KeyInterpolation::Ramp): {
        // 64-bit difference: keys far apart (e.g. at both ends of the 32-bit range) must not
        // overflow; for every ordinary pair it equals the 32-bit difference.
        const int64_t distance = static_cast<int64_t>(n.row) - static_cast<int64_t>(k.row);
        // Equal or descending rows break the file's order. Such a segment has no length: the
        // row has already reached the next key, so its value holds, as at any key's own row.
        if (distance <= 0)
            return n.value;
        const double t = (row - static_cast<double>(k.row)) / static_cast<double>(distance);
        const double s = shaped_position(k.interpolation, t);
        const double d = static_cast<double>(static_cast<float>(n.value - k.value));
        return static_cast<double>(k.value) + s * d;
    }
    default:
        return 0.0;
    }
}
