// Helpers for tests that run the authoring tools as programs: running one and checking what it
// says and how it exits, whole-file reads and writes, and a folder's contents.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

inline std::string read_text(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void write_text(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

// Runs `tool` with `args` (no single quotes; stopped after 80 s) and expects its exit status and
// how its output (status 0) or error begins, after the file it is about (the last argument) for
// status 1. Errors are one line; nothing else is said. Returns the output.
inline std::string expect_run(const std::string& tool, const std::vector<std::string>& args, int status,
                              std::string shown)
{
    TempFolder streams;
    std::string command = "timeout 80 " + tool + " >" + streams.file("out") + " 2>" + streams.file("err");
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    const int exit = std::system(command.c_str());
    const std::string out = read_text(streams.file("out")), err = read_text(streams.file("err"));
    const std::string& stream = status == 0 ? out : err;
    shown = (status == 1 ? args.back() : "") + shown;
    EXPECT_EQ(WIFEXITED(exit) ? WEXITSTATUS(exit) : -1, status) << shown;
    EXPECT_EQ(stream.substr(0, shown.size()), shown);
    EXPECT_EQ(status == 0 ? err : out, "") << shown;
    EXPECT_TRUE(status == 0 || stream.find('\n') + 1 == stream.size()) << stream << ": not one line";
    return out;
}

// "name=contents" of every entry of a folder (a folder's contents read as ""), sorted.
inline std::vector<std::string> folder_contents(const std::string& path)
{
    std::vector<std::string> entries;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path, ignored)) {
        const std::string contents = entry.is_directory() ? "" : read_text(entry.path());
        entries.push_back(entry.path().filename().string() + "=" + contents);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}
