#include "shell/options.h"

#include "timeline/timeline.h"

bool parse_options(int argc, char** argv, Options& options, std::string& error)
{
    options = Options{};
    options.timeline = DEFAULT_TIMELINE;
    if (argc > 0)
        options.window_arguments.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--edit") {
            options.edit = true;
            // The timeline is optional: a following word that is not an option names it.
            if (i + 1 < argc && argv[i + 1][0] != '-')
                options.timeline = argv[++i];
        } else if (arg == "--from") {
            if (i + 1 >= argc) {
                error = "--from needs a position (ROW, BAR:BEAT or BAR:BEAT:ROW)";
                return false;
            }
            const std::string position = argv[++i];
            if (!parse_row(position, options.from_row)) {
                error = "malformed position '" + position +
                        "' (want ROW, BAR:BEAT or BAR:BEAT:ROW with beat 0-3, row 0-7)";
                return false;
            }
            if (options.from_row < 0) {
                error = "position '" + position + "' is before the start of the music";
                return false;
            }
            options.from = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
            // The window library's options and their values pass through untouched.
            options.window_arguments.push_back(argv[i]);
            if (i + 1 < argc && argv[i + 1][0] != '-')
                options.window_arguments.push_back(argv[++i]);
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    return true;
}

const char* options_help()
{
    return "usage: vordel [--from POSITION] [--edit [TIMELINE]]\n"
           "  --from POSITION  start the music and the picture at a row (400) or at BAR:BEAT[:ROW] (12:2)\n"
           "  --edit TIMELINE  authoring mode: the tracks come from TIMELINE (default timeline.txt), which\n"
           "                   is watched; every good load also writes the track files beside it\n"
           "With no options the demo plays from the start and ends after the final fade.\n";
}
