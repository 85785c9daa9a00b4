// The demo's twenty tracks: fixed names and order, their files, and evaluation at the current row.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sync/demo_tracks.h"
#include "sync/track_value.h"
#include "sync_files.h"

namespace {

const char* const EXPECTED_NAMES[] = {
    "scene",
    "clear.r", "clear.g", "clear.b",
    "fade.r", "fade.g", "fade.b", "fade.a",
    "cam.x", "cam.y", "cam.z",
    "cam.lookx", "cam.looky", "cam.lookz",
    "scp.a", "scp.b", "scp.c",
    "fog",
    "text.i", "text.fade",
};
static_assert(sizeof EXPECTED_NAMES / sizeof EXPECTED_NAMES[0] == DEMO_TRACK_COUNT);

using DemoTracksTest = SyncFileTest;

TEST_F(DemoTracksTest, RegistersEveryTrackInOrderFromItsFile)
{
    // Track k ramps linearly from k at row 0 to k + 1 at row 10.
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
        write_file(std::string("sync_") + EXPECTED_NAMES[k] + ".track",
                   track_file_bytes({{0, static_cast<float>(k), 1}, {10, static_cast<float>(k + 1), 0}}));
    }
    TrackDevice* device = create_track_device();
    ASSERT_NE(device, nullptr);
    record_file_ops(device);
    SyncState state{};

    register_demo_tracks(device, state);

    ASSERT_EQ(device->track_count, DEMO_TRACK_COUNT);
    ASSERT_EQ(file_log.opened_paths.size(), static_cast<size_t>(DEMO_TRACK_COUNT));
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
        SCOPED_TRACE(EXPECTED_NAMES[k]);
        ASSERT_NE(state.demo_tracks[k], nullptr);
        EXPECT_EQ(state.demo_tracks[k], device->tracks[k]);
        EXPECT_STREQ(state.demo_tracks[k]->name, EXPECTED_NAMES[k]);
        EXPECT_EQ(file_log.opened_paths[k], std::string("sync_") + EXPECTED_NAMES[k] + ".track");
        EXPECT_EQ(state.demo_tracks[k]->key_count, 2);
    }

    for (double row : {-1.0, 0.0, 2.5, 10.0}) {
        state.current_row = row;
        for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
            const DemoTrack track = static_cast<DemoTrack>(k);
            EXPECT_EQ(demo_value(state, track), track_value(state.demo_tracks[k], row));
        }
    }
    state.current_row = 2.5;
    EXPECT_EQ(demo_value(state, TRACK_SCENE), 0.25);
    EXPECT_EQ(demo_value(state, TRACK_TEXT_FADE), 19.25);
}

TEST_F(DemoTracksTest, MissingFilesGiveZeroTracks)
{
    write_file("sync_fog.track", track_file_bytes({{0, 0.5f, 0}}));
    TrackDevice* device = create_track_device();
    ASSERT_NE(device, nullptr);
    SyncState state{};
    register_demo_tracks(device, state);

    state.current_row = 100.0;
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
        SCOPED_TRACE(EXPECTED_NAMES[k]);
        ASSERT_NE(state.demo_tracks[k], nullptr);
        EXPECT_EQ(demo_value(state, static_cast<DemoTrack>(k)), k == TRACK_FOG ? 0.5 : 0.0);
    }
}

TEST(DemoTracks, WithoutADeviceEveryTrackIsZero)
{
    SyncState state{};
    state.current_row = 12.0;
    register_demo_tracks(nullptr, state);
    for (int k = 0; k < DEMO_TRACK_COUNT; ++k) {
        EXPECT_EQ(state.demo_tracks[k], nullptr);
        EXPECT_EQ(demo_value(state, static_cast<DemoTrack>(k)), 0.0);
    }
    EXPECT_EQ(demo_value(state, DEMO_TRACK_COUNT), 0.0);
}

}  // namespace
