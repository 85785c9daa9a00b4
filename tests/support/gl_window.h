// Render tests draw into one real GL window (RGBA, double-buffered, depth, stencil) and read the
// back buffer: the frame as a person would see it once presented. Pixel y counts from the top row.
#pragma once

#include <cstdint>
#include <vector>

struct Rgba {
    uint8_t r, g, b, a;
};

// The frame window at width × height (opened once per process, resized later); false, with the
// reason on standard error, without a display.
bool open_test_window(int width, int height);
Rgba read_pixel(int x, int y);
// The whole back buffer, rows top first, 4 bytes a pixel.
std::vector<uint8_t> read_frame(int width, int height);
// Writes the back buffer to a PNG for a person to look at when a test fails.
void save_frame_png(const char* path, int width, int height);
