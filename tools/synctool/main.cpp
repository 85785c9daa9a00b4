// synctool: compiles the text timeline into the demo's twenty track files, prints track files
// back as text, and draws the timeline into a PNG.
//
//   synctool build [TIMELINE] [--out DIR]     default data/timeline.txt into data/
//   synctool dump FILE                        a track file in the timeline's syntax
//   synctool plot [TIMELINE | --tracks DIR] --out FILE.png
//
// Errors are one line, "file:line: reason" for the timeline, "file: reason" for files, with exit
// status 1 (2 for a wrong command line). A refused build changes nothing in the output folder:
// all files are written into a temporary folder beside it and only then renamed into place.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/synctool/plot.h"
#include "tools/images/raster.h"
#include "tools/synctool/timeline.h"

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
        "       (default %s); on any error nothing in DIR changes\n"
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

bool read_file(const std::string& path, std::vector<unsigned char>& bytes, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": cannot open (" + std::strerror(errno) + ")";
        return false;
    }
    bytes.clear();
    unsigned char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    const bool bad = std::ferror(file) != 0;
    std::fclose(file);
    if (bad) {
        error = path + ": read error";
        return false;
    }
    return true;
}

bool write_file(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": cannot create (" + std::strerror(errno) + ")";
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = path + ": write error";
        return false;
    }
    return true;
}

bool is_directory(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string strip_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool load_timeline(const std::string& path, Timeline& timeline, std::string& error)
{
    std::vector<unsigned char> bytes;
    if (!read_file(path, bytes, error))
        return false;
    ParseError parse_error;
    if (!parse_timeline(std::string(bytes.begin(), bytes.end()), timeline, parse_error)) {
        error = path + ":" + std::to_string(parse_error.line) + ": " + parse_error.reason;
        return false;
    }
    return true;
}

// Writes every track into a fresh folder beside `out`, then renames the files into `out`.
bool write_tracks(const Timeline& timeline, const std::string& out, std::string& error)
{
    const std::string folder = strip_slashes(out);
    if (!is_directory(folder)) {
        error = folder + ": no such folder";
        return false;
    }
    const bool dots = folder == "." || folder == ".." || folder == "/";
    std::string pattern = dots ? folder + "/.synctool-XXXXXX" : folder + ".synctool-XXXXXX";
    std::vector<char> temp_name(pattern.begin(), pattern.end());
    temp_name.push_back('\0');
    if (mkdtemp(temp_name.data()) == nullptr) {
        error = pattern + ": cannot create temporary folder (" + std::strerror(errno) + ")";
        return false;
    }
    const std::string temp(temp_name.data());
    std::vector<std::string> written;
    bool ok = true;
    for (const TrackData& track : timeline.tracks) {
        const std::string path = temp + "/" + track_file_name(track.name);
        if (!write_file(path, encode_track(track.keys), error)) {
            ok = false;
            break;
        }
        written.push_back(track_file_name(track.name));
    }
    for (size_t i = 0; ok && i < written.size(); ++i) {
        const std::string from = temp + "/" + written[i], to = folder + "/" + written[i];
        if (std::rename(from.c_str(), to.c_str()) != 0) {
            error = to + ": cannot move into place (" + std::strerror(errno) + ")";
            ok = false;
        }
    }
    for (const std::string& name : written)
        std::remove((temp + "/" + name).c_str());
    rmdir(temp.c_str());
    return ok;
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
    if (!load_timeline(timeline_path, timeline, error) || !write_tracks(timeline, out, error))
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
    if (!read_file(args[0], bytes, error))
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
        if (!load_timeline(timeline_path, timeline, error))
            return failure(error);
    } else {
        // A missing file is a track without keys, as in the demo; a damaged one is refused.
        for (const char* name : TIMELINE_TRACK_NAMES) {
            const std::string path = strip_slashes(tracks_dir) + "/" + track_file_name(name);
            TrackData track{name, {}};
            std::vector<unsigned char> bytes;
            if (read_file(path, bytes, error) && !decode_track(bytes, track.keys, error))
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
