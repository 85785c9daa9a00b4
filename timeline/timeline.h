// The timeline library: the authoring text, the binary track files and the way between them, for
// the demo's authoring mode, synctool and the fuzzer. Pure functions over bytes and strings: no
// files, no globals, no exceptions, and any input (also random bytes) is either accepted or
// refused with a line number and a reason.
//
// Words: a row is a music position (8 rows per beat, 32 per bar); a key is one (row, value,
// interpolation) entry of a track. Track files are "sync_" + name + ".track": a little-endian
// int32 key count N, then N keys of 9 bytes (int32 row, float32 value, int8 interpolation).
//
// The text syntax (the full description lives at the top of data/timeline.txt):
//   # comment                         anywhere; runs to the end of the line
//   track NAME [NAME ...]             starts a section for one or more tracks
//   ROW VALUE [VALUE ...] INTERP      one key per named track ("-" leaves that track without one)
// ROW is a whole number of rows, BAR:BEAT (bar·32 + beat·8) or BAR:BEAT:ROW, all counted from 0;
// INTERP is hold, linear, smooth or ramp. Every one of the twenty demo tracks must appear once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sync/demo_tracks.h"
#include "sync/music_clock.h"
#include "sync/track.h"

// The timeline holds exactly the demo's tracks, named and ordered as the program registers them.
constexpr int TIMELINE_TRACK_COUNT = DEMO_TRACK_COUNT;
inline constexpr const char* const (&TIMELINE_TRACK_NAMES)[DEMO_TRACK_COUNT] = DEMO_TRACK_NAMES;
constexpr int TRACK_KEY_BYTES = 9;
constexpr int TRACK_HEADER_BYTES = 4;

// Keys are the demo's own TrackKey; here their interpolation is always a KeyInterpolation (0-3):
// the parser and the decoder accept nothing else.
struct TrackData {
    std::string name;
    std::vector<TrackKey> keys;  // strictly ascending rows
};

// All twenty tracks in the demo's order.
struct Timeline {
    std::vector<TrackData> tracks;
};

struct ParseError {
    int line = 0;  // 1-based line of the text
    std::string reason;
};

// Index of a demo track name, or -1.
int track_index(const std::string& name);

// hold, linear, smooth, ramp as 0-3 (a KeyInterpolation); -1 for anything else.
int parse_interpolation(const std::string& text);
const char* interpolation_name(int interpolation);  // nullptr outside 0-3

// One "track A B C" line of the text and the comment lines just above it, which describe it.
struct TimelineSection {
    int line = 0;                     // 1-based line of the header
    std::vector<std::string> tracks;  // the names as written, known or not
    std::string comment;  // each line without its "#" and the spaces around, joined by "\n"; empty when none
};

// The text's sections in file order, read as the parser reads header lines; also from a text that
// does not parse (where a header names no track, its list is empty).
std::vector<TimelineSection> timeline_sections(const std::string& text);

// A row as the timeline writes it: ROW (a whole number, negative allowed), BAR:BEAT or
// BAR:BEAT:ROW with beat 0-3 and row 0-7, so every position has one spelling. False for anything
// else or a row beyond 32 bits; `row` is then untouched.
bool parse_row(const std::string& text, int32_t& row);

// "sync_" + name + ".track".
std::string track_file_name(const std::string& name);

// Parses the whole text. On success fills `timeline` with the twenty tracks in demo order and
// returns true; otherwise returns false with the first problem in `error`, which includes a track
// with more keys than a track file may hold (MAX_TRACK_KEYS).
bool parse_timeline(const std::string& text, Timeline& timeline, ParseError& error);

// The bytes of a track file.
std::vector<unsigned char> encode_track(const std::vector<TrackKey>& keys);

// Reads a track file's bytes. Refuses (false, `error` set) short files, negative, impossible or
// too large (over MAX_TRACK_KEYS) key counts, trailing bytes, unknown interpolation bytes, values that are
// not finite and rows that do not ascend, since none of those can come from a timeline.
bool decode_track(const std::vector<unsigned char>& bytes, std::vector<TrackKey>& keys, std::string& error);

// The track in the timeline's syntax ("track NAME" and one line per key); parsing this and
// encoding gives back the same bytes.
std::string format_track(const TrackData& track);

// A row as BAR:BEAT or BAR:BEAT:ROW (plain number when negative).
std::string format_row(int32_t row);

// Shortest decimal text that reads back as exactly this float.
std::string format_value(float value);

// The keys' value at a fractional row, evaluated by the demo's own track_value.
double keys_value(const std::vector<TrackKey>& keys, double row);
