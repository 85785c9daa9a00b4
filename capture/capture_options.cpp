#include "capture/capture_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sync/music_clock.h"

namespace {

// Limits that keep a frame within one allocation and the encoder's range.
constexpr long MIN_SIDE = 2;
constexpr long MAX_SIDE = 8192;
constexpr unsigned long MAX_FRAMES_PER_SECOND = 1000;
constexpr double MAX_ROW = 1e9;  // far past any music, and small enough to count frames to

bool parse_long(const char* text, long& value)
{
    if (text == nullptr || *text == '\0' || *text == '+' || *text == '-' || *text == ' ')
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && *end == '\0';
}

bool parse_size(const std::string& text, int& width, int& height, std::string& error)
{
    const size_t x = text.find('x');
    long w = 0;
    long h = 0;
    if (x == std::string::npos || !parse_long(text.substr(0, x).c_str(), w) ||
        !parse_long(text.substr(x + 1).c_str(), h)) {
        error = "--size wants WIDTHxHEIGHT, such as 1280x720, not '" + text + "'";
        return false;
    }
    if (w < MIN_SIDE || h < MIN_SIDE || w > MAX_SIDE || h > MAX_SIDE) {
        error = "--size " + text + " is out of range (2 to 8192 pixels a side)";
        return false;
    }
    if (w % 2 != 0 || h % 2 != 0) {
        error = "--size " + text + ": width and height must be even (the video is 4:2:0)";
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool parse_row(const std::string& name, const std::string& text, double& row, std::string& error)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < 0.0 ||
        value > MAX_ROW) {
        error = name + " wants a row (a number from 0 to 1e9), not '" + text + "'";
        return false;
    }
    row = value;
    return true;
}

}  // namespace

bool parse_capture_options(int argc, const char* const* argv, CaptureOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool has_value = false;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            has_value = true;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name != "--size" && name != "--fps" && name != "--out" && name != "--from" && name != "--to") {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (!has_value) {
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (name == "--size") {
            if (!parse_size(value, options.width, options.height, error))
                return false;
        } else if (name == "--fps") {
            long fps = 0;
            if (!parse_long(value.c_str(), fps) || fps < 1 ||
                static_cast<unsigned long>(fps) > MAX_FRAMES_PER_SECOND) {
                error = "--fps wants a whole number of frames per second from 1 to 1000, not '" + value + "'";
                return false;
            }
            options.frames_per_second = static_cast<uint32_t>(fps);
        } else if (name == "--out") {
            if (value.empty()) {
                error = "--out needs a file name";
                return false;
            }
            options.out = value;
        } else if (name == "--from") {
            if (!parse_row(name, value, options.from_row, error))
                return false;
        } else if (!parse_row(name, value, options.to_row, error)) {
            return false;
        }
    }
    if (options.to_row >= 0.0 && options.to_row < options.from_row) {
        error = "--to must not be before --from";
        return false;
    }
    return true;
}

std::string capture_usage()
{
    char text[2048];  // twice the text, so the rate always fits
    std::snprintf(
        text, sizeof text,
        "usage: vordel-capture [--size WxH] [--fps N] [--out FILE] [--from ROW] [--to ROW]\n"
        "Renders the demo in the working directory (music.mp3, track files, pictures) to an MP4\n"
        "video with its music: H.264 picture, AAC sound, the same fade as a live run. Needs an X\n"
        "display (xvfb-run works) and ffmpeg on the PATH.\n"
        "  --size WxH   picture size in pixels, both even (default 1920x1080)\n"
        "  --fps N      frames per second; must divide the music's sample rate (default 60)\n"
        "  --out FILE   the video to write; replaced only once it is complete (default vordel.mp4)\n"
        "  --from ROW   start at this row (%.4f rows a second; default 0)\n"
        "  --to ROW     stop after this row (default: the end of the demo or of the music)\n"
        "  --help       show this text\n"
        "Progress goes to standard error. Exit status 0 on success, 1 on an error, 130 when "
        "interrupted.\n",
        ROWS_PER_SECOND);
    return text;
}
