// The demo's command line: what each option sets, what the window library still gets, the
// editor's port and address, and the one-line refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/options.h"

namespace {

// What parse_options made of the words after the program name: the fields it set, or its error.
std::string parsed(std::vector<std::string> words)
{
    words.insert(words.begin(), "vordel");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    Options options;
    std::string error;
    if (!parse_options(static_cast<int>(words.size()), argv.data(), options, error))
        return error;
    return "edit " + std::to_string(options.edit) + " " + options.timeline + " from " +
           std::to_string(options.from) + " " + std::to_string(options.from_row) + " window " +
           std::to_string(options.window_arguments.size()) + " port " + std::to_string(options.port) +
           " listen " + options.listen;
}

}  // namespace

TEST(Options, ReadTheDemosOwnAndLeaveTheRestToTheWindowLibrary)
{
    struct Case {
        std::vector<std::string> args;  // after the program name
        std::string expected;           // the fields set, or the error
    };
    const std::string editor = " port 8517 listen ";
    const Case cases[] = {
        {{}, "edit 0 timeline.txt from 0 0 window 1" + editor},
        {{"--edit"}, "edit 1 timeline.txt from 0 0 window 1" + editor},
        {{"--edit", "t.txt", "--from", "12:2:4"}, "edit 1 t.txt from 1 404 window 1" + editor},
        {{"--edit", "--from", "400"}, "edit 1 timeline.txt from 1 400 window 1" + editor},
        {{"-display", ":1", "--from", "0"}, "edit 0 timeline.txt from 1 0 window 3" + editor},
        {{"-iconic", "--edit"}, "edit 1 timeline.txt from 0 0 window 2" + editor},
        {{"-iconic"}, "edit 0 timeline.txt from 0 0 window 2" + editor},
        {{"--from"}, "--from needs a position (ROW, BAR:BEAT or BAR:BEAT:ROW)"},
        {{"--from", "1:4"},
         "malformed position '1:4' (want ROW, BAR:BEAT or BAR:BEAT:ROW with beat 0-3, row 0-7)"},
        {{"--from", "-3"}, "position '-3' is before the start of the music"},
        {{"stray"}, "unknown option 'stray'"},
        // The editor's port and address, only with --edit.
        {{"--edit", "--port", "0"}, "edit 1 timeline.txt from 0 0 window 1 port 0 listen "},
        {{"--port", "65535", "--edit", "t.txt", "--listen", "::1"},
         "edit 1 t.txt from 0 0 window 1 port 65535 listen ::1"},
        {{"--edit", "--port", "65536"}, "malformed port '65536' (want 0-65535)"},
        {{"--edit", "--port", "-1"}, "malformed port '-1' (want 0-65535)"},
        {{"--edit", "--port", "80a"}, "malformed port '80a' (want 0-65535)"},
        {{"--edit", "--port"}, "--port needs a port number (0 for any free port)"},
        {{"--edit", "--listen"}, "--listen needs an address"},
        {{"--port", "9000"}, "--port and --listen serve the editor: they need --edit"},
        {{"--listen", "0.0.0.0"}, "--port and --listen serve the editor: they need --edit"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parsed(c.args), c.expected) << (c.args.empty() ? "" : c.args.back());
}
