// The piece's clock and arrangement: rows land on the right frames, and each section plays what
// the demo's timeline was cut to (pads alone first, the beat from bar 4, the leads where they belong).
#include <gtest/gtest.h>

#include <algorithm>

#include "tools/music/score.h"

namespace {

constexpr int RATE = 44100;

std::vector<NoteEvent> of_voice(const std::vector<NoteEvent>& events, Voice voice) {
    std::vector<NoteEvent> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [voice](const NoteEvent& event) { return event.voice == voice; });
    return found;
}

int32_t bar_of(const NoteEvent& event) {
    return event.row / ROWS_PER_BAR;
}

}  // namespace

TEST(MusicClock, RowsMapToExactFramesAt128BeatsPerMinute) {
    EXPECT_EQ(row_to_frame(0, RATE), 0u);
    EXPECT_EQ(row_to_frame(-5, RATE), 0u);
    EXPECT_EQ(row_to_frame(1, RATE), 2584u);              // 2583.984375 rounded up
    EXPECT_EQ(row_to_frame(64, RATE), 165375u);           // exact: two bars
    EXPECT_EQ(row_to_frame(1024, RATE), 60u * RATE);      // 32 bars are one minute
    EXPECT_EQ(row_to_frame(1056, RATE), 2728688u);        // 61.875 s, rounded up
    EXPECT_EQ(row_to_frame(ROWS_PER_BEAT, RATE), 20672u);  // 0.46875 s a beat
}

TEST(MusicArrangement, EventsAreSortedAndInsideThePiece) {
    std::vector<NoteEvent> events = compose_song();
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(std::is_sorted(events.begin(), events.end(),
                               [](const NoteEvent& a, const NoteEvent& b) { return a.row < b.row; }));
    for (const NoteEvent& event : events) {
        EXPECT_GE(event.row, 0);
        EXPECT_LE(event.row, FINAL_BAR * ROWS_PER_BAR + ROWS_PER_BEAT);  // the final chord's last grace note
        EXPECT_GT(event.length_rows, 0);
        EXPECT_GT(event.velocity, 0.0f);
        EXPECT_LE(event.velocity, 1.0f);
        EXPECT_GE(event.note, 0);
        EXPECT_LE(event.note, 100);
    }
}

TEST(MusicArrangement, SectionsPlayWhatTheTimelineExpects) {
    std::vector<NoteEvent> events = compose_song();
    // The intro is pads (and a swell into the beat) only.
    for (const NoteEvent& event : events) {
        if (bar_of(event) < BEAT_BAR) {
            EXPECT_TRUE(event.voice == Voice::Pad || event.voice == Voice::Riser) << "row " << event.row;
        }
    }
    // The beat: a kick on every beat of bars 4..19 and 24..31, none after the final hit.
    std::vector<NoteEvent> kicks = of_voice(events, Voice::Kick);
    for (int32_t bar : {BEAT_BAR, GROOVE_BAR - 1, GROOVE_BAR, CLIMAX_BAR, FINAL_BAR - 1}) {
        for (int32_t beat = 0; beat < 4; ++beat) {
            int32_t row = bar * ROWS_PER_BAR + beat * ROWS_PER_BEAT;
            EXPECT_TRUE(std::any_of(kicks.begin(), kicks.end(), [row](const NoteEvent& e) { return e.row == row; }))
                << "no kick at row " << row;
        }
    }
    EXPECT_EQ(kicks.front().row, BEAT_BAR * ROWS_PER_BAR);
    EXPECT_EQ(kicks.back().row, FINAL_BAR * ROWS_PER_BAR);
    // Bass from the beat on; the first lead with the groove, the big lead with the climax.
    EXPECT_EQ(bar_of(of_voice(events, Voice::Bass).front()), BEAT_BAR);
    std::vector<NoteEvent> lead = of_voice(events, Voice::Lead);
    ASSERT_FALSE(lead.empty());
    EXPECT_EQ(bar_of(lead.front()), GROOVE_BAR);
    EXPECT_LT(bar_of(lead.back()), BUILD_BAR);
    std::vector<NoteEvent> big = of_voice(events, Voice::BigLead);
    ASSERT_FALSE(big.empty());
    EXPECT_EQ(bar_of(big.front()), CLIMAX_BAR);
    // Chord stabs in the groove and the climax only.
    for (const NoteEvent& stab : of_voice(events, Voice::Stab)) {
        int32_t bar = bar_of(stab);
        EXPECT_TRUE((bar >= GROOVE_BAR && bar < BUILD_BAR) || (bar >= CLIMAX_BAR && bar < FINAL_BAR)) << bar;
    }
}

TEST(MusicArrangement, BuildRollsFasterAndBreathesBeforeTheClimax) {
    std::vector<NoteEvent> events = compose_song();
    std::vector<NoteEvent> snares = of_voice(events, Voice::Snare);
    int32_t counts[4] = {0, 0, 0, 0};
    int32_t last_row = 0;
    for (const NoteEvent& snare : snares) {
        int32_t bar = bar_of(snare);
        if (bar >= BUILD_BAR && bar < CLIMAX_BAR) {
            ++counts[bar - BUILD_BAR];
            last_row = std::max(last_row, snare.row);
        }
    }
    for (int i = 1; i < 4; ++i) {
        EXPECT_GT(counts[i], counts[i - 1]) << "bar " << BUILD_BAR + i;
    }
    // Nothing but tails in the last half beat before the drop.
    int32_t drop = CLIMAX_BAR * ROWS_PER_BAR;
    EXPECT_LT(last_row, drop - 2);
    for (const NoteEvent& event : events) {
        if (event.row >= drop - 2 && event.row < drop) {
            ADD_FAILURE() << "event at row " << event.row << " in the breath before the climax";
        }
    }
}
