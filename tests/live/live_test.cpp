// The live timeline as the editor and a text editor meet it: a version is named only once its keys
// run, writes are compare-and-swap against what the writer saw, history is checked before it
// writes, previews are taken back, nothing waits once the demo ends, and history has a bound. A
// thread of the test stands in for the frame loop; each test runs in a process of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "live/history.h"
#include "live/live_edit.h"
#include "live/live_timeline.h"
#include "sync/track_value.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_tracks.h"

namespace {

constexpr int32_t ROWS = 1024;
constexpr double WAIT_S = 10.0;

// Nineteen tracks at 0, and fog in a section of its own with its keys between comments.
std::string timeline(const std::string& fog_keys)
{
    std::string header = "track", key = "  0";
    for (const char* name : DEMO_TRACK_NAMES)
        if (std::string(name) != "fog")
            header += std::string(" ") + name, key += " 0";
    return header + "\n" + key + " hold\ntrack fog\n" + fog_keys;
}

std::string read(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class Live : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear_demo_tracks(sync);
        path = folder.file("timeline.txt");
        live_open(path);
        save(timeline("  0  1  linear\n# a\n  8  2  linear\n# b\n"));
    }
    // A text editor's save (a new file renamed over the old one), and its keys handed over.
    uint64_t save(const std::string& text)
    {
        std::ofstream(path + ".new") << text;
        std::filesystem::rename(path + ".new", path);
        auto keys = std::make_shared<Timeline>();
        ParseError error;
        EXPECT_TRUE(parse_timeline(text, *keys, error)) << error.reason;
        return live_submit_install(std::make_shared<const std::string>(text), keys, "loaded");
    }
    double value(DemoTrack track) const { return track_value(sync.demo_tracks[track], 0.0); }
    TempFolder folder;
    std::string path;
    SyncState sync{};
};

EditOp set_scene(float value)
{
    return {EditKind::Set, TRACK_SCENE, 0, 0, value, 0};
}

}  // namespace

TEST_F(Live, AVersionNamesItsTextAndKeysOnlyOnceTheFrameLoopRunsThem)
{
    live_drain(sync);
    const LiveSnapshot first = live_snapshot();
    save(timeline("  0  2  linear\n"));
    // Handed over but not drained: the version, the text and the keys stay the old ones together.
    const LiveSnapshot before = live_snapshot();
    EXPECT_EQ(before.version, first.version);
    EXPECT_EQ(before.text, first.text);
    EXPECT_EQ(before.good->tracks[TRACK_FOG].keys[0].value, 1.0f);
    ASSERT_TRUE(live_drain(sync));
    const LiveSnapshot after = live_snapshot();
    EXPECT_EQ(after.version, first.version + 1);
    EXPECT_EQ(after.good->tracks[TRACK_FOG].keys[0].value, 2.0f);
    EXPECT_EQ(value(TRACK_FOG), 2.0);
    // The same text again is the same version.
    save(*after.text);
    live_drain(sync);
    EXPECT_EQ(live_snapshot().version, after.version);
}

TEST_F(Live, PreviewsLastUntilTakenBackOrReplacedByTheFile)
{
    live_drain(sync);
    const auto preview = [&](std::vector<TrackPreview> previews) {
        live_submit_preview(std::move(previews));
        live_drain(sync);
        return value(TRACK_FOG);
    };
    EXPECT_EQ(preview({{TRACK_FOG, {{0, 5.0f, 1}}}}), 5.0);
    EXPECT_EQ(preview({}), 1.0);
    EXPECT_EQ(preview({{TRACK_FOG, {{0, 6.0f, 1}}}, {TRACK_SCENE, {{0, 2.0f, 0}}}}), 6.0);
    EXPECT_EQ(preview({{TRACK_SCENE, {{0, 2.0f, 0}}}}), 1.0);  // fog left the preview
    save(read(path));
    live_drain(sync);
    EXPECT_EQ(value(TRACK_SCENE), 0.0);
}

TEST_F(Live, EditsAreCompareAndSwapAndHistoryIsCheckedBeforeItWrites)
{
    // The test's frame loop, until the demo ends at the last step.
    std::thread frames([&] {
        while (!live_closed())
            if (!live_drain(sync))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_TRUE(live_wait_installed(1, WAIT_S));
    const uint64_t v = live_snapshot().version;
    std::string authors;  // what a text editor saved during the step; the file must keep it
    struct Step {
        const char* what;
        std::function<LiveAnswer()> act;
        LiveStatus status;
        const char* error;  // a part of the answer's reason
        float scene, fog8;  // the keys that run afterwards (fog at row 8: -1 for none)
    };
    const Step steps[] = {
        {"edit", [&] { return live_edit(v, {set_scene(2)}, ROWS, WAIT_S); }, LiveStatus::Ok, "", 2, 2},
        {"stale version", [&] { return live_edit(v, {set_scene(1)}, ROWS, WAIT_S); }, LiveStatus::Conflict,
         "changed (version", 2, 2},
        {"a save on disk not yet read",
         [&] {
             std::ofstream(path, std::ios::app) << "# saved by hand\n";
             authors = read(path);
             const LiveAnswer answer = live_edit(v + 1, {set_scene(1)}, ROWS, WAIT_S);
             live_wait_installed(save(authors), WAIT_S);
             return answer;
         },
         LiveStatus::Conflict, "changed on disk", 2, 2},
        {"delete between comments",
         [&] {
             return live_edit(v + 2, {{EditKind::Delete, TRACK_FOG, 8, 0, 0, -1}}, ROWS, WAIT_S);
         },
         LiveStatus::Ok, "", 2, -1},
        {"a text editor adds that row above the comments; undo",
         [&] {
             authors = read(path);
             authors.replace(authors.find("# a"), 3, "  8  5  hold\n# a");
             live_wait_installed(save(authors), WAIT_S);
             return live_undo(true, WAIT_S);
         },
         LiveStatus::Conflict,
         "your change to fog at 0:1: the file has changed around it since, and taking it back now would "
         "leave line 7 (row 8 of track \"fog\"",
         2, 5},
        {"the step before stays in reach", [&] { return live_undo(true, WAIT_S); }, LiveStatus::Ok, "", 0, 5},
        {"redo", [&] { return live_undo(false, WAIT_S); }, LiveStatus::Ok, "", 2, 5},
        {"nothing to redo", [&] { return live_undo(false, WAIT_S); }, LiveStatus::Conflict, "nothing to redo",
         2, 5},
        {"after the frame loop's end",
         [&] {
             live_close();
             const auto start = std::chrono::steady_clock::now();
             const LiveAnswer answer = live_edit(live_snapshot().version, {set_scene(1)}, ROWS, WAIT_S);
             EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
             return answer;
         },
         LiveStatus::Unavailable, "ending", 2, 5},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        authors.clear();
        const LiveAnswer answer = step.act();
        EXPECT_EQ(answer.status, step.status) << answer.error;
        EXPECT_NE(answer.error.find(step.error), std::string::npos) << answer.error;
        const LiveSnapshot now = live_snapshot();
        EXPECT_EQ(*now.text, read(path));
        EXPECT_TRUE(authors.empty() || read(path) == authors);
        EXPECT_EQ(answer.version, answer.status == LiveStatus::Ok ? now.version : 0);
        const std::vector<TrackKey>& fog = now.good->tracks[TRACK_FOG].keys;
        EXPECT_EQ(now.good->tracks[TRACK_SCENE].keys[0].value, step.scene);
        EXPECT_EQ(fog.size() > 1 ? fog[1].value : -1.0f, step.fog8);
        EXPECT_EQ(value(TRACK_SCENE), step.scene);
    }
    frames.join();
    // Every write went through a temporary that is gone.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(History, IsBoundedByItsBytesOldestFirst)
{
    // Every line changes: each step holds two whole texts of about 1.4 MB with their line records.
    EditHistory history;
    Timeline keys;
    std::string text;
    for (int step = 0; step < 20; ++step) {
        std::string next;
        for (int line = 0; line < 20000; ++line)
            next +=
                "# step " + std::to_string(step) + " line " + std::to_string(line) + " of a long comment\n";
        history_record(history, text, keys, next, keys);
        text = std::move(next);
    }
    EXPECT_LE(history.bytes, HISTORY_BYTES);
    EXPECT_GT(history.bytes, HISTORY_BYTES / 2);
    std::string result, error;
    ASSERT_TRUE(history_apply(*history_next(history, true), true, text, result, error)) << error;
    EXPECT_NE(result.find("# step 18 line 0 "), std::string::npos);
}
