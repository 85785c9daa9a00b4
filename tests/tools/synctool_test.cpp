// synctool as a program: help, usage errors (status 2) and one-line refusals (status 1) that begin
// with their file ("file:line: reason" for a timeline), every spelling it reads and prints; the
// committed timeline compiles to exactly the committed track files and plots.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "timeline/timeline.h"
#include "tests/tools/tool_runner.h"

const std::string SYNC = SYNCTOOL_PATH, DATA = DATA_DIR;

TEST(Synctool, ExitStatusesAndMessages)
{
    TempFolder work;
    const std::string none = work.file("none"), out = work.file("out"), kept = work.file("kept");
    // The last track's file is a folder: a build into `kept` is refused once all temporaries exist.
    const std::string in_the_way = kept + "/sync_text.fade.track";
    ASSERT_EQ(mkdir(out.c_str(), 0700) | mkdir(kept.c_str(), 0700) | mkdir(in_the_way.c_str(), 0700), 0);
    write_text(kept + "/sync_fog.track", "previous fog");
    int files = 0;
    auto file = [&](const std::string& text) {
        const std::string path = work.file(std::to_string(++files));
        write_text(path, text);
        return path;
    };
    std::string spellings = "# rows as ROW, BAR:BEAT and BAR:BEAT:ROW\r\ntrack fog\tclear.r  # grouped\r\n"
                            "\t0 -0.5 - hold\r\n  12:2 2.5e-3 +7 linear\n  12:2:4 .25 - smooth # eased\n"
                            "  1000 15E-1 0.1 ramp\n\n";
    const std::string fog = "track fog\n  0:0       -0.5        hold\n  12:2      0.0025      linear\n"
                            "  12:2:4    0.25        smooth\n  31:1      1.5         ramp\n";
    std::string too_many_keys = "track fog\n";  // one key more than a track file holds
    for (int row = 0; row <= MAX_TRACK_KEYS; ++row)
        too_many_keys += std::to_string(row) + " 0 hold\n";
    std::string all_but_text_fade;  // on 38 lines
    for (const std::string name : TIMELINE_TRACK_NAMES) {
        spellings += name == "fog" || name == "clear.r" ? "" : "track " + name + "\n";
        all_but_text_fade += name == "text.fade" ? "" : "track " + name + "\n  0 0 hold\n";
    }
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"--help"}, 0, "usage: synctool build [TIMELINE] [--out DIR]\n"},
        {{}, 2, "synctool: missing command (try --help)\n"},
        {{"compile"}, 2, "synctool: unknown command 'compile' (try --help)\n"},
        {{"dump"}, 2, "synctool: dump takes exactly one track file (try --help)\n"},
        {{"build", "a.txt", "b.txt"}, 2, "synctool: build: unexpected argument 'b.txt' (try --help)\n"},
        {{"plot", "t.txt"}, 2, "synctool: plot needs --out FILE.png (try --help)\n"},
        {{"plot", "t", "--tracks", "d", "--out", "p"}, 2, "synctool: plot takes a timeline or --tracks"},
        {{"build", "--out", work.path(), none}, 1, ": cannot open (No such file or directory)\n"},
        {{"build", DATA + "timeline.txt", "--out", none}, 1, ": no such folder\n"},
        {{"build", DATA + "timeline.txt", "--out", kept}, 1, "/sync_text.fade.track: is a folder"},
        {{"dump", none}, 1, ": cannot open (No such file or directory)\n"},
        {{"plot", "--tracks", DATA, "--out", none + "/p.png"}, 1, ": cannot write PNG\n"},
        {{"build", "--out", out + "//", file(spellings)}, 0, ""},
        {{"dump", out + "/sync_fog.track"}, 0, fog},
        {{"dump", out + "/sync_clear.r.track"}, 0, "track clear.r\n  12:2      7           linear\n  31:1 "},
        {{"dump", out + "/sync_scene.track"}, 0, "track scene\n"},
    };
    for (const auto& [args, status, shown] : cases)
        expect_run(SYNC, args, status, shown);

    const std::pair<std::string, std::string> timelines[] = {
        {"\ntrack fog Fog\n", ":2: unknown track \"Fog\"\n"},
        {"track f\x01og\\\"\n", ":1: unknown track \"f\\x01og\\x5C\\x22\"\n"},
        {"track fog\ntrack fog\n", ":2: track \"fog\" already has a section (line 1)\n"},
        {"track\n", ":1: 'track' needs at least one track name\n"},
        {"  0 1 hold\n", ":1: key line before any 'track' line: \"0\"\n"},
        {"track fog scene\n  0 1 2 3 hold\n", ":2: expected a row, 2 value(s) and an interpolation, found 5"},
        {"track fog\n  -3 1 hold\n  -3 2 hold\n", ":3: row -3 of track \"fog\" is not after row -3\n"},
        {"track fog\n  0 1e99 hold\n", ":2: value \"1e99\" is not a number\n"},
        {"track fog\n  0 0x10 hold\n", ":2: value \"0x10\" is not a number\n"},
        {"track fog\n  0 1e hold\n", ":2: value \"1e\" is not a number\n"},
        {"track fog\n  0 1 lineer\n", ":2: unknown interpolation \"lineer\" (want hold, linear, smooth"},
        {"track fog\n  1:4 1 hold\n", ":2: malformed row \"1:4\" (want ROW, BAR:BEAT or BAR:BEAT:ROW"},
        {"track fog\n  1:0:8 1 hold\n", ":2: malformed row \"1:0:8\""},
        {"track fog\n  1:0:0:0 1 hold\n", ":2: malformed row \"1:0:0:0\""},
        {"track fog\n  1: 1 hold\n", ":2: malformed row \"1:\""},
        {"track fog\n  2147483648 1 hold\n", ":2: malformed row \"2147483648\""},
        {"track fog\n  67108864:0 1 hold\n", ":2: malformed row \"67108864:0\""},
        {all_but_text_fade, ":38: track \"text.fade\" is missing\n"},
        {too_many_keys, ":1048578: track \"fog\" has more than 1048576 keys, the most a track file holds\n"},
    };
    for (const auto& [text, shown] : timelines)
        expect_run(SYNC, {"build", "--out", kept, file(text)}, 1, shown);

    const std::string count_1 = std::string("\x01\0\0\0", 4), count_2 = std::string("\x02\0\0\0", 4);
    const std::string key = std::string(9, '\0');                          // row 0, value 0, hold
    const std::string inf_key = std::string(6, '\0') + "\x80\x7F" + '\0';  // row 0, value +inf, hold
    const std::pair<std::string, std::string> track_files[] = {
        {std::string("\x01\0", 2), ": file is 2 bytes, too short for a key count\n"},
        {"\xFE\xFF\xFF\xFF", ": negative key count -2\n"},
        {std::string("\x01\0\x10\0", 4) + key,
         ": key count 1048577 is more than the 1048576 a track holds\n"},
        {count_2 + key + std::string(8, '\0'), ": key count 2 needs 18 bytes of keys, file has 17\n"},
        {std::string(7, '\0'), ": 3 trailing byte(s) after the last key\n"},
        {count_1 + std::string(8, '\0') + "\x04", ": key 0 (byte 4): unknown interpolation byte 4\n"},
        {count_1 + std::string(8, '\0') + "\xFF", ": key 0 (byte 4): unknown interpolation byte 255\n"},
        {count_1 + inf_key, ": key 0 (byte 4): value is not a finite number\n"},
        {count_2 + key + key, ": key 1 (byte 13): row 0 is not after row 0\n"},
    };
    for (const auto& [bytes, shown] : track_files)
        expect_run(SYNC, {"dump", file(bytes)}, 1, shown);

    // Refused builds left their folder as it was, and no run left a temporary in or beside it.
    EXPECT_EQ(folder_contents(kept),
              (std::vector<std::string>{"sync_fog.track=previous fog", "sync_text.fade.track="}));
    EXPECT_EQ(folder_contents(out).size(), static_cast<size_t>(TIMELINE_TRACK_COUNT));
    EXPECT_EQ(folder_contents(work.path()).size(), files + 2u);
}

TEST(Synctool, CommittedTimelineBuildsDumpsAndPlotsAsTheCommittedTrackFiles)
{
    TempFolder built, rebuilt;
    expect_run(SYNC, {"build", DATA + "timeline.txt", "--out", built.path()}, 0, "");
    std::string dumped;
    for (const std::string name : TIMELINE_TRACK_NAMES) {
        const std::string file = track_file_name(name);
        EXPECT_EQ(read_text(built.file(file)), read_text(DATA + file)) << file << " differs: rebuild data/";
        dumped += expect_run(SYNC, {"dump", DATA + file}, 0, "track " + name + "\n");
    }
    write_text(rebuilt.file("dumped.txt"), dumped);
    expect_run(SYNC, {"build", rebuilt.file("dumped.txt"), "--out", rebuilt.path()}, 0, "");
    expect_run(SYNC, {"plot", DATA + "timeline.txt", "--out", built.file("a.png")}, 0, "");
    expect_run(SYNC, {"plot", "--tracks", DATA, "--out", rebuilt.file("a.png")}, 0, "");
    std::remove(rebuilt.file("dumped.txt").c_str());
    EXPECT_EQ(folder_contents(built.path()), folder_contents(rebuilt.path()));
    EXPECT_EQ(folder_contents(built.path()).size(), TIMELINE_TRACK_COUNT + 1u);
}
