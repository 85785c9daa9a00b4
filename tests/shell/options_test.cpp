// The demo's command line: what each option sets, what the window library still gets, and the
// one-line refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/options.h"

TEST(Options, ReadTheDemosOwnAndLeaveTheRestToTheWindowLibrary)
{
    struct Case {
        std::vector<std::string> args;  // after the program name
        std::string expected;           // "edit TIMELINE from ROW window N" or the error
    };
    const Case cases[] = {
        {{}, "edit 0 timeline.txt from 0 0 window 1"},
        {{"--edit"}, "edit 1 timeline.txt from 0 0 window 1"},
        {{"--edit", "t.txt", "--from", "12:2:4"}, "edit 1 t.txt from 1 404 window 1"},
        {{"--edit", "--from", "400"}, "edit 1 timeline.txt from 1 400 window 1"},
        {{"-display", ":1", "--from", "0"}, "edit 0 timeline.txt from 1 0 window 3"},
        {{"-iconic", "--edit"}, "edit 1 timeline.txt from 0 0 window 2"},
        {{"-iconic"}, "edit 0 timeline.txt from 0 0 window 2"},
        {{"--from"}, "--from needs a position (ROW, BAR:BEAT or BAR:BEAT:ROW)"},
        {{"--from", "1:4"},
         "malformed position '1:4' (want ROW, BAR:BEAT or BAR:BEAT:ROW with beat 0-3, row 0-7)"},
        {{"--from", "-3"}, "position '-3' is before the start of the music"},
        {{"stray"}, "unknown option 'stray'"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = {"vordel"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        Options options;
        std::string error;
        const bool ok = parse_options(static_cast<int>(words.size()), argv.data(), options, error);
        const std::string seen = ok ? "edit " + std::to_string(options.edit) + " " + options.timeline +
                                          " from " + std::to_string(options.from) + " " +
                                          std::to_string(options.from_row) + " window " +
                                          std::to_string(options.window_arguments.size())
                                    : error;
        EXPECT_EQ(seen, c.expected) << words.back();
    }
}
