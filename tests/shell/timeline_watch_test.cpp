// The timeline watch as another thread drives it: a reload after a save by rename answers once the
// frame loop has installed that version or shown why not, versions count contents, and a waiter
// wakes on each change. This test's own thread is the frame loop, running the frame tasks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>

#include "shell/frame_tasks.h"
#include "shell/timeline_watch.h"
#include "sync/demo_tracks.h"
#include "tests/support/temp_folder.h"

namespace {

std::string timeline_with(const std::string& value)
{
    std::string header = "track", key = "  0";
    for (const char* name : DEMO_TRACK_NAMES) {
        header += std::string(" ") + name;
        key += " " + value;
    }
    return header + "\n" + key + " hold\n";
}

// Replaces the file whole, as an editor's server does, and asks for it at once.
bool save_and_reload(const std::string& path, const std::string* text, TimelineSnapshot& after)
{
    if (text == nullptr) {
        std::remove(path.c_str());
    } else {
        std::ofstream(path + ".new") << *text;
        std::rename((path + ".new").c_str(), path.c_str());
    }
    auto answer = std::async(std::launch::async, [&] { return timeline_reload_now(10.0, after); });
    while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        run_frame_tasks();
    return answer.get();
}

}  // namespace

TEST(TimelineWatch, AReloadAnswersWithTheVersionInstalledOrWhyNot)
{
    TempFolder folder;
    const std::string path = folder.file("timeline.txt"), one = timeline_with("1"), two = timeline_with("2"),
                      broken = timeline_with("red");
    std::ofstream(path) << one;
    std::string error;
    ASSERT_TRUE(timeline_watch_open(path, error)) << error;
    timeline_watch_start();
    struct Case {
        const std::string* text;  // saved by rename; none: the file is deleted
        bool ok;
        std::string message;
        uint64_t version, installed;
    };
    const Case cases[] = {
        {&two, true, "loaded " + path, 2, 2},
        {&two, true, "loaded " + path, 2, 2},  // the same content: nothing new
        {&broken, false, path + ":2: value \"red\" is not a number", 3, 2},
        {nullptr, false, path + ": deleted; keeping the last good timeline", 3, 2},
        {&one, true, "loaded " + path, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        const uint64_t counter = timeline_wait_change(0, 0.0);
        TimelineSnapshot after;
        ASSERT_TRUE(save_and_reload(path, c.text, after));
        EXPECT_EQ(after.load_ok, c.ok);
        EXPECT_EQ(after.load_message, c.message);
        EXPECT_EQ(after.version, c.version);
        EXPECT_EQ(after.installed_version, c.installed);
        EXPECT_EQ(after.text, c.version == 3 ? broken : c.version == 2 ? two : one);
        ASSERT_NE(after.good, nullptr);
        EXPECT_EQ(after.good->tracks[0].keys[0].value, c.installed == 2 ? 2.0f : 1.0f);
        EXPECT_EQ(timeline_wait_change(counter, 0.0) != counter, &c != &cases[1]);
    }
    timeline_watch_stop();
    // The good loads wrote their track files beside the timeline.
    EXPECT_EQ(access(folder.file("sync_fog.track").c_str(), R_OK), 0);
}
