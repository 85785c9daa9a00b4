// The timeline library's file side, shared by synctool build and the demo's authoring mode: reading
// a timeline file with its errors as "file:line: reason", and writing the twenty track files into a
// folder so that a reader never sees a mix of old and new files.
//
// Errors are one line in `error` and a false result; nothing here prints or exits.
#pragma once

#include <string>
#include <vector>

#include "timeline/timeline.h"

// The whole file as bytes; false with "path: cannot open (reason)" or "path: read error".
bool read_file_bytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);

// Reads and parses a timeline; a mistake comes back as "path:LINE: reason".
bool load_timeline_file(const std::string& path, Timeline& timeline, std::string& error);

// "data/" and "data//" as "data"; "/" stays itself.
std::string trim_trailing_slashes(std::string path);

// Writes every track into a fresh temporary folder beside `folder`, then renames each file into
// `folder`. On a failure before the renames nothing in `folder` changes; the temporary folder is
// removed either way.
bool write_track_files(const Timeline& timeline, const std::string& folder, std::string& error);

// Writes `bytes` to a fresh file beside `path`, flushes it to disk and renames it over `path`, so
// a reader sees the old file or the new one, never a mix. False with a one-line `error`.
bool write_file_atomically(const std::string& path, const std::vector<unsigned char>& bytes,
                           std::string& error);
