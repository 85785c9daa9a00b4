// Render tests draw into one real GL window (RGBA, double-buffered, depth and stencil) under the
// test display and read the back buffer, as a person would see the frame before it is presented.
// Pixel coordinates are window coordinates with y counted from the top row.
#pragma once

#include <cstdint>
#include <vector>

struct Rgba {
    uint8_t r, g, b, a;
};

// Opens the window once per process (later calls resize it). False without a display.
bool open_test_window(int width, int height);

// Makes the window width × height and tells the frame driver (reshape) about it.
void resize_test_window(int width, int height);

// One pixel of the back buffer.
Rgba read_pixel(int x, int y);

// The whole back buffer, rows top first, 4 bytes a pixel.
std::vector<uint8_t> read_frame(int width, int height);

// Writes the back buffer to a PNG for a person to look at when a test fails.
void save_frame_png(const char* path, int width, int height);
