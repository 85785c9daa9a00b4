// The committed timeline as a piece of direction: the facts the demo depends on (it opens from
// black, ends by itself, shows each card readably, keeps the triangle visible) hold for the
// committed track files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "timeline.h"
#include "tool_runner.h"

namespace {

const std::string DATA = VORDEL_DATA_DIR;
constexpr double END_ROW = 1056.0;          // the final fade is complete here
constexpr double FADE_OUT_ROW = 1024.0;     // the volume follows fade.a only after this row
constexpr float SILENCE = 0.0001f;          // the demo stops below this volume
constexpr double TRIANGLE_FROM = 128.0, TRIANGLE_TO = 384.0;  // the beat section
constexpr double MIN_CARD_ROWS = 64.0;      // two bars
constexpr double STEP = 0.25;               // rows between samples

struct Tracks {
    std::vector<std::vector<Key>> keys;
    double at(const char* name, double row) const { return evaluate_keys(keys[static_cast<size_t>(track_index(name))], row); }
};

Tracks load_committed()
{
    Tracks tracks;
    for (const char* name : TIMELINE_TRACK_NAMES) {
        std::vector<Key> keys;
        std::string error;
        EXPECT_TRUE(decode_track(read_bytes(DATA + "/" + track_file_name(name)), keys, error)) << name << ": " << error;
        tracks.keys.push_back(keys);
    }
    return tracks;
}

}  // namespace

TEST(CommittedTimeline, OpensFromBlackAndEndsByItself)
{
    const Tracks t = load_committed();
    EXPECT_EQ(t.at("fade.a", 0.0), 1.0);
    EXPECT_EQ(t.at("fade.r", 0.0) + t.at("fade.g", 0.0) + t.at("fade.b", 0.0), 0.0);
    // The frame driver's rule: volume = 1 - fade.a in single precision, ending below SILENCE.
    for (double row = END_ROW; row < END_ROW + 200.0; row += STEP) {
        const float a = static_cast<float>(t.at("fade.a", row));
        const float volume = static_cast<float>(1.0 - static_cast<double>(a));
        ASSERT_LT(volume, SILENCE) << "row " << row;
    }
    // Before the final fade the music plays at full volume.
    EXPECT_EQ(t.at("fade.a", FADE_OUT_ROW), 0.0);
}

TEST(CommittedTimeline, ScenesAreWholeNumbersOfTheSceneList)
{
    const Tracks t = load_committed();
    for (const Key& key : t.keys[static_cast<size_t>(track_index("scene"))]) {
        EXPECT_EQ(key.interpolation, static_cast<int8_t>(Interpolation::Hold));
        EXPECT_TRUE(key.value == 0.0f || key.value == 1.0f || key.value == 2.0f) << key.value;
    }
    EXPECT_EQ(t.at("scene", 0.0), 0.0);
    EXPECT_EQ(t.at("scene", 400.0), 1.0);
    EXPECT_EQ(t.at("scene", 800.0), 2.0);
}

TEST(CommittedTimeline, TriangleStaysVisibleInItsSection)
{
    // It is drawn in the previous frame's fade colour and alpha, and seen only from -z.
    const Tracks t = load_committed();
    for (double row = TRIANGLE_FROM; row < TRIANGLE_TO; row += STEP) {
        ASSERT_EQ(t.at("scene", row), 0.0);
        EXPECT_GE(t.at("fade.a", row), 0.1) << "row " << row;
        EXPECT_LE(t.at("fade.a", row), 0.5) << "row " << row;
        EXPECT_LT(t.at("cam.z", row), -2.0) << "row " << row;
    }
}

TEST(CommittedTimeline, EveryCardIsShownReadablyAndSwitchedOnlyWhileHidden)
{
    const Tracks t = load_committed();
    double shown[4] = {0.0, 0.0, 0.0, 0.0};
    double previous_card = t.at("text.i", 0.0);
    for (double row = 0.0; row < END_ROW; row += STEP) {
        const double card = t.at("text.i", row), fade = t.at("text.fade", row);
        ASSERT_GE(card, 0.0);
        if (static_cast<int>(card) != static_cast<int>(previous_card)) {
            EXPECT_EQ(fade, 0.0) << "card switched at row " << row;
        }
        if (fade >= 0.99 && t.at("fade.a", row) < 0.5) shown[std::min(3, static_cast<int>(card))] += STEP;
        previous_card = card;
    }
    for (int card = 0; card < 4; ++card) EXPECT_GE(shown[card], MIN_CARD_ROWS) << "card " << card;
}

TEST(CommittedTimeline, FogOnlyInTheLandscapeAndItsParametersSound)
{
    const Tracks t = load_committed();
    for (double row = 0.0; row < END_ROW; row += STEP) {
        const double scene = t.at("scene", row);
        if (scene < 2.0) {
            EXPECT_EQ(t.at("fog", row), 0.0) << "row " << row;
        }
        if (scene == 2.0) {
            EXPECT_GT(t.at("scp.a", row), 0.0) << "box period at row " << row;  // 0 would make the box NaN
            EXPECT_GT(t.at("fog", row), 0.0);
            EXPECT_LT(t.at("fog", row), 0.1);
        }
        if (scene == 1.0) {
            EXPECT_GE(t.at("scp.a", row), 1.0) << "no cube drawn at row " << row;
        }
    }
}
