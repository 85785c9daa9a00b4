// The demo's own command line, read before the window library sees anything.
//
// With no options the demo runs as always. --from starts the music and the picture at a row;
// --edit runs the authoring mode over a text timeline and serves the editor, on --port, on the
// loopback unless --listen names another address. Arguments with a single dash (the window
// library's own, such as -display) are left for the window library; the program reads no others.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int EXIT_BAD_OPTION = 64;   // an unknown option, a malformed or impossible position
constexpr int EXIT_NO_TIMELINE = 66;  // --edit without a readable timeline
const char* const DEFAULT_TIMELINE = "timeline.txt";
constexpr int DEFAULT_EDITOR_PORT = 8517;

struct Options {
    bool help = false;
    bool edit = false;
    std::string timeline;  // --edit's file, DEFAULT_TIMELINE when none is given
    bool from = false;
    int32_t from_row = 0;                 // a whole row, never negative
    int port = DEFAULT_EDITOR_PORT;       // the editor's; 0 lets the system choose
    std::string listen;                   // the editor's address when not the loopback
    std::vector<char*> window_arguments;  // the program name and what the window library reads
};

// Reads argv. False with a one-line reason in `error` for an unknown option, a missing or
// malformed position, or one before the start.
bool parse_options(int argc, char** argv, Options& options, std::string& error);

// The usage text for --help.
const char* options_help();
