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

TEST(Options, EditorsPortAndAddressOnlyWithEdit)
{
    struct Case {
        std::vector<std::string> args;
        std::string expected;  // "port N listen ADDRESS" or the error
    };
    const Case cases[] = {
        {{"--edit"}, "port 8517 listen "},
        {{"--edit", "--port", "0"}, "port 0 listen "},
        {{"--port", "65535", "--edit", "t.txt", "--listen", "::1"}, "port 65535 listen ::1"},
        {{"--edit", "--port", "65536"}, "malformed port '65536' (want 0-65535)"},
        {{"--edit", "--port", "-1"}, "malformed port '-1' (want 0-65535)"},
        {{"--edit", "--port", "80a"}, "malformed port '80a' (want 0-65535)"},
        {{"--edit", "--port"}, "--port needs a port number (0 for any free port)"},
        {{"--edit", "--listen"}, "--listen needs an address"},
        {{"--port", "9000"}, "--port and --listen serve the editor: they need --edit"},
        {{"--listen", "0.0.0.0"}, "--port and --listen serve the editor: they need --edit"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = {"vordel"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        Options options;
        std::string error;
        const bool ok = parse_options(static_cast<int>(words.size()), argv.data(), options, error);
        EXPECT_EQ(ok ? "port " + std::to_string(options.port) + " listen " + options.listen : error,
                  c.expected)
            << words.back();
    }
}
