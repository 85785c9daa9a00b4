// The editor's onset detector against the music's own score: the bundled music.mp3 decoded as the
// editor decodes it, and every note's row from the generator's score. Prints hits (a mark within one
// 60 Hz frame of a note's start), false marks, misses (note rows no mark comes near) and the marks'
// mean and worst offset, for all notes and for the kicks (the beat grid from bar 4).
//   onsets_benchmark [MUSIC]   (default data/music.mp3)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "editor/onsets.h"
#include "tools/music/score.h"

namespace {

constexpr double FRAME_ROWS = ROWS_PER_SECOND / 60.0;

void compare(const char* what, const std::vector<double>& marks, const std::set<int32_t>& rows)
{
    int hits = 0, false_marks = 0;
    double offset_sum = 0.0, worst = 0.0;
    std::set<int32_t> found;
    for (double mark : marks) {
        const int32_t nearest = static_cast<int32_t>(std::lround(mark));
        if (rows.count(nearest) && std::fabs(mark - nearest) <= FRAME_ROWS) {
            ++hits;
            found.insert(nearest);
            offset_sum += mark - nearest;
            worst = std::max(worst, std::fabs(mark - nearest));
        } else {
            ++false_marks;
        }
    }
    std::printf("%-22s %4zu rows: %4zu found, %4zu missed; %4d marks on them, %4d elsewhere; "
                "offset mean %+.3f rows (%+.1f ms), worst %.3f rows (%.1f ms)\n",
                what, rows.size(), found.size(), rows.size() - found.size(), hits, false_marks,
                hits ? offset_sum / hits : 0.0, hits ? 1000.0 * offset_sum / hits / ROWS_PER_SECOND : 0.0,
                worst, 1000.0 * worst / ROWS_PER_SECOND);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "data/music.mp3";
    DecodedAudio audio;
    if (!decode_mp3_file(path, audio)) {
        std::fprintf(stderr, "%s: cannot decode\n", path);
        return 1;
    }
    const auto begun = std::chrono::steady_clock::now();
    const std::vector<double> marks = onsets_of(audio);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begun).count();
    std::printf("%zu marks in %.0f ms (%.1f s of music)\n", marks.size(), ms,
                static_cast<double>(audio.samples.size()) / audio.channels / static_cast<double>(audio.rate));
    std::set<int32_t> notes, kicks, beats;
    for (const NoteEvent& e : compose_song()) {
        notes.insert(e.row);
        if (e.voice == Voice::Kick)
            kicks.insert(e.row);
    }
    for (int32_t row = BEAT_BAR * ROWS_PER_BAR; row < FINAL_BAR * ROWS_PER_BAR; row += ROWS_PER_BEAT)
        beats.insert(row);
    compare("every note's start", marks, notes);
    compare("kicks", marks, kicks);
    compare("beats, bars 4 to 31", marks, beats);
    // The voices that start on the rows no mark came near, to tell what the detector does not hear.
    const char* const names[] = {"kick", "snare", "clap",  "closed hat", "open hat", "crash", "bass",
                                 "pad",  "stab",  "pluck", "lead",       "big lead", "riser"};
    int missed_by_voice[13] = {};
    for (const NoteEvent& e : compose_song()) {
        const bool found = std::any_of(marks.begin(), marks.end(),
                                       [&](double m) { return std::fabs(m - e.row) <= FRAME_ROWS; });
        missed_by_voice[static_cast<int>(e.voice)] += found ? 0 : 1;
    }
    std::printf("notes on missed rows:");
    for (int v = 0; v < 13; ++v)
        if (missed_by_voice[v])
            std::printf(" %s %d", names[v], missed_by_voice[v]);
    std::printf("\n");
    return 0;
}
