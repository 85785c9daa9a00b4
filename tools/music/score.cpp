// The composition (see score.h): A minor, mostly the loop Am - F - C - G, one chord a bar; the
// second half of the beat turns through D minor to the dominant so the groove arrives somewhere.
#include "tools/music/score.h"

#include <algorithm>

namespace {

constexpr int32_t ROWS_PER_16TH = 2;
constexpr int32_t ROWS_PER_8TH = 4;
constexpr int32_t BAR_COUNT = FINAL_BAR + 1;
constexpr uint64_t SECONDS_PER_MINUTE = 60;
constexpr uint64_t ROWS_PER_MINUTE = static_cast<uint64_t>(BEATS_PER_MINUTE) * ROWS_PER_BEAT;  // 1024

struct Chord {
    int32_t bass;        // root for the bass line, around the second octave
    int32_t voicing[4];  // close voicing around A3..A4 for pads and stabs
};

constexpr Chord A_MINOR = {45, {57, 60, 64, 69}};
constexpr Chord F_MAJOR = {41, {57, 60, 65, 69}};
constexpr Chord C_MAJOR = {36, {55, 60, 64, 67}};
constexpr Chord G_MAJOR = {43, {55, 59, 62, 67}};
constexpr Chord E_MAJOR = {40, {56, 59, 64, 68}};  // the dominant, G sharp leading home to A
constexpr Chord D_MINOR = {38, {57, 62, 65, 69}};

// One chord per bar, bars 0..32.
const Chord* const BAR_CHORDS[BAR_COUNT] = {
    &A_MINOR, &F_MAJOR, &C_MAJOR, &G_MAJOR,                                          // intro
    &A_MINOR, &F_MAJOR, &C_MAJOR, &G_MAJOR, &D_MINOR, &F_MAJOR, &G_MAJOR, &E_MAJOR,  // beat
    &A_MINOR, &F_MAJOR, &C_MAJOR, &G_MAJOR, &A_MINOR, &F_MAJOR, &C_MAJOR, &G_MAJOR,  // groove
    &F_MAJOR, &G_MAJOR, &A_MINOR, &E_MAJOR,                                          // build
    &A_MINOR, &F_MAJOR, &C_MAJOR, &G_MAJOR, &A_MINOR, &F_MAJOR, &G_MAJOR, &E_MAJOR,  // climax
    &A_MINOR,                                                                        // final
};

struct MelodyNote {
    int32_t row;  // from the start of the phrase
    int32_t length_rows;
    int32_t note;
};

// The groove's tune, bars 12..19: a question over Am F C G and its answer.
constexpr MelodyNote GROOVE_MELODY[] = {
    {0, 4, 69},    {8, 4, 72},   {12, 12, 76},  {24, 4, 74},  {28, 4, 72},   // Am
    {32, 8, 74},   {40, 8, 72},  {48, 16, 69},                               // F
    {64, 4, 67},   {72, 4, 72},  {76, 12, 76},  {88, 4, 79},  {92, 4, 76},   // C
    {96, 16, 74},  {112, 8, 71}, {120, 8, 74},                               // G
    {128, 4, 69},  {136, 4, 72}, {140, 12, 76}, {152, 4, 81}, {156, 4, 79},  // Am
    {160, 8, 77},  {168, 8, 76}, {176, 16, 72},                              // F
    {192, 4, 76},  {200, 4, 74}, {204, 12, 72}, {216, 4, 74}, {220, 4, 76},  // C
    {224, 24, 74}, {248, 8, 71},                                             // G
};

// The climax's tune, bars 24..31, an octave higher in spirit; it ends on the E chord's third.
constexpr MelodyNote CLIMAX_MELODY[] = {
    {0, 4, 76},    {4, 12, 81},   {16, 4, 79},  {20, 4, 81},  {24, 8, 84},   // Am
    {32, 8, 84},   {40, 8, 81},   {48, 8, 77},  {56, 8, 81},                 // F
    {64, 12, 79},  {76, 4, 76},   {80, 8, 79},  {88, 8, 84},                 // C
    {96, 16, 83},  {112, 8, 81},  {120, 8, 79},                              // G
    {128, 4, 76},  {132, 12, 81}, {144, 4, 79}, {148, 4, 81}, {152, 8, 88},  // Am
    {160, 8, 84},  {168, 8, 81},  {176, 4, 77}, {180, 4, 79}, {184, 8, 81},  // F
    {192, 8, 83},  {200, 8, 86},  {208, 8, 83}, {216, 8, 79},                // G
    {224, 16, 80}, {240, 4, 76},  {244, 4, 80}, {248, 8, 83},                // E
};

// Arpeggio order through the four voicing notes, one per 16th.
constexpr int32_t ARP_ORDER[8] = {0, 1, 2, 3, 2, 1, 3, 2};

constexpr int32_t CRASH_BARS[] = {BEAT_BAR, GROOVE_BAR, BUILD_BAR, CLIMAX_BAR, CLIMAX_BAR + 4, FINAL_BAR};
constexpr int32_t FINAL_ROW = FINAL_BAR * ROWS_PER_BAR;
constexpr int32_t DROP_GAP_ROWS = 4;  // the build stops just before the climax, for a breath
constexpr int32_t FINAL_HOLD_ROWS = 40;

int32_t bar_row(int32_t bar)
{
    return bar * ROWS_PER_BAR;
}

bool in_section(int32_t bar, int32_t first, int32_t end)
{
    return bar >= first && bar < end;
}

void add(std::vector<NoteEvent>& events, Voice voice, int32_t row, int32_t length, int32_t note,
         float velocity)
{
    events.push_back(NoteEvent{voice, row, length, note, velocity});
}

void add_melody(std::vector<NoteEvent>& events, Voice voice, int32_t first_row, const MelodyNote* notes,
                size_t count, float velocity)
{
    for (size_t i = 0; i < count; ++i) {
        // Notes on a beat are played a little harder than the ones between.
        float accent = notes[i].row % ROWS_PER_BEAT == 0 ? 1.0f : 0.85f;
        add(events, voice, first_row + notes[i].row, notes[i].length_rows, notes[i].note, velocity * accent);
    }
}

void add_drums(std::vector<NoteEvent>& events, int32_t bar)
{
    int32_t start = bar_row(bar);
    bool beat = in_section(bar, BEAT_BAR, BUILD_BAR) || in_section(bar, CLIMAX_BAR, FINAL_BAR);
    bool claps = in_section(bar, GROOVE_BAR, BUILD_BAR) || in_section(bar, CLIMAX_BAR, FINAL_BAR);
    bool sixteenths = in_section(bar, BEAT_BAR + 4, BUILD_BAR) || in_section(bar, CLIMAX_BAR, FINAL_BAR);
    for (int32_t row = 0; row < ROWS_PER_BAR; row += ROWS_PER_16TH) {
        bool on_beat = row % ROWS_PER_BEAT == 0;
        bool offbeat = row % ROWS_PER_BEAT == ROWS_PER_8TH;
        if (beat && on_beat) {
            add(events, Voice::Kick, start + row, ROWS_PER_BEAT, 0, 1.0f);
        }
        if (claps && (row == 8 || row == 24)) {
            add(events, Voice::Clap, start + row, ROWS_PER_BEAT, 0, 0.9f);
        }
        if (beat && offbeat) {
            add(events, Voice::OpenHat, start + row, ROWS_PER_8TH, 0, 0.7f);
        } else if (beat && sixteenths) {
            add(events, Voice::ClosedHat, start + row, ROWS_PER_16TH, 0, on_beat ? 0.55f : 0.8f);
        } else if (beat && on_beat) {
            add(events, Voice::ClosedHat, start + row, ROWS_PER_16TH, 0, 0.5f);
        }
    }
    // From the second bar of the beat a ghost snare on the last sixteenth of every beat, a dry tick
    // that fills the middle of the spectrum until the claps arrive.
    if (in_section(bar, BEAT_BAR + 1, GROOVE_BAR)) {
        for (int32_t row = ROWS_PER_BEAT - ROWS_PER_16TH; row < ROWS_PER_BAR; row += ROWS_PER_BEAT) {
            add(events, Voice::Snare, start + row, ROWS_PER_16TH, 5, 0.45f);
        }
    }
    // In the build the kick thins out while a snare roll doubles its pace each bar.
    if (in_section(bar, BUILD_BAR, CLIMAX_BAR)) {
        int32_t index = bar - BUILD_BAR;
        int32_t kick_step = index < 2 ? ROWS_PER_BEAT : 2 * ROWS_PER_BEAT;
        for (int32_t row = 0; index < 3 && row < ROWS_PER_BAR; row += kick_step) {
            add(events, Voice::Kick, start + row, ROWS_PER_BEAT, 0, 1.0f);
        }
        int32_t step = ROWS_PER_BEAT >> index;
        int32_t build_start = bar_row(BUILD_BAR);
        int32_t build_end = bar_row(CLIMAX_BAR) - DROP_GAP_ROWS;
        for (int32_t row = start; row < start + ROWS_PER_BAR && row < build_end; row += step) {
            float progress =
                static_cast<float>(row - build_start) / static_cast<float>(build_end - build_start);
            int32_t pitch = static_cast<int32_t>(progress * 12.0f);
            add(events, Voice::Snare, row, step, pitch, 0.3f + 0.65f * progress);
        }
    }
    // A short snare fill closes each eight-bar part of the groove and the climax.
    if (bar == GROOVE_BAR - 1 || bar == BUILD_BAR - 1 || bar == FINAL_BAR - 1) {
        for (int32_t row = 3 * ROWS_PER_BEAT; row < ROWS_PER_BAR; row += ROWS_PER_16TH) {
            add(events, Voice::Snare, start + row, ROWS_PER_16TH, 2,
                0.5f + 0.04f * static_cast<float>(row - 24));
        }
    }
}

void add_bass(std::vector<NoteEvent>& events, int32_t bar)
{
    int32_t start = bar_row(bar);
    int32_t root = BAR_CHORDS[bar]->bass;
    if (in_section(bar, BEAT_BAR, BEAT_BAR + 4)) {
        // Off-beat eighths: the bass answers the kick.
        for (int32_t row = ROWS_PER_8TH; row < ROWS_PER_BAR; row += ROWS_PER_BEAT) {
            add(events, Voice::Bass, start + row, 3, root, 0.9f);
        }
    } else if (in_section(bar, BEAT_BAR + 4, BUILD_BAR) || in_section(bar, CLIMAX_BAR, FINAL_BAR)) {
        // Rolling sixteenths between the kicks, an octave jump on the last of each beat.
        bool climax = bar >= CLIMAX_BAR;
        for (int32_t beat = 0; beat < 4; ++beat) {
            int32_t beat_row = start + beat * ROWS_PER_BEAT;
            add(events, Voice::Bass, beat_row + 2, 2, root, 0.75f);
            add(events, Voice::Bass, beat_row + 4, 2, root, 0.95f);
            bool jump = climax || beat % 2 == 1;
            add(events, Voice::Bass, beat_row + 6, 2, jump ? root + 12 : root, 0.8f);
        }
    } else if (in_section(bar, BUILD_BAR, CLIMAX_BAR)) {
        // Straight notes that get faster with the snare roll, stopping for the breath before the drop.
        int32_t step = bar < BUILD_BAR + 2 ? ROWS_PER_8TH : ROWS_PER_16TH;
        for (int32_t row = start; row < start + ROWS_PER_BAR && row < bar_row(CLIMAX_BAR) - DROP_GAP_ROWS;
             row += step) {
            add(events, Voice::Bass, row, step - 1, root, 0.85f);
        }
    }
}

void add_harmony(std::vector<NoteEvent>& events, int32_t bar)
{
    int32_t start = bar_row(bar);
    const Chord& chord = *BAR_CHORDS[bar];
    float pad_velocity = bar < BEAT_BAR ? 1.0f : bar < GROOVE_BAR ? 0.6f : bar < BUILD_BAR ? 0.45f : 0.8f;
    if (bar < FINAL_BAR) {
        for (int32_t note : chord.voicing) {
            add(events, Voice::Pad, start, ROWS_PER_BAR, note, pad_velocity);
        }
    }
    if (in_section(bar, GROOVE_BAR, BUILD_BAR) || in_section(bar, CLIMAX_BAR, FINAL_BAR)) {
        // Syncopated stabs: the "and" of beats one and three, the "e" of beats two and four.
        constexpr int32_t STAB_ROWS[] = {4, 10, 20, 26};
        int32_t octave = bar >= CLIMAX_BAR ? 12 : 0;
        float velocity = bar >= CLIMAX_BAR ? 0.75f : 0.55f;
        for (int32_t row : STAB_ROWS) {
            for (int32_t note : chord.voicing) {
                add(events, Voice::Stab, start + row, 3, note + octave, velocity);
            }
        }
    } else if (in_section(bar, BEAT_BAR + 1, GROOVE_BAR)) {
        // Softer stabs on the "and" of beats one and three give the beat some bite before the groove.
        constexpr int32_t STAB_ROWS[] = {4, 20};
        for (int32_t row : STAB_ROWS) {
            for (int32_t note : chord.voicing) {
                add(events, Voice::Stab, start + row, 3, note + 12, 0.45f);
            }
        }
    }
    // The arpeggio enters one bar after the beat, so the beat's first half is not all low end.
    bool arpeggio = in_section(bar, BEAT_BAR + 1, GROOVE_BAR) || in_section(bar, CLIMAX_BAR, FINAL_BAR);
    if (arpeggio) {
        float velocity = bar >= CLIMAX_BAR ? 0.75f : bar < BEAT_BAR + 4 ? 0.5f : 0.55f;
        for (int32_t step = 0; step < ROWS_PER_BAR / ROWS_PER_16TH; ++step) {
            int32_t note = chord.voicing[ARP_ORDER[step % 8]] + 12;
            add(events, Voice::Pluck, start + step * ROWS_PER_16TH, ROWS_PER_16TH, note, velocity);
        }
    }
}

void add_effects(std::vector<NoteEvent>& events)
{
    for (int32_t bar : CRASH_BARS) {
        add(events, Voice::Crash, bar_row(bar), ROWS_PER_BAR, 0, bar == FINAL_BAR ? 1.0f : 0.8f);
    }
    // Swells into the beat, the groove, and the long riser of the build.
    add(events, Voice::Riser, bar_row(BEAT_BAR - 1), ROWS_PER_BAR, 0, 0.35f);
    add(events, Voice::Riser, bar_row(GROOVE_BAR - 1), ROWS_PER_BAR, 0, 0.4f);
    add(events, Voice::Riser, bar_row(BUILD_BAR), bar_row(CLIMAX_BAR) - DROP_GAP_ROWS - bar_row(BUILD_BAR), 0,
        0.8f);
}

void add_ending(std::vector<NoteEvent>& events)
{
    // A minor with an added ninth, spread wide, held and left to ring.
    constexpr int32_t FINAL_PAD[] = {45, 57, 60, 64, 69, 71, 76};
    for (int32_t note : FINAL_PAD) {
        add(events, Voice::Pad, FINAL_ROW, FINAL_HOLD_ROWS, note, 0.85f);
    }
    add(events, Voice::Kick, FINAL_ROW, ROWS_PER_BEAT, 0, 1.0f);
    add(events, Voice::Bass, FINAL_ROW, FINAL_HOLD_ROWS, 33, 0.9f);
    add(events, Voice::BigLead, FINAL_ROW, FINAL_HOLD_ROWS, 81, 0.9f);
    add(events, Voice::Pluck, FINAL_ROW, ROWS_PER_BAR, 81, 0.8f);
    add(events, Voice::Pluck, FINAL_ROW + ROWS_PER_16TH, ROWS_PER_BAR, 88, 0.6f);
}

}  // namespace

size_t row_to_frame(int32_t row, int sample_rate)
{
    if (row <= 0) {
        return 0;
    }
    // row * rate * 60 / 1024, rounded up so a note never starts before its row.
    uint64_t numerator = static_cast<uint64_t>(row) * static_cast<uint64_t>(sample_rate) * SECONDS_PER_MINUTE;
    return static_cast<size_t>((numerator + ROWS_PER_MINUTE - 1) / ROWS_PER_MINUTE);
}

std::vector<NoteEvent> compose_song()
{
    std::vector<NoteEvent> events;
    for (int32_t bar = 0; bar < BAR_COUNT; ++bar) {
        add_drums(events, bar);
        add_bass(events, bar);
        add_harmony(events, bar);
    }
    add_melody(events, Voice::Lead, bar_row(GROOVE_BAR), GROOVE_MELODY,
               sizeof(GROOVE_MELODY) / sizeof(GROOVE_MELODY[0]), 0.7f);
    add_melody(events, Voice::BigLead, bar_row(CLIMAX_BAR), CLIMAX_MELODY,
               sizeof(CLIMAX_MELODY) / sizeof(CLIMAX_MELODY[0]), 0.85f);
    add_effects(events);
    add_ending(events);
    std::stable_sort(events.begin(), events.end(),
                     [](const NoteEvent& a, const NoteEvent& b) { return a.row < b.row; });
    return events;
}
