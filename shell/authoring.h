// The authoring mode (vordel --edit): the demo keeps running while its author edits the text
// timeline in any editor; every good save is installed and written out as the track files beside
// it, a bad one keeps the last good tracks and shows its error. This file joins the timeline
// watch (timeline_watch.h), the transport (transport.h) and the overlay (overlay.h) into the
// window's callbacks. Its state lives in demo_state.authoring; none of it runs without --edit,
// and it never writes the timeline itself.
#pragma once

#include <cstdint>
#include <string>

#include "shell/transport.h"

// What the frame loop's parts of the authoring mode keep between frames.
struct AuthoringState {
    bool load_ok;
    std::string load_result;  // "loaded PATH" or "PATH:LINE: reason", shown on the overlay
    bool overlay;
    bool paused;
    bool looping;
    bool loop_marked;         // false until a bar is marked: the loop is then the current bar
    int32_t loop_start_mark;  // the bars marked by [ and ]; the loop plays the bars between them,
    int32_t loop_end_mark;    // both included, whichever was marked first
    // Where the last step back landed (Left, Page Up), until any other seek: a step back taken
    // again before a beat has played goes one further back from there.
    bool stepped_back;
    double stepped_back_to;
    int32_t fps_frames;  // frames since fps_since_s
    double fps_since_s;
    double fps;
    uint64_t frames;    // drawn since the start
    double refresh_hz;  // the display's rate, which playing frames are paced to
};

// Reads the timeline, before any window work. False with a one-line message when the file
// cannot be read or is no regular file; a mistake in it is kept and shown once the demo runs.
bool authoring_open(const std::string& timeline_path, std::string& error);

// After start-up: installs the compiled tracks (the track files stay in use while the timeline
// has a mistake), writes the track files, starts the watch and takes over the window's callbacks.
void authoring_start();

// After the main loop: stops the watch. Harmless when the authoring mode never started.
void authoring_stop();

// The window callbacks of the authoring mode.
void authoring_display();
void authoring_keyboard(unsigned char key, int x, int y);
void authoring_special(int key, int x, int y);
