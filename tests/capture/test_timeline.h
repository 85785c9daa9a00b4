// Short demo timelines for the capture tests, written as the twenty track files into a folder.
// Only the track files: the music and the pictures come from elsewhere (ffmpeg, data/).
// "short": triangle, cubes and landscape within 52 rows (3 s), no fade-out, ends with its music.
// "fade": the same, then past row 1024 fade.a climbs from 0 at row 1025 to 1 at row 1030.
#pragma once

#include <string>

// False when a file cannot be written or `kind` is neither "short" nor "fade".
bool write_test_timeline(const std::string& folder, const std::string& kind);
