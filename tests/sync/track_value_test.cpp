// Evaluation of keys made in memory: the key search, the four interpolations, and the rows and
// keys that a damaged file or a runaway clock can produce. Every expected value is exact.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "sync/track_value.h"

namespace {

constexpr int32_t HOLD = 0, LINEAR = 1, SMOOTH = 2, RAMP = 3;
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

Track track_of(const std::vector<TrackKey>& keys)
{
    return {nullptr, keys.empty() ? nullptr : const_cast<TrackKey*>(keys.data()),
            static_cast<int32_t>(keys.size())};
}

TEST(FindKey, GivesTheKeyAtOrLastBelowTheRow)
{
    const std::vector<TrackKey> keys = {{0, 0, 0}, {8, 0, 0}, {16, 0, 0}, {24, 0, 0}, {32, 0, 0}}, none;
    const Track track = track_of(keys), empty = track_of(none);
    const int32_t cases[][2] = {{INT32_MIN, -1}, {-1, -1}, {0, 0},  {7, 0},   {8, 1},
                                {9, 1},          {23, 2},  {24, 3}, {100, 4}, {INT32_MAX, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(find_key(&track, c[0]), c[1]) << c[0];
    EXPECT_EQ(find_key(&empty, 0), -1);
    EXPECT_EQ(find_key(nullptr, 0), -1);
}

TEST(TrackValue, EveryKindOfSegmentAndRow)
{
    const float inf = HUGE_VALF, nan = std::nanf("");
    // (10, 1.0) and (20, 3.0), the segment between them shaped by `mode`.
    const auto ten_to_twenty = [](int32_t mode) {
        return std::vector<TrackKey>{{10, 1.0f, mode}, {20, 3.0f, HOLD}};
    };
    // Keys, then (row, value) pairs.
    const std::pair<std::vector<TrackKey>, std::vector<std::pair<double, double>>> cases[] = {
        {{}, {{-100.5, 0.0}, {3.0, 0.0}}},
        {{{5, 2.5f, LINEAR}}, {{-3.0, 2.5}, {5.5, 2.5}}},  // one key holds, whatever its interpolation
        {{{5, 2.5f, 7}}, {{1e6, 2.5}}},
        {ten_to_twenty(LINEAR),
         {{9.99, 1.0}, {10.0, 1.0}, {12.5, 1.5}, {15.0, 2.0}, {20.0, 3.0}, {1e9, 3.0}}},
        // Rows off the 32-bit timeline lie before or after every key; NaN reads as the start.
        {ten_to_twenty(LINEAR),
         {{NaN, 1.0}, {-INF, 1.0}, {-2147483648.5, 1.0}, {2147483648.0, 3.0}, {INF, 3.0}}},
        {ten_to_twenty(HOLD), {{19.999, 1.0}, {20.0, 3.0}}},
        {ten_to_twenty(SMOOTH), {{12.5, 1.3125}, {15.0, 2.0}, {17.5, 2.6875}}},  // 3t² - 2t³
        {ten_to_twenty(RAMP), {{12.5, 1.125}, {15.0, 1.5}}},                     // t²
        // An unknown interpolation zeroes its own segment only.
        {ten_to_twenty(7), {{9.5, 1.0}, {10.0, 0.0}, {20.0, 3.0}}},
        {ten_to_twenty(4), {{12.5, 0.0}}},
        {ten_to_twenty(-1), {{19.5, 0.0}}},
        {{{0, 0.0f, LINEAR}, {4, 1.0f, HOLD}}, {{1.5, 0.375}}},  // the fraction counts
        {{{-4, 0.0f, LINEAR}, {0, 1.0f, HOLD}}, {{-0.5, 0.875}}},
        {{{-1, 2.0f, HOLD}, {0, 7.0f, HOLD}}, {{-0.5, 2.0}}},  // floored, not truncated
        // The step 1e8 - 0.1 is taken in single precision, where it is 1e8.
        {{{0, 0.1f, LINEAR}, {2, 1e8f, HOLD}}, {{1.0, 0.1f + 5e7}}},
        {{{INT32_MIN, 0.0f, LINEAR}, {INT32_MAX, 1.0f, HOLD}}, {{-1.0, 2147483647.0 / 4294967295.0}}},
        // Equal or descending rows: a segment without length gives its second key's value.
        {{{0, 0.0f, LINEAR}, {10, 1.0f, LINEAR}, {10, 5.0f, HOLD}}, {{10.5, 5.0}}},
        {{{0, 0.0f, LINEAR}, {20, 1.0f, RAMP}, {10, 5.0f, HOLD}}, {{20.5, 5.0}}},
        // Non-finite values are just values (0 times an infinite step is NaN).
        {{{0, 1.0f, LINEAR}, {10, inf, HOLD}}, {{5.0, INF}, {0.0, NaN}}},
        {{{0, nan, SMOOTH}, {10, 1.0f, HOLD}}, {{5.0, NaN}, {10.0, 1.0}}},
    };
    for (const auto& c : cases) {
        const Track track = track_of(c.first);
        for (const auto& [row, expected] : c.second) {
            const double value = track_value(&track, row);
            EXPECT_TRUE(value == expected || (std::isnan(value) && std::isnan(expected)))
                << "keys " << &c - cases << ", row " << row << ": " << value;
        }
    }
    EXPECT_EQ(track_value(nullptr, 3.0), 0.0);  // what track_get gives when memory runs out
}

}  // namespace
