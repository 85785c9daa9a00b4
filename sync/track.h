// Sync tracks: named keyframe lists, one small binary file per track, read once at start-up.
//
// A track's file is "<base>_<name>.track" in the working directory: a little-endian signed 32-bit
// key count, then per key a signed 32-bit row, a 32-bit float value and one signed interpolation
// byte (9 bytes, nothing in between). A row is a music position (17.066... rows per second);
// keys sit on whole rows, in ascending order as the file gives them.
//
// The device and every track it hands out live until the process ends: a Track pointer from
// track_get stays valid however many tracks are added later. Nothing here writes track files.
// Keys live in one malloc'd array per track, whether read from a file or set from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum class KeyInterpolation : int32_t { Hold = 0, Linear = 1, Smooth = 2, Ramp = 3 };

struct TrackKey {
    int32_t row;
    float value;
    int32_t interpolation;  // a KeyInterpolation; other numbers are kept and evaluate to 0
};

struct Track {
    char* name;
    TrackKey* keys;     // null while the track has no keys
    int32_t key_count;  // 0 for a track without keys
};

// The most keys a track holds, from a file or from memory; a larger count is refused before anything
// is read or allocated. A million keys is a 9 MB file, far beyond any real timeline (the demo's rows
// end near 1100).
constexpr int32_t MAX_TRACK_KEYS = 1 << 20;

using TrackOpenFn = FILE* (*)(const char* path, const char* mode);
using TrackReadFn = size_t (*)(void* destination, size_t item_size, size_t item_count, FILE* file);
using TrackCloseFn = int (*)(FILE* file);

struct TrackDevice {
    char* base_name;
    Track** tracks;  // in order of creation; null while no track exists
    int32_t track_count;
    TrackOpenFn open_file;  // fopen, fread and fclose unless a test swaps them
    TrackReadFn read_file;
    TrackCloseFn close_file;
};

// Returns a device with base name "sync", or null when memory runs out.
TrackDevice* create_track_device();

// Index in device->tracks of the track named exactly `name`, or -1.
int32_t find_track(const TrackDevice* device, const char* name);

// The track named `name`, created and loaded from its file the first time it is asked for.
// A missing or damaged file leaves the track without keys; it is still registered and returned.
// Null when memory runs out (the device is then unchanged); a null track evaluates to 0.
Track* track_get(TrackDevice* device, const char* name);

// Reads the track's file into it, replacing keys of an earlier load: 0 on success, -1 when the
// file cannot be opened, is refused or memory runs out, all of which leave the track without keys.
// Refused: a path over 259 characters (never cut), a negative count or one above MAX_TRACK_KEYS.
// A file too short for its count keeps the complete keys it holds (none for a file shorter than
// the count itself) and succeeds. Not reentrant: all loads share one path buffer.
int load_track_file(TrackDevice* device, Track* track);

// Replaces the track's keys with a copy of `count` keys (none when count is 0), as a load would:
// 0 on success; -1 for a null track, a negative count or one above MAX_TRACK_KEYS, or when memory runs
// out, all of which leave the track's keys as they were. Rows are used in the order given.
int track_set_keys(Track* track, const TrackKey* keys, int32_t count);

// Makes `*keys` (an array from malloc, null exactly when `*count` is 0) the track's keys and hands the
// old ones back in `*keys` and `*count`, for the caller to free: nothing is copied, allocated or
// freed, so a track of any size changes at once. -1, with nothing exchanged, for a null track or
// a count outside 0 to MAX_TRACK_KEYS.
int track_swap_keys(Track* track, TrackKey** keys, int32_t* count);
