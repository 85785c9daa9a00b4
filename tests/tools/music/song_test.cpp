// The rendered piece: the same samples on every run, no clipping, sound in every section at the
// level its part of the demo wants, and an ending that rings out and then falls silent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tools/music/score.h"
#include "tools/music/synth.h"

namespace {

constexpr size_t SHORT_FRAMES = 3 * MUSIC_SAMPLE_RATE;
constexpr size_t LIMITER_REACH_FRAMES = 2048;  // how far before a cut the limiter may differ
constexpr double FULL_SCALE = 32767.0;
constexpr double AUDIBLE_RMS = 0.01;  // -40 dBFS: clearly sounding, for tails

// RMS of both channels over [first, first + seconds), as a fraction of full scale.
double rms(const std::vector<int16_t>& pcm, double first_second, double seconds) {
    size_t begin = static_cast<size_t>(first_second * MUSIC_SAMPLE_RATE) * MUSIC_CHANNELS;
    size_t end = std::min(pcm.size(), begin + static_cast<size_t>(seconds * MUSIC_SAMPLE_RATE) * MUSIC_CHANNELS);
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) {
        double value = pcm[i] / FULL_SCALE;
        sum += value * value;
    }
    return end > begin ? std::sqrt(sum / static_cast<double>(end - begin)) : 0.0;
}

double bar_seconds(int32_t bar) {
    return bar * ROWS_PER_BAR / ROWS_PER_SECOND;
}

// RMS over whole bars [first_bar, end_bar).
double bars_rms(const std::vector<int16_t>& pcm, int32_t first_bar, int32_t end_bar) {
    return rms(pcm, bar_seconds(first_bar), bar_seconds(end_bar) - bar_seconds(first_bar));
}

class RenderedSong : public ::testing::Test {
protected:
    static void SetUpTestSuite() { song_ = new std::vector<int16_t>(render_song(SONG_FRAMES)); }
    static void TearDownTestSuite() {
        delete song_;
        song_ = nullptr;
    }
    static std::vector<int16_t>* song_;
};

std::vector<int16_t>* RenderedSong::song_ = nullptr;

}  // namespace

TEST(SongRender, IsDeterministicAndAShortRenderIsTheStartOfALongerOne) {
    std::vector<int16_t> first = render_song(SHORT_FRAMES);
    std::vector<int16_t> second = render_song(SHORT_FRAMES);
    ASSERT_EQ(first.size(), SHORT_FRAMES * MUSIC_CHANNELS);
    EXPECT_TRUE(first == second);
    std::vector<int16_t> shorter = render_song(SHORT_FRAMES / 2);
    size_t compared = (SHORT_FRAMES / 2 - LIMITER_REACH_FRAMES) * MUSIC_CHANNELS;
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.begin() + static_cast<std::ptrdiff_t>(compared), first.begin()));
    EXPECT_GT(rms(first, 0.0, 3.0), 0.0);
}

TEST(SongRender, LengthIsClampedToThePiece) {
    EXPECT_TRUE(render_song(0).empty());
    EXPECT_EQ(SONG_FRAMES, static_cast<size_t>(SONG_SECONDS * MUSIC_SAMPLE_RATE));
}

TEST_F(RenderedSong, LastsSixtyFiveSecondsAndNeverClips) {
    ASSERT_EQ(song_->size(), SONG_FRAMES * MUSIC_CHANNELS);
    int peak = 0;
    for (int16_t sample : *song_) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    EXPECT_LE(peak, static_cast<int>(std::lround(MUSIC_CEILING * FULL_SCALE)));
    EXPECT_GT(peak, static_cast<int>(0.5 * FULL_SCALE));  // and is not timid either
}

TEST_F(RenderedSong, EverySectionSoundsAtItsLevel) {
    double intro = bars_rms(*song_, INTRO_BAR + 1, BEAT_BAR);
    double beat = bars_rms(*song_, BEAT_BAR, GROOVE_BAR);
    double groove = bars_rms(*song_, GROOVE_BAR, BUILD_BAR);
    double build = bars_rms(*song_, BUILD_BAR, CLIMAX_BAR);
    double climax = bars_rms(*song_, CLIMAX_BAR, FINAL_BAR);
    double final_chord = bars_rms(*song_, FINAL_BAR, FINAL_BAR + 1);
    EXPECT_GT(intro, 0.03);
    EXPECT_GT(beat, 0.08);
    EXPECT_GT(groove, 0.1);
    EXPECT_GT(build, 0.06);
    EXPECT_GT(climax, 0.12);
    EXPECT_GT(final_chord, 0.05);
    // The intro is pads alone; the beat makes it clearly louder; the climax is the peak of the piece.
    EXPECT_GT(beat, 1.5 * intro);
    EXPECT_GE(climax, groove);
    EXPECT_GE(climax, build);
    // Every bar has sound in it, also the quiet ones.
    for (int32_t bar = INTRO_BAR; bar <= FINAL_BAR; ++bar) {
        EXPECT_GT(bars_rms(*song_, bar, bar + 1), AUDIBLE_RMS) << "bar " << bar;
    }
}

TEST_F(RenderedSong, StartsFromSilenceAndTheBeatEntersOnBarFour) {
    EXPECT_LT(rms(*song_, 0.0, 0.05), 0.001);
    // The first kick of bar 4 lifts the level over the pads just before it.
    double before = rms(*song_, bar_seconds(BEAT_BAR) - 0.1, 0.1);
    double after = rms(*song_, bar_seconds(BEAT_BAR), 0.1);
    EXPECT_GT(after, 2.0 * before);
}

TEST_F(RenderedSong, EndingRingsOutThenFadesToSilence) {
    constexpr double PICTURE_GONE_SECONDS = 61.875;  // row 1056
    double hit = rms(*song_, 60.0, 0.5);
    double ring = rms(*song_, PICTURE_GONE_SECONDS, 2.0);
    double last = rms(*song_, SONG_SECONDS - 0.5, 0.5);
    EXPECT_GT(ring, AUDIBLE_RMS);  // still sounding for two seconds after the picture is black
    EXPECT_LT(ring, hit);
    EXPECT_LT(last, 0.25 * ring);
    // The very last frames are silent, so the file ends without a click.
    size_t size = song_->size();
    for (size_t i = size - 2 * MUSIC_CHANNELS; i < size; ++i) {
        EXPECT_EQ((*song_)[i], 0) << i;
    }
}
