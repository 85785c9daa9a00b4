// synctool build's track files under faults put in for real: a folder on its own small file system
// whose parent cannot be written, a full disk, and builds killed at random moments. What is left on
// disk is checked each time: whole files of one version, the old files after a refusal, and no
// temporary once a build has succeeded.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

#include "timeline/timeline.h"
#include "timeline/timeline_files.h"
#include "tests/tools/tool_runner.h"

namespace {

const std::string SYNCTOOL = SYNCTOOL_PATH;

// One section holding all twenty tracks, `keys` rows of them; versions differ in every value.
std::string timeline_text(int keys, int version)
{
    std::string text = "track";
    for (const char* name : TIMELINE_TRACK_NAMES)
        text += std::string(" ") + name;
    for (int row = 0; row < keys; ++row) {
        text += "\n  " + std::to_string(row);
        for (int track = 0; track < TIMELINE_TRACK_COUNT; ++track)
            text += " " + std::to_string(version * 100 + track);
        text += " hold";
    }
    return text + "\n";
}

// A tmpfs of its own, visible only to this test process and what it starts; gone with the process.
bool mount_tmpfs(const std::string& at, const std::string& size)
{
    static const bool isolated =
        unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    mkdir(at.c_str(), 0755);
    return isolated && mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

}  // namespace

TEST(TrackFiles, OnTheirOwnSmallFileSystemAndWhenItIsFull)
{
    TempFolder work;
    const bool root = geteuid() == 0;
    if (!root || !mount_tmpfs(work.file("own"), "64k"))
        GTEST_SKIP() << "cannot mount a tmpfs here: " << (root ? std::strerror(errno) : "needs root");
    const std::string old_text = timeline_text(1, 1), own = work.file("own"), tracks = own + "/tracks";
    const long page = sysconf(_SC_PAGESIZE);
    const std::string new_text = timeline_text(static_cast<int>(2 * page / 9 + 1), 2);  // 3 pages a file
    write_text(work.file("old.txt"), old_text);
    write_text(work.file("new.txt"), new_text);
    ASSERT_EQ(mkdir(work.file("old").c_str(), 0755) | mkdir(work.file("new").c_str(), 0755), 0);
    expect_run(SYNCTOOL, {"build", work.file("old.txt"), "--out", work.file("old")}, 0, "");
    expect_run(SYNCTOOL, {"build", work.file("new.txt"), "--out", work.file("new")}, 0, "");

    // A timeline and its tracks on a file system of their own, under a parent no one may write.
    ASSERT_EQ(mkdir(tracks.c_str(), 0755), 0);
    ASSERT_TRUE(mount_tmpfs(tracks, "1m"));
    ASSERT_EQ(mount(nullptr, own.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    write_text(tracks + "/timeline.txt", old_text);
    expect_run(SYNCTOOL, {"build", tracks + "/timeline.txt", "--out", tracks + "/"}, 0, "");
    std::vector<std::string> expected = folder_contents(work.file("old"));
    expected.push_back("timeline.txt=" + old_text);
    EXPECT_EQ(folder_contents(tracks), expected);

    // The disk fills up with `free_pages` left: none, some of the new files, all but part of the last.
    for (const long free_pages : {0L, 31L, 59L}) {
        const std::string filler = work.file("full");
        ASSERT_TRUE(mount_tmpfs(filler, "4m"));
        expect_run(SYNCTOOL, {"build", work.file("old.txt"), "--out", filler}, 0, "");
        {
            std::ofstream fill(filler + "/fill", std::ios::binary);
            const std::string chunk(static_cast<size_t>(page), 'f');
            while (fill.write(chunk.data(), page).flush())
                ;
        }
        struct stat full {};
        ASSERT_EQ(stat((filler + "/fill").c_str(), &full), 0);
        ASSERT_EQ(truncate((filler + "/fill").c_str(), full.st_size / page * page - free_pages * page), 0);
        const std::string stopped = track_file_name(TIMELINE_TRACK_NAMES[free_pages / 3]);
        expect_run(SYNCTOOL, {"build", work.file("new.txt"), "--out", filler}, 1,
                   "/" + stopped + ": cannot write (No space left on device)\n");
        std::remove((filler + "/fill").c_str());
        EXPECT_EQ(folder_contents(filler), folder_contents(work.file("old"))) << free_pages << " pages free";
        expect_run(SYNCTOOL, {"build", work.file("new.txt"), "--out", filler}, 0, "");
        EXPECT_EQ(folder_contents(filler), folder_contents(work.file("new"))) << free_pages << " pages free";
        ASSERT_EQ(umount(filler.c_str()), 0);
    }
    umount(tracks.c_str());
    umount(own.c_str());
}

TEST(TrackFiles, BuildsKilledAtRandomMomentsLeaveWholeFilesAndTheNextBuildCleansUp)
{
    TempFolder work;
    constexpr int VERSIONS = 3, KEYS = 4000, WANTED_INTERRUPTIONS = 5, MOST_KILLS = 200;
    std::vector<std::vector<std::string>> versions;  // each version's files, as a clean build writes them
    for (int v = 0; v < VERSIONS; ++v) {
        const std::string name = "v" + std::to_string(v);
        write_text(work.file(name + ".txt"), timeline_text(KEYS, v));
        ASSERT_EQ(mkdir(work.file(name).c_str(), 0755), 0);
        expect_run(SYNCTOOL, {"build", work.file(name + ".txt"), "--out", work.file(name)}, 0, "");
        versions.push_back(folder_contents(work.file(name)));
    }
    const std::string burst = work.file("burst");
    ASSERT_EQ(mkdir(burst.c_str(), 0755), 0);
    auto start_build = [&](int v) {
        const std::string timeline = work.file("v" + std::to_string(v) + ".txt");
        const char* argv[] = {SYNCTOOL.c_str(), "build", timeline.c_str(), "--out", burst.c_str(), nullptr};
        pid_t pid = -1;
        posix_spawn(&pid, SYNCTOOL.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ);
        return pid;
    };
    const auto begun = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(start_build(0), &status, 0);
    const auto build_us =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begun);

    std::mt19937 random(15);
    std::uniform_int_distribution<long> moment(0, build_us.count());
    int interruptions = 0, kills = 0;
    for (; interruptions < WANTED_INTERRUPTIONS && kills < MOST_KILLS; ++kills) {
        const pid_t pid = start_build(kills % VERSIONS);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        bool interrupted = false;
        for (const std::string& entry : folder_contents(burst)) {
            bool whole = false;
            for (const std::vector<std::string>& files : versions)
                whole = whole || std::find(files.begin(), files.end(), entry) != files.end();
            interrupted = interrupted || entry[0] == '.';
            EXPECT_TRUE(whole || entry.compare(0, 6, ".sync_") == 0) << entry.substr(0, entry.find('='));
        }
        interruptions += interrupted ? 1 : 0;
    }
    EXPECT_EQ(interruptions, WANTED_INTERRUPTIONS)
        << "in " << kills << " kills of " << build_us.count() << " us builds";
    expect_run(SYNCTOOL, {"build", work.file("v1.txt"), "--out", burst}, 0, "");
    EXPECT_EQ(folder_contents(burst), versions[1]);
}

TEST(TrackFiles, OneFileIsReplacedWholeKeepingItsModeAndLinkAndOnlyItsOwnLeftoversGo)
{
    TempFolder work;
    umask(022);
    const std::string path = work.file("timeline.txt"), real = work.file("real"), ours = ".timeline.txt.";
    const std::string theirs[] = {ours + "Ab3_x9", ours + "Ab3x9", ".timeline.txt~Ab3x9z",
                                  ".other.txt.Ab3x9z"};
    for (const std::string& name : theirs)
        write_text(work.file(name), "theirs");
    constexpr int NONE = 0, LINK = -1;  // to `real`, of mode 0640
    const std::tuple<int, std::string, mode_t> cases[] = {
        {NONE, "first", 0644}, {0600, "second", 0600}, {0751, "", 0751}, {LINK, "through", 0640}};
    for (const auto& [before, written, mode] : cases) {
        std::remove(path.c_str());
        const std::string leftover = work.file(before == LINK ? ".real.Ab3x9z" : ours + "Ab3x9z");
        write_text(leftover, "killed run");
        write_text(real, "old");
        chmod(real.c_str(), 0640);
        if (before > 0) {
            write_text(path, "old");
            chmod(path.c_str(), static_cast<mode_t>(before));
        }
        ASSERT_EQ(before == LINK ? symlink("real", path.c_str()) : 0, 0);
        std::string error;
        EXPECT_TRUE(write_file_atomically(path, {written.begin(), written.end()}, error)) << error;
        struct stat info {};
        struct stat link {};
        EXPECT_EQ(stat(path.c_str(), &info) | lstat(path.c_str(), &link), 0);
        EXPECT_EQ(info.st_mode & 07777, mode) << before;
        EXPECT_EQ(S_ISLNK(link.st_mode), before == LINK) << before;
        EXPECT_EQ(read_text(path) + read_text(real), written + (before == LINK ? written : "old")) << before;
        EXPECT_EQ(access(leftover.c_str(), F_OK), -1) << before;
    }
    for (const std::string& name : theirs)
        EXPECT_EQ(read_text(work.file(name)), "theirs") << name;
    std::string error;
    EXPECT_FALSE(write_file_atomically(work.file("none/timeline.txt"), {}, error));
    EXPECT_EQ(error, work.file("none/timeline.txt") + ": no such folder");
}
