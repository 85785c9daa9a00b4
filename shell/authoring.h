// The authoring mode (vordel --edit): the demo keeps running while its author edits the text
// timeline in any editor. The tracks come from the timeline, compiled in memory; the file is
// polled and every good save is installed at once and written out as the twenty track files beside
// it. A bad save keeps the last good tracks and shows its error. Keyboard transport (pause, beats,
// bars, start, a loop of bars) and an overlay with the position and the last load's result.
//
// It never writes the timeline itself. Rows are music positions; bars and beats are the music
// clock's (32 and 8 rows). Its state lives in demo_state.authoring; none of it runs without --edit.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// What tells one version of the timeline file from another: a rename gives a new inode, a write
// a new modification time or size.
struct FileSignature {
    dev_t device;
    ino_t inode;
    int64_t modified_ns;
    int64_t size;
};

struct AuthoringState {
    std::string timeline_path;
    std::string folder;    // where the track files are written: the timeline's own folder
    FileSignature loaded;  // the version last read, good or bad
    FileSignature seen;    // the version the last poll saw; loaded once a poll sees it again
    double next_poll_s;
    bool load_ok;
    std::string load_result;  // "loaded PATH" or "PATH:LINE: reason", shown on the overlay
    bool overlay;
    bool paused;
    bool looping;
    bool loop_marked;        // false until a bar is marked: the loop is then the current bar
    int32_t loop_first_bar;  // the loop plays these bars, both included
    int32_t loop_last_bar;
    int32_t fps_frames;  // frames since fps_since_s
    double fps_since_s;
    double fps;
};

// "12:2:3 (row 403)": a row as bar, beat and row within the beat, then the whole row.
std::string format_position(double row);

// Reads the timeline and compiles it, before any window work. False with a one-line message
// only when the file cannot be read; a mistake in it is kept and shown once the demo runs.
bool authoring_open(const std::string& timeline_path, std::string& error);

// After start-up: installs the compiled tracks (the track files stay in use while the timeline
// has a mistake), writes the track files and takes over the window's callbacks.
void authoring_start();

// Frame loop only: reads and installs the timeline now, as a poll that saw it change would.
void authoring_reload_now();

// Moves the music and the picture to a row, holding the fade's volume rule there. False when
// the row is past the end of the music; the position is then unchanged.
bool seek_to_row(double row);

// The window callbacks of the authoring mode.
void authoring_display();
void authoring_keyboard(unsigned char key, int x, int y);
void authoring_special(int key, int x, int y);
