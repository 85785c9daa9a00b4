// Streams raw frames to an ffmpeg child process that writes an MP4 (H.264 4:2:0 picture, AAC sound
// from a raw PCM file). The video is written under a temporary name beside the output and renamed
// only when ffmpeg has finished well, so no half-written file ever carries the requested name.
// No drawing and no sound making here. Frames are RGB, 3 bytes a pixel, rows bottom first (GL's order).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

// The executable `name` found on the PATH, or "" when there is none.
std::string find_on_path(const char* name);

// Creates a fresh file in $TMPDIR (or /tmp) named after `stem`; its descriptor, or -1 (errno set).
int create_temp_file(const char* stem, std::string& path);

struct VideoSettings {
    std::string ffmpeg;  // path of the ffmpeg executable
    int width = 0;
    int height = 0;
    uint32_t frames_per_second = 0;
    std::string audio_path;  // interleaved signed 16-bit little-endian PCM
    long audio_rate = 0;     // sample frames per second
    int audio_channels = 0;
};

struct VideoEncoder {
    std::string out;    // the requested name
    std::string temp;   // where ffmpeg writes until the end
    std::string log;    // ffmpeg's error output, for the one-line message
    pid_t pid = -1;     // the child while it runs
    int video_fd = -1;  // its standard input
};

// Claims a fresh temporary name beside `out` (the file is created empty). False with a reason when
// the folder cannot be written or `out` is a folder.
bool reserve_video_output(const std::string& out, VideoEncoder& encoder, std::string& error);

// Starts ffmpeg on the reserved name. False with a reason (the reserved file is then left for
// abort_video to remove).
bool start_video(const VideoSettings& settings, VideoEncoder& encoder, std::string& error);

// Hands one frame of width × height × 3 bytes to ffmpeg. False with a reason when ffmpeg has gone
// or the write was interrupted by a signal.
bool write_video_frame(VideoEncoder& encoder, const uint8_t* pixels, size_t bytes, std::string& error);

// Closes the stream, waits for ffmpeg and renames the file to its requested name. False with a
// reason when ffmpeg failed (the temporary file is removed then).
bool finish_video(VideoEncoder& encoder, std::string& error);

// Stops ffmpeg if it runs and removes the temporary files. Safe to call at any stage, and twice.
void abort_video(VideoEncoder& encoder);
