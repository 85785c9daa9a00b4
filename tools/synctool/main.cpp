// synctool: compiles the text timeline into the demo's twenty track files, prints track files
// back as text, and draws the timeline into a PNG.
//
//   synctool build [TIMELINE] [--out DIR]     default data/timeline.txt into data/
//   synctool dump FILE                        a track file in the timeline's syntax
//   synctool plot [TIMELINE | --tracks DIR] --out FILE.png
//
// Errors are one line, "file:line: reason" for the timeline, "file: reason" for files, with exit
// status 1 (2 for a wrong command line). A refused build, or one that fails while writing, changes
// nothing in the output folder: all files are written and flushed as hidden temporaries inside it,
// and only then renamed into place (timeline/timeline_files.h says what a crash in between leaves).
#include <cstdio>
#include <string>
#include <vector>

#include "tools/synctool/plot.h"
#include "tools/images/raster.h"
#include "timeline/timeline.h"
#include "timeline/timeline_files.h"

namespace {

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
const char* const DEFAULT_TIMELINE = "data/timeline.txt";
const char* const DEFAULT_OUT = "data";

void print_help()
{
    std::printf(
        "usage: synctool build [TIMELINE] [--out DIR]\n"
        "       synctool dump FILE\n"
        "       synctool plot [TIMELINE | --tracks DIR] --out FILE.png\n"
        "\n"
        "build  compiles TIMELINE (default %s) into the twenty sync_*.track files in DIR\n"
        "       (default %s); each file is replaced whole, and a refused or failed build\n"
        "       leaves DIR as it was (a crash between renames may mix old and new files)\n"
        "dump   prints a track file in the timeline's syntax (build of the output gives the same bytes)\n"
        "plot   draws every track over the rows, one lane per track, bar lines every 32 rows\n",
        DEFAULT_TIMELINE, DEFAULT_OUT);
}

int usage_error(const std::string& message)
{
    std::fprintf(stderr, "synctool: %s (try --help)\n", message.c_str());
    return EXIT_USAGE;
}

int failure(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    return EXIT_FAILED;
}

std::string track_name_from_path(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string prefix = "sync_", suffix = ".track";
    if (name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    }
    return name;
}

int run_build(const std::vector<std::string>& args)
{
    std::string timeline_path = DEFAULT_TIMELINE, out = DEFAULT_OUT;
    bool have_path = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" && i + 1 < args.size()) {
            out = args[++i];
        } else if (!have_path && !args[i].empty() && args[i][0] != '-') {
            timeline_path = args[i];
            have_path = true;
        } else {
            return usage_error("build: unexpected argument '" + args[i] + "'");
        }
    }
    Timeline timeline;
    std::string error;
    if (!load_timeline_file(timeline_path, timeline, error) || !write_track_files(timeline, out, error))
        return failure(error);
    return 0;
}

int run_dump(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return usage_error("dump takes exactly one track file");
    std::vector<unsigned char> bytes;
    std::vector<TrackKey> keys;
    std::string error;
    if (!read_file_bytes(args[0], bytes, error))
        return failure(error);
    if (!decode_track(bytes, keys, error))
        return failure(args[0] + ": " + error);
    std::fputs(format_track({track_name_from_path(args[0]), keys}).c_str(), stdout);
    return 0;
}

int run_plot(const std::vector<std::string>& args)
{
    std::string timeline_path = DEFAULT_TIMELINE, tracks_dir, out;
    bool have_path = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" && i + 1 < args.size()) {
            out = args[++i];
        } else if (args[i] == "--tracks" && i + 1 < args.size()) {
            tracks_dir = args[++i];
        } else if (!have_path && !args[i].empty() && args[i][0] != '-') {
            timeline_path = args[i];
            have_path = true;
        } else {
            return usage_error("plot: unexpected argument '" + args[i] + "'");
        }
    }
    if (out.empty())
        return usage_error("plot needs --out FILE.png");
    if (have_path && !tracks_dir.empty())
        return usage_error("plot takes a timeline or --tracks, not both");
    Timeline timeline;
    std::string error;
    if (tracks_dir.empty()) {
        if (!load_timeline_file(timeline_path, timeline, error))
            return failure(error);
    } else {
        // A missing file is a track without keys, as in the demo; a damaged one is refused.
        for (const char* name : TIMELINE_TRACK_NAMES) {
            const std::string path = trim_trailing_slashes(tracks_dir) + "/" + track_file_name(name);
            TrackData track{name, {}};
            std::vector<unsigned char> bytes;
            if (read_file_bytes(path, bytes, error) && !decode_track(bytes, track.keys, error))
                return failure(path + ": " + error);
            timeline.tracks.push_back(track);
        }
    }
    Font font;
    if (!load_font(FONT_REGULAR_PATH, font, error))
        return failure(error);
    if (!write_png(plot_timeline(timeline, font), 3, out, error))
        return failure(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage_error("missing command");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        print_help();
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            print_help();
            return 0;
        }
    }
    if (command == "build")
        return run_build(args);
    if (command == "dump")
        return run_dump(args);
    if (command == "plot")
        return run_plot(args);
    return usage_error("unknown command '" + command + "'");
}
