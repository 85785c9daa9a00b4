// The track device on real files: the demo's twenty tracks read once each, in their fixed order,
// and what a damaged file or a failed allocation leaves in a track.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "sync/demo_tracks.h"
#include "sync/track.h"
#include "sync/track_value.h"
#include "tests/support/temp_folder.h"

#ifndef VORDEL_SANITIZE
// Outside the sanitizers, which bring their own, realloc (which grows both the registry and a
// track's key array) is glibc's behind a countdown, so that the Nth call after arming fails.
extern "C" void* __libc_realloc(void* block, size_t size);
namespace {
long reallocs_left = -1;  // before the one that fails; negative while nothing is armed
}
extern "C" void* realloc(void* block, size_t size)
{
    return reallocs_left >= 0 && reallocs_left-- == 0 ? nullptr : __libc_realloc(block, size);
}
#endif

namespace {

// The device reads "sync_<name>.track" from the working directory: one fresh folder per run.
const TempFolder folder;
const bool in_folder = !folder.path().empty() && chdir(folder.path().c_str()) == 0;

// The count as given, then per key 4 + 4 + 1 bytes, little-endian like this machine, less `cut`.
void write_track(const std::string& name, int32_t count, const std::vector<TrackKey>& keys, size_t cut = 0)
{
    std::string bytes(reinterpret_cast<const char*>(&count), 4);
    for (const TrackKey& key : keys)
        bytes.append(reinterpret_cast<const char*>(&key), 8) += static_cast<char>(key.interpolation);
    ASSERT_TRUE(in_folder);
    std::ofstream("sync_" + name + ".track", std::ios::binary) << bytes.substr(0, bytes.size() - cut);
}

TEST(TrackFiles, DemoTracksAreReadOnceFromTheirFilesInFixedOrder)
{
    // The names are those of the files on disk, so they and their order are fixed.
    const char* const names[] = {"scene",  "clear.r",   "clear.g",   "clear.b",   "fade.r",
                                 "fade.g", "fade.b",    "fade.a",    "cam.x",     "cam.y",
                                 "cam.z",  "cam.lookx", "cam.looky", "cam.lookz", "scp.a",
                                 "scp.b",  "scp.c",     "fog",       "text.i",    "text.fade"};
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k)
        write_track(names[k], 2, {{0, k + 0.0f, 1}, {4, k + 1.0f, 0}});
    write_track("Fog", 1, {{0, -1.0f, 0}});
    TrackDevice* device = create_track_device();
    SyncState state{2.5, {}};
    register_demo_tracks(device, state);
    write_track("fog", 0, {});  // asking again must not read it again
    EXPECT_EQ(track_get(device, "fog"), state.demo_tracks[TRACK_FOG]);
    EXPECT_EQ(track_value(track_get(device, "Fog"), 0.0), -1.0);
    // A path over 259 characters is refused, not cut, nor left to what the last load put in the
    // path buffer ("sync_Fog.track").
    Track* long_name = track_get(device, std::string(300, 'x').c_str());
    EXPECT_EQ(long_name->key_count, 0);
    EXPECT_EQ(load_track_file(device, long_name), -1);
    for (int i = 0; i < 1000; ++i)  // the registry moves; the tracks must not
        EXPECT_EQ(track_get(device, std::to_string(i).c_str())->key_count, 0);  // no file: reads 0

    ASSERT_EQ(device->track_count, DEMO_TRACK_COUNT + 1002);
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
        EXPECT_STREQ(device->tracks[k]->name, names[k]);
        EXPECT_EQ(state.demo_tracks[k], device->tracks[k]);
        EXPECT_EQ(demo_value(state, static_cast<DemoTrack>(k)), k + 0.625) << names[k];
    }
    EXPECT_EQ(find_track(device, "999"), DEMO_TRACK_COUNT + 1001);
    EXPECT_EQ(load_track_file(device, device->tracks[DEMO_TRACK_COUNT + 1001]), -1);
    EXPECT_EQ(demo_value(state, DEMO_TRACK_COUNT), 0.0);
    register_demo_tracks(nullptr, state);  // without a device every handle is null, which reads 0
    EXPECT_EQ(demo_value(state, TRACK_TEXT_FADE), 0.0);
}

TEST(TrackFiles, DamagedFilesKeepOnlyCompleteKeys)
{
    const std::vector<TrackKey> plain = {{-5, -1.25f, 1}, {INT32_MAX, -0.0f, -1}, {9, 9.0f, 0}};
    const std::vector<TrackKey> odd = {{0, HUGE_VALF, -128}, {1, -HUGE_VALF, 127}, {2, std::nanf("7"), 3}};
    // Count, keys in the file, bytes cut off its end, load result, keys loaded. One track is loaded
    // again and again, so each load must also drop what the one before it left.
    const std::tuple<int32_t, std::vector<TrackKey>, size_t, int, size_t> cases[] = {
        {2, plain, 0, 0, 2},  // bytes after the last key are ignored
        {-1, plain, 0, -1, 0},
        {3, odd, 1, 0, 2},  // the last key is cut; values and interpolation bytes are kept as they are
        {INT32_MAX, plain, 0, -1, 0},
        {1 << 20, plain, 0, 0, 3},  // the largest count accepted, with fewer keys behind it
        {(1 << 20) + 1, plain, 0, -1, 0},
        {3, odd, 0, 0, 3},
        {0, plain, 0, 0, 0},
        {1, plain, 0, 0, 1},
        {5, {}, 2, 0, 0},  // too short for a count
        {5, {}, 0, 0, 0},  // a count without keys
    };
    TrackDevice* device = create_track_device();
    Track* track = track_get(device, "t");
    for (const auto& c : cases) {
        const auto& [count, keys, cut, result, loaded] = c;
        SCOPED_TRACE(&c - cases);
        write_track("t", count, keys, cut);
        EXPECT_EQ(load_track_file(device, track), result);
        ASSERT_EQ(track->key_count, static_cast<int32_t>(loaded));
        EXPECT_EQ(track->keys == nullptr, loaded == 0);
        EXPECT_TRUE(loaded == 0 || std::memcmp(track->keys, keys.data(), loaded * sizeof(TrackKey)) == 0);
    }
}

TEST(TrackFiles, KeysSetFromMemoryReplaceTheTrackOrAreRefused)
{
    const std::vector<TrackKey> two = {{0, 2.0f, 1}, {8, 4.0f, 0}};
    // Count given, load result, value at row 4 afterwards. A refusal keeps the keys before it.
    const std::tuple<int32_t, int, double> cases[] = {
        {2, 0, 3.0}, {-1, -1, 3.0}, {(1 << 20) + 1, -1, 3.0}, {1, 0, 2.0}, {0, 0, 0.0},
    };
    Track track{nullptr, nullptr, 0};
    for (const auto& [count, result, value] : cases) {
        SCOPED_TRACE(count);
        EXPECT_EQ(track_set_keys(&track, two.data(), count), result);
        EXPECT_EQ(track_value(&track, 4.0), value);
    }
    EXPECT_EQ(track.keys, nullptr);
    EXPECT_EQ(track_set_keys(nullptr, two.data(), 2), -1);
}

TEST(TrackFiles, SwappedKeysTradePlacesWithoutACopyOrAreRefused)
{
    const std::vector<TrackKey> two = {{0, 2.0f, 1}, {8, 4.0f, 0}};
    Track track{nullptr, nullptr, 0};
    ASSERT_EQ(track_set_keys(&track, two.data(), 2), 0);
    TrackKey* const held = track.keys;
    TrackKey* const one = static_cast<TrackKey*>(std::malloc(sizeof(TrackKey)));
    *one = {0, 5.0f, 0};
    // Keys and count given: a refusal exchanges nothing; the swap hands back the old array.
    const std::tuple<TrackKey*, int32_t, int, TrackKey*> cases[] = {
        {one, 0, -1, held}, {nullptr, 1, -1, held}, {one, -1, -1, held}, {one, MAX_TRACK_KEYS + 1, -1, held},
        {one, 1, 0, one},
    };
    for (const auto& [given, given_count, result, kept] : cases) {
        TrackKey* keys = given;
        int32_t count = given_count;
        EXPECT_EQ(track_swap_keys(&track, &keys, &count), result);
        EXPECT_EQ(track.keys, kept);
        EXPECT_EQ(keys, result == 0 ? held : given);
        EXPECT_EQ(count, result == 0 ? 2 : given_count);
    }
    EXPECT_EQ(track_value(&track, 4.0), 5.0);
    std::free(held);
    EXPECT_EQ(track_set_keys(&track, nullptr, 0), 0);
}

#ifndef VORDEL_SANITIZE
TEST(TrackFiles, AFailedAllocationLeavesAWholeTrackOrNone)
{
    std::vector<TrackKey> keys;
    for (int32_t i = 0; i < 600; ++i)  // the key array grows twice
        keys.push_back({i, static_cast<float>(i), 1});
    write_track("long", 600, keys);

    bool failed = true, saw_track_without_keys = false;
    for (long index = 0; failed; ++index) {
        ASSERT_LT(index, 1000);  // a bound, should every try reach a failure
        TrackDevice* device = create_track_device();
        reallocs_left = index;
        Track* first = track_get(device, "first");
        Track* track = track_get(device, "long");
        failed = reallocs_left < 0;
        reallocs_left = -1;
        // All keys or none; a track that could not be made leaves the registry as it was and reads 0.
        const bool loaded = track != nullptr && track->key_count == 600;
        EXPECT_TRUE(loaded || failed) << index;
        EXPECT_TRUE(loaded || track == nullptr || (track->key_count == 0 && track->keys == nullptr)) << index;
        EXPECT_EQ(track_value(track, 598.5), loaded ? 598.5 : 0.0) << index;
        EXPECT_EQ(device->track_count, (first != nullptr) + (track != nullptr)) << index;
        EXPECT_TRUE(first == nullptr || device->tracks[0] == first) << index;
        saw_track_without_keys |= track != nullptr && !loaded;
    }
    EXPECT_TRUE(saw_track_without_keys);
}
#endif

}  // namespace
