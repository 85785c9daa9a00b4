// Evaluation of tracks at fractional rows: key search, the four interpolations, and rows or keys
// that a damaged file or a runaway clock could produce.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "sync/track_value.h"

namespace {

constexpr int32_t HOLD = 0;
constexpr int32_t LINEAR = 1;
constexpr int32_t SMOOTH = 2;
constexpr int32_t RAMP = 3;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// A track over keys owned by the test.
struct TestTrack {
    std::vector<TrackKey> keys;
    Track track{};

    explicit TestTrack(std::vector<TrackKey> given) : keys(std::move(given))
    {
        track.name = const_cast<char*>("test");
        track.keys = keys.empty() ? nullptr : keys.data();
        track.key_count = static_cast<int32_t>(keys.size());
    }
    double at(double row) const { return track_value(&track, row); }
};

// Keys (10, 1.0) and (20, 3.0, Hold), the first with the given interpolation.
TestTrack ten_to_twenty(int32_t interpolation)
{
    return TestTrack({{10, 1.0f, interpolation}, {20, 3.0f, HOLD}});
}

TEST(FindKey, FindsTheKeyAtOrBelowARow)
{
    TestTrack track({{0, 0.0f, HOLD}, {8, 1.0f, HOLD}, {16, 2.0f, HOLD}});
    EXPECT_EQ(find_key(&track.track, 0), 0);
    EXPECT_EQ(find_key(&track.track, 7), 0);
    EXPECT_EQ(find_key(&track.track, 8), 1);
    EXPECT_EQ(find_key(&track.track, 9), 1);
    EXPECT_EQ(find_key(&track.track, 16), 2);
    EXPECT_EQ(find_key(&track.track, 100), 2);
    EXPECT_EQ(find_key(&track.track, INT32_MAX), 2);
    EXPECT_EQ(find_key(&track.track, -1), -1);
    EXPECT_EQ(find_key(&track.track, INT32_MIN), -1);

    TestTrack empty({});
    EXPECT_EQ(find_key(&empty.track, 0), -1);
    EXPECT_EQ(find_key(nullptr, 0), -1);
}

TEST(TrackValue, TrackWithoutKeysIsZeroEverywhere)
{
    TestTrack empty({});
    for (double row : {-100.5, -1.0, 0.0, 0.5, 1e6}) {
        EXPECT_EQ(empty.at(row), 0.0);
        EXPECT_EQ(track_value(nullptr, row), 0.0);  // what track_get gives when memory runs out
    }
}

TEST(TrackValue, SingleKeyHoldsEverywhere)
{
    for (int32_t interpolation : {HOLD, LINEAR, SMOOTH, RAMP, 7, -1}) {
        SCOPED_TRACE(interpolation);
        TestTrack track({{5, 2.5f, interpolation}});
        for (double row : {-3.0, 4.999, 5.0, 5.5, 1000.0})
            EXPECT_EQ(track.at(row), 2.5);
    }
}

TEST(TrackValue, LinearBlendsWithTheFractionalRow)
{
    TestTrack track = ten_to_twenty(LINEAR);
    EXPECT_EQ(track.at(9.99), 1.0);
    EXPECT_EQ(track.at(10.0), 1.0);
    EXPECT_EQ(track.at(12.5), 1.5);
    EXPECT_EQ(track.at(15.0), 2.0);
    EXPECT_NEAR(track.at(19.999), 2.9998, 1e-12);
    EXPECT_LT(track.at(19.999), 3.0);
    EXPECT_EQ(track.at(20.0), 3.0);
    EXPECT_EQ(track.at(1e9), 3.0);

    TestTrack quarter({{0, 0.0f, LINEAR}, {4, 1.0f, HOLD}});
    EXPECT_EQ(quarter.at(1.5), 0.375);
}

TEST(TrackValue, HoldKeepsTheFirstValueUntilTheNextKey)
{
    TestTrack track = ten_to_twenty(HOLD);
    for (double row : {10.0, 12.5, 19.0, 19.999})
        EXPECT_EQ(track.at(row), 1.0);
    EXPECT_EQ(track.at(20.0), 3.0);
}

TEST(TrackValue, SmoothAndRampShapeThePosition)
{
    TestTrack smooth = ten_to_twenty(SMOOTH);
    EXPECT_EQ(smooth.at(12.5), 1.3125);
    EXPECT_EQ(smooth.at(15.0), 2.0);
    EXPECT_EQ(smooth.at(10.0), 1.0);

    TestTrack ramp = ten_to_twenty(RAMP);
    EXPECT_EQ(ramp.at(15.0), 1.5);
    EXPECT_EQ(ramp.at(12.5), 1.125);
    EXPECT_EQ(ramp.at(20.0), 3.0);
}

TEST(TrackValue, ValueStepIsRoundedToSinglePrecision)
{
    // 1e8 - 0.1 is 1e8 in single precision; a double step would give 50000000.05 more.
    TestTrack track({{0, 0.1f, LINEAR}, {2, 1e8f, HOLD}});
    EXPECT_EQ(track.at(1.0), static_cast<double>(0.1f) + 5e7);
}

TEST(TrackValue, NegativeFractionalRowsRoundDown)
{
    TestTrack track({{-1, 2.0f, HOLD}, {0, 7.0f, HOLD}});
    EXPECT_EQ(track.at(-0.5), 2.0);
    EXPECT_EQ(track.at(-1.0), 2.0);
    EXPECT_EQ(track.at(-1.5), 2.0);
    EXPECT_EQ(track.at(0.0), 7.0);

    TestTrack linear({{-4, 0.0f, LINEAR}, {0, 1.0f, HOLD}});
    EXPECT_EQ(linear.at(-0.5), 0.875);
}

TEST(TrackValue, UnknownInterpolationMakesItsSegmentZero)
{
    for (int32_t interpolation : {7, -1, -128, 4}) {
        SCOPED_TRACE(interpolation);
        TestTrack track = ten_to_twenty(interpolation);
        EXPECT_EQ(track.at(9.5), 1.0);
        for (double row : {10.0, 12.5, 19.999})
            EXPECT_EQ(track.at(row), 0.0);
        EXPECT_EQ(track.at(20.0), 3.0);
    }
}

TEST(TrackValue, RowsOutsideTheKeyRangeAreSafe)
{
    TestTrack track = ten_to_twenty(LINEAR);
    // NaN reads as the start of the timeline.
    EXPECT_EQ(track.at(NaN), 1.0);
    EXPECT_EQ(track.at(-INF), 1.0);
    EXPECT_EQ(track.at(-1e300), 1.0);
    EXPECT_EQ(track.at(-2147483649.0), 1.0);
    EXPECT_EQ(track.at(-2147483648.5), 1.0);
    EXPECT_EQ(track.at(-2147483648.0), 1.0);
    EXPECT_EQ(track.at(2147483647.5), 3.0);
    EXPECT_EQ(track.at(2147483648.0), 3.0);
    EXPECT_EQ(track.at(1e300), 3.0);
    EXPECT_EQ(track.at(INF), 3.0);

    // Keys at both ends of the 32-bit range: their distance does not fit in 32 bits.
    TestTrack wide({{INT32_MIN, 0.0f, LINEAR}, {INT32_MAX, 1.0f, HOLD}});
    EXPECT_EQ(wide.at(-2147483648.0), 0.0);
    EXPECT_EQ(wide.at(-1e300), 0.0);
    EXPECT_EQ(wide.at(-INF), 0.0);
    EXPECT_EQ(wide.at(NaN), 0.0);
    EXPECT_EQ(wide.at(-1.0), 2147483647.0 / 4294967295.0);
    EXPECT_EQ(wide.at(2147483647.0), 1.0);
    EXPECT_EQ(wide.at(INF), 1.0);
}

TEST(TrackValue, KeysOutOfOrderNeverDivideByZero)
{
    // Equal rows: the binary search lands on the first of the pair at row 10, a segment of no
    // length, which gives the later key's value as any key's own row does.
    TestTrack equal({{0, 0.0f, LINEAR},
                     {10, 1.0f, LINEAR},
                     {10, 5.0f, LINEAR},
                     {20, 9.0f, HOLD},
                     {30, 9.0f, HOLD},
                     {40, 9.0f, HOLD}});
    ASSERT_EQ(find_key(&equal.track, 10), 1);
    for (int32_t interpolation : {LINEAR, SMOOTH, RAMP}) {
        SCOPED_TRACE(interpolation);
        equal.keys[1].interpolation = interpolation;
        EXPECT_EQ(equal.at(10.0), 5.0);
        EXPECT_EQ(equal.at(10.5), 5.0);
        EXPECT_EQ(equal.at(10.999), 5.0);
    }
    equal.keys[1].interpolation = HOLD;
    EXPECT_EQ(equal.at(10.5), 1.0);

    // Descending rows: the search lands on the backward segment from 20 to 10.
    TestTrack descending({{0, 0.0f, LINEAR}, {20, 1.0f, LINEAR}, {10, 5.0f, HOLD}});
    ASSERT_EQ(find_key(&descending.track, 20), 1);
    EXPECT_EQ(descending.at(20.0), 5.0);
    EXPECT_EQ(descending.at(20.5), 5.0);
}

TEST(TrackValue, NonFiniteKeyValuesAreJustValues)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TestTrack to_inf({{0, 1.0f, LINEAR}, {10, inf, HOLD}});
    EXPECT_EQ(to_inf.at(5.0), INF);
    EXPECT_TRUE(std::isnan(to_inf.at(0.0)));  // 0 times an infinite step
    TestTrack inf_to_inf({{0, inf, LINEAR}, {10, inf, HOLD}});
    EXPECT_TRUE(std::isnan(inf_to_inf.at(5.0)));
    TestTrack from_nan({{0, nan, SMOOTH}, {10, 1.0f, HOLD}});
    EXPECT_TRUE(std::isnan(from_nan.at(5.0)));
    EXPECT_TRUE(std::isnan(from_nan.at(-5.0)));
    EXPECT_EQ(from_nan.at(10.0), 1.0);
}

}  // namespace
