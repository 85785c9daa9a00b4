// What the texture, cube and card tests share: a test window of an exact size, and small image
// files made on the fly in a temporary folder. Pixels are given top row first, tightly packed,
// 8 bits a component.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "temp_folder.h"

// Opens the test window (or resizes it) and waits until the window system and GL both use the
// new size, so that tests of different sizes can share one process. False without a display.
bool show_test_window(int width, int height);


// Writers by file type; true when the file was written.
bool write_png(const std::string& path, int width, int height, int components,
               const std::vector<uint8_t>& pixels);
bool write_bmp(const std::string& path, int width, int height, int components,
               const std::vector<uint8_t>& pixels);

// A picture of one colour (r, g, b), as an RGB PNG or BMP.
bool write_solid_png(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b);
bool write_solid_bmp(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b);

// Runs in `folder` until destroyed, then goes back to where the test started.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::string previous;
};
