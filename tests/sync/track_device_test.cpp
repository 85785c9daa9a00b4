// The track device: registry by name, the track file format and the reader's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sync/track.h"
#include "sync_files.h"

namespace {

constexpr int8_t HOLD = 0;
constexpr int8_t LINEAR = 1;
constexpr int8_t SMOOTH = 2;
constexpr int8_t RAMP = 3;

// The longest path the reader accepts, and the name length that fills it with base "sync".
constexpr size_t LONGEST_PATH = 259;
constexpr size_t PATH_OVERHEAD = std::strlen("sync_") + std::strlen(".track");

using TrackDeviceTest = SyncFileTest;

TrackDevice* new_device()
{
    TrackDevice* device = create_track_device();
    EXPECT_NE(device, nullptr);
    return device;
}

void expect_no_keys(const Track* track)
{
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->key_count, 0);
    EXPECT_EQ(track->keys, nullptr);
}

TEST(TrackDevice, StartsEmptyWithTheStreamOperations)
{
    TrackDevice* device = new_device();
    ASSERT_NE(device, nullptr);
    EXPECT_STREQ(device->base_name, "sync");
    EXPECT_EQ(device->tracks, nullptr);
    EXPECT_EQ(device->track_count, 0);
    EXPECT_EQ(device->open_file, &std::fopen);
    EXPECT_EQ(device->read_file, &std::fread);
    EXPECT_EQ(device->close_file, &std::fclose);
    EXPECT_EQ(find_track(device, "scene"), -1);
}

TEST(TrackDevice, NullArgumentsAreRefused)
{
    EXPECT_EQ(find_track(nullptr, "scene"), -1);
    EXPECT_EQ(track_get(nullptr, "scene"), nullptr);
    TrackDevice* device = new_device();
    EXPECT_EQ(track_get(device, nullptr), nullptr);
    EXPECT_EQ(find_track(device, nullptr), -1);
    EXPECT_EQ(load_track_file(device, nullptr), -1);
    EXPECT_EQ(device->track_count, 0);
}

TEST_F(TrackDeviceTest, SameNameGivesSameTrackAndReadsItsFileOnce)
{
    write_file("sync_fog.track", track_file_bytes({{0, 0.5f, HOLD}}));
    TrackDevice* device = new_device();
    record_file_ops(device);

    Track* first = track_get(device, "fog");
    Track* second = track_get(device, "fog");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first->name, "fog");
    EXPECT_EQ(device->track_count, 1);
    EXPECT_EQ(find_track(device, "fog"), 0);
    ASSERT_EQ(file_log.opened_paths, std::vector<std::string>{"sync_fog.track"});
    EXPECT_EQ(file_log.open_modes, std::vector<std::string>{"rb"});
    EXPECT_EQ(file_log.closes, 1);
    ASSERT_EQ(first->key_count, 1);
    EXPECT_EQ(first->keys[0].value, 0.5f);
}

TEST_F(TrackDeviceTest, NamesDifferingInCaseAreDifferentTracks)
{
    write_file("sync_fog.track", track_file_bytes({{0, 1.0f, HOLD}}));
    write_file("sync_Fog.track", track_file_bytes({{0, 2.0f, HOLD}}));
    TrackDevice* device = new_device();
    record_file_ops(device);

    Track* lower = track_get(device, "fog");
    Track* upper = track_get(device, "Fog");
    ASSERT_NE(lower, upper);
    EXPECT_EQ(find_track(device, "fog"), 0);
    EXPECT_EQ(find_track(device, "Fog"), 1);
    EXPECT_EQ(find_track(device, "FOG"), -1);
    EXPECT_EQ(file_log.opened_paths, (std::vector<std::string>{"sync_fog.track", "sync_Fog.track"}));
    EXPECT_EQ(lower->keys[0].value, 1.0f);
    EXPECT_EQ(upper->keys[0].value, 2.0f);
}

TEST_F(TrackDeviceTest, FileKeysAreWidenedInFileOrder)
{
    // Dots in the name stay in the file name; bytes after the last key are ignored.
    std::string bytes = track_file_bytes({{-5, -1.25f, LINEAR},
                                          {0, 0.0f, SMOOTH},
                                          {17, 3.5f, RAMP},
                                          {40, 1e30f, static_cast<int8_t>(0xFF)},
                                          {2147483647, -0.0f, static_cast<int8_t>(0x80)}});
    bytes += track_file_bytes({{99, 9.0f, HOLD}});
    write_file("sync_cam.lookx.track", bytes);
    TrackDevice* device = new_device();

    Track* track = track_get(device, "cam.lookx");
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(track->key_count, 5);
    const TrackKey expected[] = {{-5, -1.25f, 1}, {0, 0.0f, 2}, {17, 3.5f, 3}, {40, 1e30f, -1},
                                 {2147483647, -0.0f, -128}};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(track->keys[i].row, expected[i].row);
        EXPECT_EQ(track->keys[i].value, expected[i].value);
        EXPECT_EQ(track->keys[i].interpolation, expected[i].interpolation);
    }
    EXPECT_TRUE(std::signbit(track->keys[4].value));
    EXPECT_EQ(load_track_file(device, track), 0);
    EXPECT_EQ(track->key_count, 5);
}

TEST_F(TrackDeviceTest, EachFieldIsOneReadOfOneItem)
{
    write_file("sync_scene.track", track_file_bytes({{0, 0.0f, HOLD}, {64, 1.0f, HOLD}}));
    TrackDevice* device = new_device();
    record_file_ops(device);

    ASSERT_NE(track_get(device, "scene"), nullptr);
    const std::vector<size_t> sizes = {4, 4, 4, 1, 4, 4, 1};
    ASSERT_EQ(file_log.reads.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(file_log.reads[i].item_size, sizes[i]);
        EXPECT_EQ(file_log.reads[i].item_count, 1u);
    }
    EXPECT_EQ(file_log.closes, 1);
}

TEST_F(TrackDeviceTest, FilesWithoutKeysGiveTracksWithoutKeys)
{
    write_file("sync_zero.track", track_file_bytes({}));
    write_file("sync_empty.track", "");
    write_file("sync_stub.track", std::string("\x05\x00", 2));
    TrackDevice* device = new_device();
    record_file_ops(device);

    Track* zero = track_get(device, "zero");
    expect_no_keys(zero);
    EXPECT_EQ(load_track_file(device, zero), 0);
    Track* empty = track_get(device, "empty");
    expect_no_keys(empty);
    EXPECT_EQ(load_track_file(device, empty), 0);
    expect_no_keys(track_get(device, "stub"));

    // A missing file is no error for the caller: the track is registered all the same.
    Track* missing = track_get(device, "missing");
    expect_no_keys(missing);
    EXPECT_EQ(find_track(device, "missing"), 3);
    EXPECT_EQ(load_track_file(device, missing), -1);
    expect_no_keys(missing);
    EXPECT_EQ(file_log.closes, 5);  // every file that opened was closed once
}

TEST_F(TrackDeviceTest, BadKeyCountsAreRefusedBeforeReadingKeys)
{
    const int32_t counts[] = {-1, INT32_MIN, INT32_MAX, (1 << 20) + 1};
    for (int32_t count : counts) {
        SCOPED_TRACE(count);
        write_file("sync_bad.track", track_file_bytes(count, {{0, 1.0f, HOLD}, {1, 2.0f, HOLD}}));
        TrackDevice* device = new_device();
        record_file_ops(device);
        Track* track = track_get(device, "bad");
        expect_no_keys(track);
        EXPECT_EQ(file_log.reads.size(), 1u);
        EXPECT_EQ(file_log.closes, 1);
        EXPECT_EQ(load_track_file(device, track), -1);
        expect_no_keys(track);
    }
}

TEST_F(TrackDeviceTest, ShortFileKeepsOnlyItsCompleteKeys)
{
    TrackDevice* device = new_device();

    // Two whole keys and five bytes of a third.
    std::string bytes = track_file_bytes(3, {{1, 1.0f, LINEAR}, {2, 2.0f, HOLD}, {3, 3.0f, HOLD}});
    bytes.resize(bytes.size() - 4);
    write_file("sync_short.track", bytes);
    Track* track = track_get(device, "short");
    ASSERT_EQ(track->key_count, 2);
    EXPECT_EQ(track->keys[1].row, 2);
    EXPECT_EQ(track->keys[1].value, 2.0f);
    EXPECT_EQ(load_track_file(device, track), 0);
    EXPECT_EQ(track->key_count, 2);

    // A count with no keys behind it, up to the largest count accepted.
    for (int32_t count : {5, 1 << 20}) {
        SCOPED_TRACE(count);
        write_file("sync_short.track", track_file_bytes(count, {}));
        EXPECT_EQ(load_track_file(device, track), 0);
        expect_no_keys(track);
        write_file("sync_short.track", track_file_bytes(count, {{7, 7.0f, RAMP}}));
        EXPECT_EQ(load_track_file(device, track), 0);
        ASSERT_EQ(track->key_count, 1);
        EXPECT_EQ(track->keys[0].row, 7);
        EXPECT_EQ(track->keys[0].interpolation, RAMP);
    }
}

TEST_F(TrackDeviceTest, ManyKeysGrowTheKeyArray)
{
    std::vector<FileKey> keys;
    for (int32_t i = 0; i < 1000; ++i)
        keys.push_back({i * 2, static_cast<float>(i), static_cast<int8_t>(i % 4)});
    write_file("sync_long.track", track_file_bytes(keys));
    Track* track = track_get(new_device(), "long");
    ASSERT_EQ(track->key_count, 1000);
    for (int32_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(track->keys[i].row, i * 2);
        ASSERT_EQ(track->keys[i].value, static_cast<float>(i));
        ASSERT_EQ(track->keys[i].interpolation, i % 4);
    }
}

TEST_F(TrackDeviceTest, PathsLongerThanTheBufferAreRefused)
{
    TrackDevice* device = new_device();
    record_file_ops(device);

    const std::string fits(LONGEST_PATH - PATH_OVERHEAD, 'a');
    expect_no_keys(track_get(device, fits.c_str()));
    ASSERT_EQ(file_log.opened_paths.size(), 1u);
    EXPECT_EQ(file_log.opened_paths[0], "sync_" + fits + ".track");
    EXPECT_EQ(file_log.opened_paths[0].size(), LONGEST_PATH);

    for (size_t length : {LONGEST_PATH - PATH_OVERHEAD + 1, size_t{4000}}) {
        SCOPED_TRACE(length);
        const std::string name(length, 'b');
        Track* track = track_get(device, name.c_str());
        expect_no_keys(track);
        EXPECT_STREQ(track->name, name.c_str());  // registered under its whole name
        EXPECT_EQ(load_track_file(device, track), -1);
    }
    EXPECT_EQ(file_log.opened_paths.size(), 1u);
    EXPECT_EQ(device->track_count, 3);
}

TEST_F(TrackDeviceTest, TrackPointersOutliveGrowthOfTheRegistry)
{
    write_file("sync_first.track", track_file_bytes({{3, 4.0f, LINEAR}}));
    TrackDevice* device = new_device();
    Track* first = track_get(device, "first");
    std::vector<Track*> handed_out = {first};
    for (int i = 1; i < 1000; ++i)
        handed_out.push_back(track_get(device, ("t" + std::to_string(i)).c_str()));

    ASSERT_EQ(device->track_count, 1000);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(device->tracks[i], handed_out[i]);
        const char* name = handed_out[i]->name;
        ASSERT_EQ(find_track(device, name), i);
        ASSERT_EQ(track_get(device, name), handed_out[i]);
    }
    EXPECT_STREQ(first->name, "first");
    ASSERT_EQ(first->key_count, 1);
    EXPECT_EQ(first->keys[0].value, 4.0f);
}

}  // namespace
