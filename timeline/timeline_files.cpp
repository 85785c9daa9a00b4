// Reading timelines and writing track files (see timeline_files.h).
#include "timeline/timeline_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

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

}  // namespace

bool read_file_bytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error)
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

std::string trim_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool load_timeline_file(const std::string& path, Timeline& timeline, std::string& error)
{
    std::vector<unsigned char> bytes;
    if (!read_file_bytes(path, bytes, error))
        return false;
    ParseError parse_error;
    if (!parse_timeline(std::string(bytes.begin(), bytes.end()), timeline, parse_error)) {
        error = path + ":" + std::to_string(parse_error.line) + ": " + parse_error.reason;
        return false;
    }
    return true;
}

bool write_track_files(const Timeline& timeline, const std::string& out, std::string& error)
{
    const std::string folder = trim_trailing_slashes(out);
    if (!is_directory(folder)) {
        error = folder + ": no such folder";
        return false;
    }
    const bool dots = folder == "." || folder == ".." || folder == "/";
    std::string pattern = dots ? folder + "/.tracks-XXXXXX" : folder + ".tracks-XXXXXX";
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
