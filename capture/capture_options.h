// The command line of vordel-capture: picture size, frame rate, output file and a row range.
// Parsing only: nothing is opened or checked against the music here (the frame rate must also
// divide the music's sample rate, which only the capture knows). Rows are music positions.
#pragma once

#include <cstdint>
#include <string>

struct CaptureOptions {
    int width = 1920;  // pixels; even, because the video is 4:2:0
    int height = 1080;
    uint32_t frames_per_second = 60;
    std::string out = "vordel.mp4";
    double from_row = 0.0;  // first frame at or after this row
    double to_row = -1.0;   // last frame at or before this row; negative: to the end of the demo
    bool help = false;      // --help: print capture_usage() and do nothing else
};

// Reads argv[1..argc-1] into `options`. False with a one-line reason in `error` for an unknown
// option, a missing or malformed value, or a value out of range.
bool parse_capture_options(int argc, const char* const* argv, CaptureOptions& options, std::string& error);

// The --help text, several lines ending in a line end.
std::string capture_usage();
