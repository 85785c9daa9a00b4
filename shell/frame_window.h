// A window for programs that read their frames back instead of showing them: the capture program
// and the render tests. Like the demo's window it is RGBA and double-buffered with depth and
// stencil and titled "Vordel", but it keeps a fixed size at the top left instead of going full
// screen. The frame driver's reshape learns every size. The demo's own window is not opened here.
#pragma once

#include <string>

// Opens the window once per process (a later call only resizes it) and returns once the window
// system has made it width × height. False with a one-line reason in `error` when there is no X
// display or the size is not granted within a couple of seconds (a screen smaller than asked).
// `program` is the name the window library sees; it never sees the caller's own options.
bool open_frame_window(const char* program, int width, int height, std::string& error);
