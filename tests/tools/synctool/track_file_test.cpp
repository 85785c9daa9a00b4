// Track files and text: the byte layout, the refusal of damaged files, printing that reads back
// to the same bytes, and evaluation the way the demo does it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "timeline.h"

namespace {

std::vector<unsigned char> bytes_of(std::initializer_list<int> values)
{
    std::vector<unsigned char> out;
    for (int v : values) out.push_back(static_cast<unsigned char>(v));
    return out;
}

// A key count followed by `key_bytes` zero bytes, built by hand rather than by the encoder.
std::vector<unsigned char> file_with_count(int32_t count, size_t key_bytes)
{
    std::vector<unsigned char> out(4 + key_bytes, 0);
    std::memcpy(out.data(), &count, 4);  // the test machine is little-endian like the format
    return out;
}

bool decode_fails_with(const std::vector<unsigned char>& bytes, const std::string& part)
{
    std::vector<Key> keys;
    std::string error;
    const bool ok = decode_track(bytes, keys, error);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find(part), std::string::npos) << error;
    EXPECT_TRUE(keys.empty());
    return !ok;
}

}  // namespace

TEST(TrackFile, EncodesLittleEndianNineByteKeys)
{
    const std::vector<unsigned char> bytes = encode_track({{1056, 1.0f, 0}, {-2, -2.0f, 3}});
    const std::vector<unsigned char> expected = bytes_of({2, 0, 0, 0,
                                                          0x20, 0x04, 0, 0, 0x00, 0x00, 0x80, 0x3F, 0,
                                                          0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xC0, 3});
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(encode_track({}), bytes_of({0, 0, 0, 0}));
}

TEST(TrackFile, DecodesWhatItEncodes)
{
    const std::vector<Key> keys = {{0, 0.0f, 1}, {8, 0.5f, 2}, {400, -3.25f, 3}, {1056, 1.0f, 0}};
    std::vector<Key> back;
    std::string error;
    ASSERT_TRUE(decode_track(encode_track(keys), back, error)) << error;
    ASSERT_EQ(back.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(back[i].row, keys[i].row);
        EXPECT_EQ(back[i].value, keys[i].value);
        EXPECT_EQ(back[i].interpolation, keys[i].interpolation);
    }
    ASSERT_TRUE(decode_track(bytes_of({0, 0, 0, 0}), back, error));
    EXPECT_TRUE(back.empty());
}

TEST(TrackFile, RefusesDamagedFiles)
{
    decode_fails_with({}, "too short");
    decode_fails_with(bytes_of({1, 0, 0}), "too short");
    decode_fails_with(bytes_of({0xFF, 0xFF, 0xFF, 0xFF}), "negative key count -1");
    decode_fails_with(file_with_count(0x7FFFFFFF, 9), "needs");       // huge count, no allocation
    decode_fails_with(file_with_count(2, 9), "needs 18 bytes of keys, file has 9");
    decode_fails_with(file_with_count(1, 10), "1 trailing byte");
    decode_fails_with(file_with_count(0, 3), "3 trailing byte");

    std::vector<unsigned char> bad_interpolation = encode_track({{0, 1.0f, 1}, {4, 2.0f, 0}});
    bad_interpolation[4 + 9 + 8] = 0xFF;
    decode_fails_with(bad_interpolation, "key 1 (byte 13): unknown interpolation byte 255");
    bad_interpolation[4 + 9 + 8] = 4;
    decode_fails_with(bad_interpolation, "unknown interpolation byte 4");

    decode_fails_with(encode_track({{0, NAN, 0}}), "not a finite number");
    decode_fails_with(encode_track({{0, INFINITY, 0}}), "not a finite number");
    decode_fails_with(encode_track({{8, 1.0f, 0}, {8, 2.0f, 0}}), "row 8 is not after row 8");
    decode_fails_with(encode_track({{8, 1.0f, 0}, {-1, 2.0f, 0}}), "row -1 is not after row 8");
}

TEST(TrackText, PrintsRowsAsMusicalPositions)
{
    EXPECT_EQ(format_row(0), "0:0");
    EXPECT_EQ(format_row(400), "12:2");
    EXPECT_EQ(format_row(404), "12:2:4");
    EXPECT_EQ(format_row(1056), "33:0");
    EXPECT_EQ(format_row(-3), "-3");
    EXPECT_EQ(format_row(2147483647), "67108863:3:7");
}

TEST(TrackText, PrintsShortestValuesThatReadBackExactly)
{
    EXPECT_EQ(format_value(0.1f), "0.1");
    EXPECT_EQ(format_value(1.0f), "1");
    EXPECT_EQ(format_value(-0.0f), "-0");
    EXPECT_EQ(format_value(2.5e-3f), "0.0025");
    // Every bit pattern of a finite float survives printing and parsing.
    uint32_t bits = 0x3F800001u;
    for (int i = 0; i < 20000; ++i) {
        bits = bits * 1664525u + 1013904223u;
        float v = 0.0f;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        const float back = std::strtof(format_value(v).c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << format_value(v);
    }
}

// The demo's evaluation rules, with the examples its behaviour is pinned to.
TEST(TrackEvaluation, FollowsTheDemosInterpolation)
{
    std::vector<Key> keys = {{10, 1.0f, 1}, {20, 3.0f, 0}};
    EXPECT_DOUBLE_EQ(evaluate_keys(keys, 9.99), 1.0);
    EXPECT_DOUBLE_EQ(evaluate_keys(keys, 12.5), 1.5);
    EXPECT_NEAR(evaluate_keys(keys, 19.999), 2.9998, 1e-9);
    EXPECT_DOUBLE_EQ(evaluate_keys(keys, 20.0), 3.0);
    EXPECT_DOUBLE_EQ(evaluate_keys(keys, 1e12), 3.0);
    keys[0].interpolation = 0;
    EXPECT_DOUBLE_EQ(evaluate_keys(keys, 19.5), 1.0);
    keys[0].interpolation = 2;
    EXPECT_DOUBLE_EQ(evaluate_keys(keys, 12.5), 1.3125);
    keys[0].interpolation = 3;
    EXPECT_DOUBLE_EQ(evaluate_keys(keys, 15.0), 1.5);
    keys[0].interpolation = 7;
    EXPECT_DOUBLE_EQ(evaluate_keys(keys, 15.0), 0.0);
    EXPECT_DOUBLE_EQ(evaluate_keys({}, 3.0), 0.0);
    EXPECT_DOUBLE_EQ(evaluate_keys({{0, 0.0f, 1}, {4, 1.0f, 1}}, 1.5), 0.375);
}
