// The committed track files read through the demo's own track reader give, at every row, the
// values the timeline tools compute: the files are complete and evaluated alike.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "sync/demo_tracks.h"
#include "sync/track.h"
#include "sync/track_value.h"
#include "timeline.h"
#include "tool_runner.h"

TEST(CommittedTimeline, DemoReaderSeesTheSameValues)
{
    const std::string data = VORDEL_DATA_DIR;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(data.c_str()), 0);  // the reader opens files in the working directory
    // Like the demo's, the device lives until exit; held in a static it stays reachable.
    static TrackDevice* const device = create_track_device();
    ASSERT_NE(device, nullptr);
    for (const char* name : TIMELINE_TRACK_NAMES) {
        const Track* track = track_get(device, name);
        std::vector<Key> keys;
        std::string error;
        ASSERT_TRUE(decode_track(read_bytes(track_file_name(name)), keys, error)) << error;
        ASSERT_EQ(track->key_count, static_cast<int32_t>(keys.size())) << name;
        for (double row = -4.0; row < 1100.0; row += 0.375) {
            ASSERT_EQ(track_value(track, row), evaluate_keys(keys, row)) << name << " at row " << row;
        }
    }
    ASSERT_EQ(chdir(previous), 0);
}

TEST(CommittedTimeline, TimelineKnowsTheDemosTrackNamesInOrder)
{
    ASSERT_EQ(TIMELINE_TRACK_COUNT, static_cast<int>(DEMO_TRACK_COUNT));
    for (int i = 0; i < TIMELINE_TRACK_COUNT; ++i) EXPECT_STREQ(TIMELINE_TRACK_NAMES[i], DEMO_TRACK_NAMES[i]);
}
