#include "shell/options.h"

#include "timeline/timeline.h"

namespace {

constexpr long LAST_PORT = 65535;

bool parse_port(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long value = 0;
    for (char digit : text)
        value = value * 10 + (digit - '0');
    port = static_cast<int>(value);
    return value <= LAST_PORT;
}

}  // namespace

bool parse_options(int argc, char** argv, Options& options, std::string& error)
{
    options = Options{};
    options.timeline = DEFAULT_TIMELINE;
    if (argc > 0)
        options.window_arguments.push_back(argv[0]);
    bool served = false;  // --port or --listen seen
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
        } else if (arg == "--port" || arg == "--listen") {
            if (i + 1 >= argc) {
                error = arg + (arg == "--port" ? " needs a port number (0 for any free port)"
                                               : " needs an address");
                return false;
            }
            const std::string value = argv[++i];
            if (arg == "--listen") {
                options.listen = value;
            } else if (!parse_port(value, options.port)) {
                error = "malformed port '" + value + "' (want 0-65535)";
                return false;
            }
            served = true;
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
    if (served && !options.edit) {
        error = "--port and --listen serve the editor: they need --edit";
        return false;
    }
    return true;
}

const char* options_help()
{
    return "usage: vordel [--from POSITION] [--edit [TIMELINE] [--port N] [--listen ADDRESS]]\n"
           "  --from POSITION  start the music and the picture at a row (400) or at BAR:BEAT[:ROW] (12:2)\n"
           "  --edit TIMELINE  authoring mode: the tracks come from TIMELINE (default timeline.txt), which\n"
           "                   is watched; every good load also writes the track files beside it, and\n"
           "                   an editor is served at the address printed as 'editor: URL'\n"
           "  --port N         the editor's port with --edit (default 8517; 0 for any free port)\n"
           "  --listen ADDRESS serve the editor on ADDRESS instead of 127.0.0.1 (reachable by others)\n"
           "With no options the demo plays from the start and ends after the final fade.\n";
}
