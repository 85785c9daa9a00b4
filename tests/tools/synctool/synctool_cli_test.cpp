// synctool as a program: build, dump and plot on real files, the committed data above all, and
// the promise that a refused build leaves the output folder exactly as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "timeline.h"
#include "tool_runner.h"

namespace {

const std::string SYNCTOOL = SYNCTOOL_PATH;
const std::string DATA = VORDEL_DATA_DIR;

std::string committed_track(const char* name) { return DATA + "/" + track_file_name(name); }

// A complete, valid timeline; tests damage one line of it.
std::string small_timeline()
{
    std::string text = "# test timeline\n";
    for (const char* name : TIMELINE_TRACK_NAMES) text += std::string("track ") + name + "\n  0 0 hold\n  1:0 1 linear\n";
    return text;
}

bool starts_with(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

TEST(SynctoolCommandLine, HelpAndUsageErrors)
{
    const RunResult help = run_tool(SYNCTOOL, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("synctool build"), std::string::npos);
    EXPECT_EQ(run_tool(SYNCTOOL, {"dump", "--help"}).status, 0);
    EXPECT_EQ(run_tool(SYNCTOOL, {}).status, 2);
    EXPECT_EQ(run_tool(SYNCTOOL, {"compile"}).status, 2);
    EXPECT_EQ(run_tool(SYNCTOOL, {"dump"}).status, 2);
    EXPECT_EQ(run_tool(SYNCTOOL, {"plot", DATA + "/timeline.txt"}).status, 2);  // no --out
    EXPECT_EQ(run_tool(SYNCTOOL, {"build", "a.txt", "b.txt"}).status, 2);
}

TEST(SynctoolBuild, CommittedTimelineGivesTheCommittedTrackFiles)
{
    TempFolder out;
    const RunResult run = run_tool(SYNCTOOL, {"build", DATA + "/timeline.txt", "--out", out.path()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(list_folder(out.path()).size(), static_cast<size_t>(TIMELINE_TRACK_COUNT));
    for (const char* name : TIMELINE_TRACK_NAMES) {
        const std::vector<unsigned char> committed = read_bytes(committed_track(name));
        ASSERT_FALSE(committed.empty()) << name << " is not committed";
        EXPECT_EQ(read_bytes(out.file(track_file_name(name))), committed) << name << " differs: rebuild data/";
    }
}

TEST(SynctoolBuild, DumpOfEveryTrackBuildsBackToTheSameBytes)
{
    std::string text;
    for (const char* name : TIMELINE_TRACK_NAMES) {
        const RunResult dump = run_tool(SYNCTOOL, {"dump", committed_track(name)});
        ASSERT_EQ(dump.status, 0) << dump.err;
        EXPECT_TRUE(starts_with(dump.out, std::string("track ") + name + "\n")) << dump.out;
        text += dump.out;
    }
    TempFolder work;
    write_text(work.file("dumped.txt"), text);
    const RunResult build = run_tool(SYNCTOOL, {"build", work.file("dumped.txt"), "--out", work.path()});
    ASSERT_EQ(build.status, 0) << build.err;
    for (const char* name : TIMELINE_TRACK_NAMES) {
        EXPECT_EQ(read_bytes(work.file(track_file_name(name))), read_bytes(committed_track(name))) << name;
    }
}

TEST(SynctoolBuild, ReplacesExistingFilesAndLeavesNothingBehind)
{
    TempFolder parent;
    const std::string out = parent.file("out");
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    write_text(out + "/" + track_file_name("fog"), "old");
    write_text(parent.file("t.txt"), small_timeline());
    const RunResult run = run_tool(SYNCTOOL, {"build", parent.file("t.txt"), "--out", out + "/"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_bytes(out + "/" + track_file_name("fog")), encode_track({{0, 0.0f, 0}, {32, 1.0f, 1}}));
    EXPECT_EQ(list_folder(parent.path()), (std::vector<std::string>{"out", "t.txt"}));
    for (const std::string& name : list_folder(out)) std::remove((out + "/" + name).c_str());
    rmdir(out.c_str());
}

TEST(SynctoolBuild, RefusedTimelineChangesNothingInTheOutputFolder)
{
    struct Case {
        const char* from;  // text in the small timeline ...
        const char* to;    // ... replaced by this
        int line;
        const char* reason_part;
    };
    const Case cases[] = {
        {"track fog\n", "track fgo\n", 53, "unknown track \"fgo\""},
        {"track fog\n  0 0 hold\n  1:0 1", "track fog\n  0 0 hold\n  0:0 1", 55, "is not after row 0"},
        {"track fog\n  0 0 hold", "track fog\n  0 zero hold", 54, "value \"zero\" is not a number"},
        {"track fog\n  0 0 hold", "track fog\n  0 0 hld", 54, "unknown interpolation \"hld\""},
        {"track fog\n  0 0 hold", "track fog\n  0:9 0 hold", 54, "malformed row \"0:9\""},
        {"track text.fade\n  0 0 hold\n  1:0 1 linear\n", "", 58, "track \"text.fade\" is missing"},
    };
    TempFolder parent;
    const std::string out = parent.file("out");
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    write_text(out + "/" + track_file_name("fog"), "previous fog");
    write_text(out + "/notes.txt", "not a track");
    for (const Case& c : cases) {
        std::string text = small_timeline();
        const size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, std::string(c.from).size(), c.to);
        const std::string path = parent.file("bad.txt");
        write_text(path, text);
        const RunResult run = run_tool(SYNCTOOL, {"build", path, "--out", out});
        EXPECT_EQ(run.status, 1) << c.to;
        const std::string prefix = path + ":" + std::to_string(c.line) + ": ";
        EXPECT_TRUE(starts_with(run.err, prefix)) << run.err;
        EXPECT_NE(run.err.find(c.reason_part), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_EQ(list_folder(out), (std::vector<std::string>{"notes.txt", track_file_name("fog")}));
        EXPECT_EQ(read_text(out + "/" + track_file_name("fog")), "previous fog");
        EXPECT_EQ(list_folder(parent.path()), (std::vector<std::string>{"bad.txt", "out"}));
    }
    for (const std::string& name : list_folder(out)) std::remove((out + "/" + name).c_str());
    rmdir(out.c_str());
}

TEST(SynctoolBuild, RefusesMissingInputAndOutputFolders)
{
    TempFolder work;
    write_text(work.file("t.txt"), small_timeline());
    const RunResult no_input = run_tool(SYNCTOOL, {"build", work.file("none.txt"), "--out", work.path()});
    EXPECT_EQ(no_input.status, 1);
    EXPECT_TRUE(starts_with(no_input.err, work.file("none.txt") + ": cannot open")) << no_input.err;
    const RunResult no_folder = run_tool(SYNCTOOL, {"build", work.file("t.txt"), "--out", work.file("nowhere")});
    EXPECT_EQ(no_folder.status, 1);
    EXPECT_NE(no_folder.err.find("no such folder"), std::string::npos) << no_folder.err;
    EXPECT_EQ(list_folder(work.path()), (std::vector<std::string>{"t.txt"}));
}

TEST(SynctoolDump, ReportsDamagedFilesInsteadOfPrintingThem)
{
    TempFolder work;
    const std::vector<unsigned char> good = encode_track({{0, 1.0f, 1}, {8, 2.0f, 0}});
    std::vector<unsigned char> bad_interpolation = good;
    bad_interpolation[4 + 8] = 9;
    std::vector<unsigned char> trailing = good;
    trailing.push_back(0);
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        const char* reason_part;
    } cases[] = {
        {"sync_short.track", {1, 0}, "too short"},
        {"sync_negative.track", {0xFE, 0xFF, 0xFF, 0xFF}, "negative key count"},
        {"sync_huge.track", {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "needs"},
        {"sync_cut.track", std::vector<unsigned char>(good.begin(), good.end() - 1), "needs 18 bytes"},
        {"sync_interp.track", bad_interpolation, "unknown interpolation byte 9"},
        {"sync_trailing.track", trailing, "trailing byte"},
    };
    for (const auto& c : cases) {
        write_bytes(work.file(c.name), c.bytes);
        const RunResult run = run_tool(SYNCTOOL, {"dump", work.file(c.name)});
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_TRUE(starts_with(run.err, work.file(c.name) + ": ")) << run.err;
        EXPECT_NE(run.err.find(c.reason_part), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    const RunResult missing = run_tool(SYNCTOOL, {"dump", work.file("sync_none.track")});
    EXPECT_EQ(missing.status, 1);
    write_bytes(work.file("sync_fog.track"), good);
    const RunResult ok = run_tool(SYNCTOOL, {"dump", work.file("sync_fog.track")});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "track fog\n  0:0       1           linear\n  0:1       2           hold\n");
}

TEST(SynctoolPlot, DrawsATimelineOrATrackFolderIntoAPng)
{
    TempFolder work;
    const RunResult from_text = run_tool(SYNCTOOL, {"plot", DATA + "/timeline.txt", "--out", work.file("a.png")});
    ASSERT_EQ(from_text.status, 0) << from_text.err;
    const RunResult from_files = run_tool(SYNCTOOL, {"plot", "--tracks", DATA, "--out", work.file("b.png")});
    ASSERT_EQ(from_files.status, 0) << from_files.err;
    const std::vector<unsigned char> a = read_bytes(work.file("a.png"));
    ASSERT_GT(a.size(), 1000u);
    EXPECT_EQ(std::string(a.begin() + 1, a.begin() + 4), "PNG");
    EXPECT_EQ(a, read_bytes(work.file("b.png")));  // the text and its compiled files draw alike

    write_text(work.file("bad.txt"), "track fog\n  0 x hold\n");
    const RunResult bad = run_tool(SYNCTOOL, {"plot", work.file("bad.txt"), "--out", work.file("c.png")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(starts_with(bad.err, work.file("bad.txt") + ":2: ")) << bad.err;
    EXPECT_TRUE(read_bytes(work.file("c.png")).empty());
}
