// The timeline text parser: what it accepts, what it refuses (with the line and a reason), and
// that no input, however broken, makes it misbehave.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "timeline.h"

namespace {

// A small deterministic source of test input (xorshift).
struct Bytes {
    uint32_t state;
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

// Sections for every demo track except those named in `skip`, each with one key at row 0.
std::string other_tracks(const std::string& skip)
{
    std::string text;
    for (const char* name : TIMELINE_TRACK_NAMES) {
        if (skip.find(std::string(" ") + name + " ") != std::string::npos) continue;
        text += std::string("track ") + name + "\n  0 0 hold\n";
    }
    return text;
}

// `body` followed by one-key sections of the tracks it does not cover; its lines count from 1.
Timeline parse_ok(const std::string& body, const std::string& covered)
{
    Timeline timeline;
    ParseError error;
    EXPECT_TRUE(parse_timeline(body + other_tracks(covered), timeline, error)) << error.line << ": " << error.reason;
    return timeline;
}

ParseError parse_bad(const std::string& body, const std::string& covered)
{
    Timeline timeline;
    ParseError error;
    EXPECT_FALSE(parse_timeline(body + other_tracks(covered), timeline, error)) << body;
    return error;
}

const std::vector<Key>& keys_of(const Timeline& timeline, const char* name)
{
    return timeline.tracks.at(static_cast<size_t>(track_index(name))).keys;
}

}  // namespace

TEST(TimelineParse, ReadsRowsInAllThreeSpellings)
{
    const Timeline t = parse_ok("track fog\n  0 0 hold\n  12:2 1 linear\n  12:2:4 2 smooth\n  1000 3 ramp\n", " fog ");
    const std::vector<Key>& keys = keys_of(t, "fog");
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[1].row, 12 * 32 + 2 * 8);
    EXPECT_EQ(keys[2].row, 12 * 32 + 2 * 8 + 4);
    EXPECT_EQ(keys[3].row, 1000);
    EXPECT_EQ(keys[0].interpolation, 0);
    EXPECT_EQ(keys[1].interpolation, 1);
    EXPECT_EQ(keys[2].interpolation, 2);
    EXPECT_EQ(keys[3].interpolation, 3);
    EXPECT_FLOAT_EQ(keys[2].value, 2.0f);
}

TEST(TimelineParse, ReadsValuesExactlyAsFloats)
{
    const Timeline t = parse_ok("track fog\n  0 -0.5 hold\n  1 2.5e-3 hold\n  2 +7 hold\n  3 .25 hold\n  4 0.1 hold\n", " fog ");
    const std::vector<Key>& keys = keys_of(t, "fog");
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[0].value, -0.5f);
    EXPECT_EQ(keys[1].value, 2.5e-3f);
    EXPECT_EQ(keys[2].value, 7.0f);
    EXPECT_EQ(keys[3].value, 0.25f);
    EXPECT_EQ(keys[4].value, 0.1f);
}

TEST(TimelineParse, GroupedSectionsGiveEachTrackItsValueAndDashSkips)
{
    const Timeline t = parse_ok("track clear.r clear.g clear.b\n  0 0.1 0.2 0.3 linear\n  1:0 - 0.5 - hold\n",
                                " clear.r clear.g clear.b ");
    ASSERT_EQ(keys_of(t, "clear.r").size(), 1u);
    ASSERT_EQ(keys_of(t, "clear.g").size(), 2u);
    ASSERT_EQ(keys_of(t, "clear.b").size(), 1u);
    EXPECT_EQ(keys_of(t, "clear.b")[0].value, 0.3f);
    EXPECT_EQ(keys_of(t, "clear.g")[1].row, 32);
    EXPECT_EQ(keys_of(t, "clear.g")[1].interpolation, 0);
}

TEST(TimelineParse, IgnoresCommentsBlankLinesAndCarriageReturns)
{
    const Timeline t = parse_ok("# header\r\n\r\ntrack fog   # the fog\r\n\t0 1 hold # key\r\n   \n", " fog ");
    ASSERT_EQ(keys_of(t, "fog").size(), 1u);
    EXPECT_EQ(keys_of(t, "fog")[0].value, 1.0f);
}

TEST(TimelineParse, KeepsTracksInDemoOrderAndAllowsEmptySections)
{
    const Timeline t = parse_ok("track text.fade\ntrack scene\n  0 1 hold\n", " text.fade scene ");
    ASSERT_EQ(t.tracks.size(), static_cast<size_t>(TIMELINE_TRACK_COUNT));
    for (int i = 0; i < TIMELINE_TRACK_COUNT; ++i) EXPECT_EQ(t.tracks[i].name, TIMELINE_TRACK_NAMES[i]);
    EXPECT_TRUE(keys_of(t, "text.fade").empty());
}

TEST(TimelineParse, RefusesBadInputWithLineAndReason)
{
    struct Case {
        const char* body;
        const char* covered;
        int line;
        const char* reason_part;
    };
    const Case cases[] = {
        {"track fgo\n", " ", 1, "unknown track \"fgo\""},
        {"track fog\n  0 1 hold\n  0 2 hold\n", " fog ", 3, "not after row 0"},
        {"track fog\n  1:0 1 hold\n  31 2 hold\n", " fog ", 3, "not after row 32"},
        {"track fog\n  0 abc hold\n", " fog ", 2, "value \"abc\" is not a number"},
        {"track fog\n  0 1e99 hold\n", " fog ", 2, "is not a number"},
        {"track fog\n  0 nan hold\n", " fog ", 2, "is not a number"},
        {"track fog\n  0 0x10 hold\n", " fog ", 2, "is not a number"},
        {"track fog\n  0 1 lineer\n", " fog ", 2, "unknown interpolation \"lineer\""},
        {"track fog\n  1:4 1 hold\n", " fog ", 2, "malformed row \"1:4\""},
        {"track fog\n  1:0:8 1 hold\n", " fog ", 2, "malformed row"},
        {"track fog\n  1:0:0:0 1 hold\n", " fog ", 2, "malformed row"},
        {"track fog\n  x 1 hold\n", " fog ", 2, "malformed row"},
        {"track fog\n  99999999999 1 hold\n", " fog ", 2, "malformed row"},
        {"track fog\n  99999999:0 1 hold\n", " fog ", 2, "malformed row"},
        {"track fog\n  0 1\n", " fog ", 2, "expected a row, 1 value(s) and an interpolation, found 2"},
        {"track clear.r clear.g clear.b\n  0 1 2 hold\n", " clear.r clear.g clear.b ", 2, "found 4"},
        {"  0 1 hold\n", " ", 1, "before any 'track' line"},
        {"track\n", " ", 1, "needs at least one track name"},
        {"track fog\ntrack fog\n", " fog ", 2, "already has a section (line 1)"},
        {"track Fog\n", " ", 1, "unknown track \"Fog\""},
    };
    for (const Case& c : cases) {
        const ParseError error = parse_bad(c.body, c.covered);
        EXPECT_EQ(error.line, c.line) << c.body;
        EXPECT_NE(error.reason.find(c.reason_part), std::string::npos) << c.body << " gave: " << error.reason;
    }
}

TEST(TimelineParse, RefusesAMissingTrackAtTheEnd)
{
    Timeline timeline;
    ParseError error;
    const std::string text = other_tracks(" text.fade ");
    EXPECT_FALSE(parse_timeline(text, timeline, error));
    EXPECT_NE(error.reason.find("track \"text.fade\" is missing"), std::string::npos) << error.reason;
    EXPECT_GT(error.line, 0);
    EXPECT_TRUE(timeline.tracks.empty());  // a refused parse leaves the result alone
}

TEST(TimelineParse, QuotesOddBytesInMessagesOnOneLine)
{
    const ParseError error = parse_bad(std::string("track f\x01og\xff\n"), " ");
    EXPECT_EQ(error.line, 1);
    EXPECT_NE(error.reason.find("\\x01"), std::string::npos) << error.reason;
    EXPECT_EQ(error.reason.find('\n'), std::string::npos);
}

// Random bytes, random tokens of the grammar and cut-off pieces of a valid timeline: the parser
// either accepts or names a line inside the text, and never crashes (run under the sanitizers to
// also catch undefined behaviour).
TEST(TimelineParse, SurvivesArbitraryInput)
{
    static const char* const TOKENS[] = {"track", "fog", "scene", "cam.x", "0", "1:2", "1:2:3", "-", "hold",
                                         "linear", "1e9", "-5", "#", "\n", " ", "\t", "\r", ":", "::", "9:9:9"};
    const std::string valid = other_tracks(" ");
    Bytes random{1234};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int kind = round % 3;
        const int length = static_cast<int>(random.next() % 200);
        for (int i = 0; i < length; ++i) {
            if (kind == 0) text += static_cast<char>(random.next() & 0xFF);
            if (kind == 1) text += std::string(TOKENS[random.next() % (sizeof TOKENS / sizeof *TOKENS)]) + " ";
        }
        if (kind == 2) {
            text = valid.substr(0, random.next() % (valid.size() + 1));
            if (!text.empty()) text[random.next() % text.size()] = static_cast<char>(random.next() & 0xFF);
        }
        Timeline timeline;
        ParseError error;
        if (!parse_timeline(text, timeline, error)) {
            EXPECT_GE(error.line, 1);
            EXPECT_FALSE(error.reason.empty());
        } else {
            EXPECT_EQ(timeline.tracks.size(), static_cast<size_t>(TIMELINE_TRACK_COUNT));
        }
    }
}
