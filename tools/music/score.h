// The piece itself: tempo, sections, harmony and every note of the demo's music as a list of events.
//
// Positions are rows, the demo's music clock: 8 rows per beat, 32 rows per 4/4 bar, and at exactly
// 128 beats per minute 1024 rows take 60 s. Notes are MIDI numbers (69 = A4 = 440 Hz); for the drums
// the note is a pitch offset in semitones. Velocities run 0..1. Sound design lives in synth.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sync/music_clock.h"

// First bar of each section; the demo's timeline is cut to these.
constexpr int32_t INTRO_BAR = 0;       // pads alone, from silence
constexpr int32_t BEAT_BAR = 4;        // kick, hats and bass enter
constexpr int32_t GROOVE_BAR = 12;     // full groove: clap, chord stabs, lead melody
constexpr int32_t BUILD_BAR = 20;      // snare roll, riser, pad filter sweep
constexpr int32_t CLIMAX_BAR = 24;     // everything, the big lead
constexpr int32_t FINAL_BAR = 32;      // one last chord that rings out
constexpr double SONG_SECONDS = 65.0;  // the final chord's tail runs 5 s past row 1024

enum class Voice {
    Kick,
    Snare,
    Clap,
    ClosedHat,
    OpenHat,
    Crash,
    Bass,
    Pad,
    Stab,
    Pluck,
    Lead,
    BigLead,
    Riser
};

struct NoteEvent {
    Voice voice;
    int32_t row;          // start
    int32_t length_rows;  // how long the note is held; tails ring past it
    int32_t note;
    float velocity;
};

// The first sample frame at or after `row` at `sample_rate`; exact for 44100 Hz (2583.984375 frames a row).
size_t row_to_frame(int32_t row, int sample_rate);

// Every note of the piece, sorted by row.
std::vector<NoteEvent> compose_song();
