// Key edits on the timeline text: tables of text before, edits, and text after, byte for byte
// (alignment, comments, line endings, the notation of rows); refusals that leave the text alone;
// and random edits of the bundled timeline, checked against the keys worked out apart from the text
// and taken back (also after other edits) by their patches.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "tests/timeline/key_model.h"
#include "timeline/timeline_edit.h"

namespace {

constexpr int32_t ROWS = 1100;
constexpr int SCENE = 0, CLEAR_R = 1, CLEAR_G = 2, CLEAR_B = 3, FOG = 17;
constexpr int HOLD = 0, LINEAR = 1, SMOOTH = 2;

// A whole timeline: a first line names every track that `body` leaves out, so `body` alone is
// what a case shows (and may end without a line ending).
std::string timeline(const std::string& body)
{
    std::string rest = "track";
    for (const char* name : TIMELINE_TRACK_NAMES) {
        if (body.find(" " + std::string(name) + " ") == std::string::npos &&
            body.find(" " + std::string(name) + "\r") == std::string::npos &&
            body.find(" " + std::string(name) + "\n") == std::string::npos)
            rest += " " + std::string(name);
    }
    return rest + "\n" + body;
}

EditOp set(int track, int32_t row, float value, int interpolation = -1)
{
    return {EditKind::Set, track, row, 0, value, interpolation};
}
EditOp remove(int track, int32_t row)
{
    return {EditKind::Delete, track, row, 0, 0.0f, -1};
}
EditOp move(int track, int32_t row, int32_t to_row)
{
    return {EditKind::Move, track, row, to_row, 0.0f, -1};
}

Timeline read(const std::string& text)
{
    Timeline out;
    ParseError error;
    EXPECT_TRUE(parse_timeline(text, out, error)) << error.line << ": " << error.reason << "\n" << text;
    return out;
}

const std::string FOG_TEXT =
    "track fog\n  0:0      0       hold\n  24:0     0.06    smooth  # in\n  26:0     0.035   hold\n";
const std::string CLEAR_TEXT =
    "track clear.r clear.g clear.b\n  0:0      0.02    0.025   0.06    hold\n"
    "  # bars 4-7\n  4:0      0.03    0.04    0.1     hold\n  8:0      -       0.5     -       hold\n";

TEST(TimelineEdit, RewritesOnlyTheLinesOfTheKeysItChanges)
{
    const std::string fog_head = "track fog\n  0:0      0       hold\n",
                      clear_head = "track clear.r clear.g clear.b\n";
    const std::string c0 = "  0:0      0.02    0.025   0.06    hold\n",
                      c4 = "  4:0      0.03    0.04    0.1     hold\n";
    const std::string c8 = "  8:0      -       0.5     -       hold\n", note = "  # bars 4-7\n";
    const std::string x2 = "  2:0      -       0.5     -       hold\n",
                      x4 = "  4:0      0.4     -       -       hold\n";
    const struct {
        std::string before;
        std::vector<EditOp> ops;
        std::string after;
        // clang-format off
    } cases[] = {
        // one track to a line: the value's field, the padding after it, the comment kept
        {FOG_TEXT, {set(FOG, 768, 0.1f)}, fog_head + "  24:0     0.1     smooth  # in\n  26:0     0.035   hold\n"},
        {FOG_TEXT, {set(FOG, 0, 0.0f, LINEAR)}, "track fog\n  0:0      0       linear\n" + FOG_TEXT.substr(34)},
        {FOG_TEXT, {set(FOG, 768, 0.06f, HOLD)}, fog_head + "  24:0     0.06    hold    # in\n  26:0     0.035   hold\n"},
        // values as people write them: whole numbers without an exponent, exact to the float
        {FOG_TEXT, {set(FOG, 768, 10.0f)}, fog_head + "  24:0     10      smooth  # in\n  26:0     0.035   hold\n"},
        {FOG_TEXT, {set(FOG, 768, 1500.0f)}, fog_head + "  24:0     1500    smooth  # in\n  26:0     0.035   hold\n"},
        {FOG_TEXT, {set(FOG, 768, 12345.678f)}, fog_head + "  24:0     12345.678 smooth  # in\n  26:0     0.035   hold\n"},
        {FOG_TEXT, {set(FOG, 768, 1e20f)}, fog_head + "  24:0     1e+20   smooth  # in\n  26:0     0.035   hold\n"},
        // several tracks to a line: one column changes, later columns stay where they are if they can
        {CLEAR_TEXT, {set(CLEAR_G, 0, 2.5f)}, clear_head + "  0:0      0.02    2.5     0.06    hold\n" + note + c4 + c8},
        {CLEAR_TEXT, {set(CLEAR_G, 0, 1.0f / 3)}, clear_head + "  0:0      0.02    0.33333334 0.06    hold\n" + note + c4 + c8},
        // a new interpolation takes the key out to a line of its own, aligned like the one above
        {CLEAR_TEXT,
         {set(CLEAR_G, 0, 0.025f, SMOOTH)},
         clear_head + "  0:0      0.02    -       0.06    hold\n  0:0      -       0.025   -       smooth\n" +
             note + c4 + c8},
        // deleting writes "-"; a line left with only "-" goes with its line ending
        {CLEAR_TEXT, {remove(CLEAR_B, 128)}, clear_head + c0 + note + "  4:0      0.03    0.04    -       hold\n" + c8},
        {CLEAR_TEXT, {remove(CLEAR_G, 256)}, clear_head + c0 + note + c4},
        // a set at a row whose line has a "-" fills it when the interpolation matches
        {CLEAR_TEXT,
         {set(CLEAR_R, 256, 1.0f, HOLD)},
         clear_head + c0 + note + c4 + "  8:0      1       0.5     -       hold\n"},
        {CLEAR_TEXT,
         {set(CLEAR_R, 256, 1.0f, LINEAR)},
         clear_head + c0 + note + c4 + c8 + "  8:0      1       -       -       linear\n"},
        // new keys: BAR:BEAT[:ROW] rows, in row order
        {FOG_TEXT,
         {set(FOG, 400, 0.5f, HOLD)},
         fog_head + "  12:2     0.5     hold\n  24:0     0.06    smooth  # in\n  26:0     0.035   hold\n"},
        {FOG_TEXT, {set(FOG, 837, -2.5e-3f, HOLD)}, FOG_TEXT + "  26:0:5   -0.0025 hold\n"},
        {CLEAR_TEXT,
         {set(CLEAR_B, 2, 7.0f, HOLD)},
         clear_head + c0 + "  0:0:2    -       -       7       hold\n" + note + c4 + c8},
        // plain rows stay plain; tab separators are copied
        {"track scene\n  0    0  hold\n  128  1  hold\n",
         {set(SCENE, 32, 2.0f, HOLD)},
         "track scene\n  0    0  hold\n  32   2  hold\n  128  1  hold\n"},
        {"track fog\n\t0\t1\thold\n\t64\t2\tlinear\n",
         {set(FOG, 96, 3.0f, LINEAR)},
         "track fog\n\t0\t1\thold\n\t64\t2\tlinear\n\t96\t3\tlinear\n"},
        // an empty section gets the bundled layout; CRLF and a missing last line ending are kept
        {"track fog\n\n# later\n", {set(FOG, 0, 1.0f, LINEAR)}, "track fog\n  0:0      1       linear\n\n# later\n"},
        {"track fog\r\n  0:0 1 hold\r\n", {set(FOG, 32, 2.0f, HOLD)}, "track fog\r\n  0:0 1 hold\r\n  1:0 2 hold\r\n"},
        {"track fog\n  0:0 1 hold", {set(FOG, 32, 2.0f, HOLD)}, "track fog\n  0:0 1 hold\n  1:0 2 hold"},
        {"track fog\n  0:0 1 hold\n  1:0 2 hold", {remove(FOG, 32)}, "track fog\n  0:0 1 hold"},
        // moves: in place (comment kept) while the row order allows, else out and in again
        {FOG_TEXT, {move(FOG, 768, 512)}, fog_head + "  16:0     0.06    smooth  # in\n  26:0     0.035   hold\n"},
        {FOG_TEXT,
         {move(FOG, 0, 800)},
         "track fog\n  24:0     0.06    smooth  # in\n  25:0     0       hold\n  26:0     0.035   hold\n"},
        {CLEAR_TEXT,
         {move(CLEAR_R, 128, 144)},
         clear_head + c0 + note +
             "  4:0      -       0.04    0.1     hold\n  4:2      0.03    -       -       hold\n" + c8},
        // ... and a key line that would leave the row order of its section goes out too
        {clear_head + "  0:0      0.1     0.2     0.3     hold\n" + x2 + x4,
         {move(CLEAR_G, 64, 160)},
         clear_head + "  0:0      0.1     0.2     0.3     hold\n" + x4 +
             "  5:0      -       0.5     -       hold\n"},
        {clear_head + "  0:0      0.1     0.2     0.3     hold\n" + x2 + x4,
         {move(CLEAR_R, 128, 32)},
         clear_head + "  0:0      0.1     0.2     0.3     hold\n  1:0      0.4     -       -       hold\n" +
             x2},
        {"track clear.r clear.g\n  4:0 1 - hold\n  10:0 - 2 hold\n  8:0 5 - hold\n",
         {move(CLEAR_R, 128, 300)},
         "track clear.r clear.g\n  10:0 - 2 hold\n  8:0 5 - hold\n  9:1:4 1 - hold\n"},
        // keys one request puts at one row with one interpolation share a line, in any op order
        {clear_head + "  2:0      0.1     0.2     0.3     hold  # hit\n",
         {set(CLEAR_R, 64, 1.0f, LINEAR), set(CLEAR_G, 64, 2.0f, LINEAR), set(CLEAR_B, 64, 3.0f, LINEAR)},
         clear_head + "  2:0      1       2       3       linear # hit\n"},
        {clear_head + c0 + "  2:0      0.1     0.2     -       hold\n",
         {set(CLEAR_R, 64, 1.0f, LINEAR), set(CLEAR_G, 64, 2.0f, LINEAR), set(CLEAR_B, 64, 3.0f, LINEAR)},
         clear_head + c0 + "  2:0      1       2       3       linear\n"},
        {clear_head + c0 + "  4:0      -       -       3       hold # c\n",
         {set(CLEAR_R, 64, 5.0f, HOLD), move(CLEAR_B, 128, 64)},
         clear_head + c0 + "  2:0      5       -       3       hold # c\n"},
        {CLEAR_TEXT,
         {move(CLEAR_R, 128, 160), move(CLEAR_G, 128, 160), move(CLEAR_B, 128, 160)},
         clear_head + c0 + note + "  5:0      0.03    0.04    0.1     hold\n" + c8},
        // a value that is already there keeps its spelling
        {"track fog\n  0 6e-2 hold\n", {set(FOG, 0, 0.06f, LINEAR)}, "track fog\n  0 6e-2 linear\n"},
        // several ops build on each other
        {FOG_TEXT,
         {set(FOG, 32, 1.0f, HOLD), move(FOG, 32, 64), remove(FOG, 0)},
         "track fog\n  2:0      1       hold\n" + FOG_TEXT.substr(34)},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::string result = "untouched", error;
        ASSERT_TRUE(apply_edits(timeline(c.before), c.ops, ROWS, result, error)) << error << "\n" << c.before;
        EXPECT_EQ(result, timeline(c.after)) << c.before;
        Timeline expected = read(timeline(c.before));
        ASSERT_TRUE(model_edits(expected, c.ops, ROWS));
        EXPECT_TRUE(same_timeline_keys(read(result), expected)) << result;
    }
}

TEST(TimelineEdit, RefusesBadEditsAndChangesNothing)
{
    const std::pair<std::vector<EditOp>, std::string> cases[] = {
        {{set(20, 0, 1.0f)}, "edit 1: unknown track 20"},
        {{set(-1, 0, 1.0f)}, "edit 1: unknown track -1"},
        {{set(FOG, -1, 1.0f)}, "edit 1: row -1 is outside 0..1099"},
        {{set(FOG, ROWS, 1.0f)}, "edit 1: row 1100 is outside 0..1099"},
        {{move(FOG, 0, ROWS)}, "edit 1: row 1100 is outside 0..1099"},
        {{remove(FOG, 1)}, "edit 1: track fog has no key at row 1"},
        {{move(CLEAR_B, 256, 300)}, "edit 1: track clear.b has no key at row 256"},
        {{move(FOG, 0, 832)}, "edit 1: track fog already has a key at row 832"},
        {{set(FOG, 0, NAN)}, "edit 1: value of track fog at row 0 is not a finite number"},
        {{set(FOG, 0, INFINITY)}, "edit 1: value of track fog at row 0 is not a finite number"},
        {{set(FOG, 0, 1.0f, 4)}, "edit 1: unknown interpolation 4"},
        {{set(FOG, 1, 1.0f)},
         "edit 1: track fog has no key at row 1, so a new key there needs an interpolation"},
        // the first edit would apply, the second takes it back with it
        {{remove(FOG, 0), remove(FOG, 0)}, "edit 2: track fog has no key at row 0"},
    };
    const std::string text = timeline(FOG_TEXT + CLEAR_TEXT);
    for (const auto& [ops, reason] : cases) {
        std::string result = "untouched", error;
        EXPECT_FALSE(apply_edits(text, ops, ROWS, result, error));
        EXPECT_EQ(error, reason);
        EXPECT_EQ(result, "untouched");
    }
    std::string result = "untouched", error;
    EXPECT_FALSE(apply_edits("track fog\n  0:0 1\n", {}, ROWS, result, error));
    EXPECT_EQ(error.rfind("the timeline does not read: line 2: ", 0), 0u) << error;
    EXPECT_EQ(result, "untouched");
}

// A patch finds its lines by their content: after lines added above, not where they stand twice,
// were changed, or would overlap another hunk's.
TEST(TimelinePatch, TakesBackOnlyLinesItFindsOnce)
{
    const TextPatch patch = {{{{"a\n", "b\n"}, {"a\n", "B\n"}, 0}, {{"c\n"}, {"C\n"}, 2}}};
    const std::pair<std::string, std::string> cases[] = {
        {"a\nB\nC\n", "a\nb\nc\n"}, {"new\na\nB\nx\nC\n", "new\na\nb\nx\nc\n"},
        {"a\nb\nC\n", ""},          {"a\nB\nC\na\nB\n", ""},
        {"a\nB\nC\r\n", ""},
    };
    for (const auto& [text, back] : cases) {
        std::string result = "untouched", error;
        EXPECT_EQ(revert_patch(text, patch, result, error), !back.empty()) << text;
        EXPECT_EQ(result, back.empty() ? "untouched" : back) << text;
    }
    const TextPatch overlapping = {{{{"x\n"}, {"a\n", "b\n"}, 0}, {{"y\n"}, {"b\n", "c\n"}, 1}}};
    std::string result = "untouched", error;
    EXPECT_FALSE(revert_patch("a\nb\nc\n", overlapping, result, error));
    EXPECT_EQ(result, "untouched");
}

std::string bundled_timeline()
{
    std::ifstream file(DATA_DIR "timeline.txt", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Each hunk's lines stand at its line in `text`.
bool hunks_stand_at_their_lines(const TextPatch& patch, const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return std::all_of(patch.hunks.begin(), patch.hunks.end(), [&](const TextPatch::Hunk& hunk) {
        return hunk.line + hunk.after.size() <= lines.size() &&
               std::equal(hunk.after.begin(), hunk.after.end(), lines.begin() + static_cast<long>(hunk.line));
    });
}

std::vector<EditOp> random_ops(std::mt19937& random, const Timeline& timeline, int count)
{
    const float values[] = {0.1f, -2.5f, 1.0f / 3, 1e-7f, 12345.678f, 0.0f, -0.0f, 3e38f};
    std::vector<EditOp> ops;
    for (int i = 0; i < count; ++i) {
        EditOp op;
        op.kind = static_cast<EditKind>(random() % 3);
        op.track = static_cast<int>(random() % 21);  // 20: an unknown track, now and then
        const std::vector<TrackKey>& keys = timeline.tracks[static_cast<size_t>(op.track % 20)].keys;
        const bool existing = random() % 4 != 0 && !keys.empty();
        op.row =
            existing ? keys[random() % keys.size()].row : static_cast<int32_t>(random() % (ROWS + 2)) - 1;
        op.to_row = random() % 3 == 0 && !keys.empty() ? keys[random() % keys.size()].row
                                                       : static_cast<int32_t>(random() % ROWS);
        op.value = values[random() % 8];
        op.interpolation = static_cast<int>(random() % 6) - 1;  // 4: an unknown one
        ops.push_back(op);
    }
    return ops;
}

// Random edits of the bundled timeline read back as the keys worked out apart from the text, and
// their patch takes them back to the very bytes (and does them again); also after an edit of
// another section above them, but never after an edit of their own lines.
TEST(TimelineEdit, RandomEditsOfTheBundledTimelineReadBackAndUndo)
{
    const std::string original = bundled_timeline();
    const Timeline keys = read(original);
    std::mt19937 random(17);
    int applied = 0, undone_after_other_edit = 0, refused = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const std::vector<EditOp> ops = random_ops(random, keys, 1 + trial % 4);
        Timeline expected = keys;
        const bool valid = model_edits(expected, ops, ROWS);
        std::string edited = "untouched", error, back, again;
        ASSERT_EQ(apply_edits(original, ops, ROWS, edited, error), valid) << trial << ": " << error;
        if (!valid) {
            EXPECT_EQ(edited, "untouched");
            continue;
        }
        ++applied;
        ASSERT_TRUE(same_timeline_keys(read(edited), expected)) << trial;
        const TextPatch patch = make_patch(original, edited);
        ASSERT_TRUE(hunks_stand_at_their_lines(patch, edited) &&
                    hunks_stand_at_their_lines(invert_patch(patch), original));
        ASSERT_TRUE(revert_patch(edited, patch, back, error)) << trial << ": " << error;
        ASSERT_EQ(back, original) << trial;
        ASSERT_TRUE(revert_patch(original, invert_patch(patch), again, error)) << error;
        ASSERT_EQ(again, edited) << trial;

        // A key added to the first section (the scene), when the edits left it alone.
        const bool scene_untouched =
            std::none_of(ops.begin(), ops.end(), [](const EditOp& op) { return op.track == SCENE; });
        std::string other, other_then_undone, other_alone;
        if (scene_untouched && apply_edits(edited, {set(SCENE, 3, 1.0f, HOLD)}, ROWS, other, error)) {
            ASSERT_TRUE(revert_patch(other, patch, other_then_undone, error)) << trial << ": " << error;
            ASSERT_TRUE(apply_edits(original, {set(SCENE, 3, 1.0f, HOLD)}, ROWS, other_alone, error));
            EXPECT_EQ(other_then_undone, other_alone) << trial;
            ++undone_after_other_edit;
        }
        // The first op's key set once more, to another value: its line is no longer the edit's.
        const EditOp& first = ops[0];
        const float again_value = 77.0f;
        if (ops.size() == 1 && first.kind == EditKind::Set && !patch.hunks.empty() &&
            apply_edits(edited, {set(first.track, first.row, again_value)}, ROWS, other, error)) {
            std::string kept = "untouched";
            EXPECT_FALSE(revert_patch(other, patch, kept, error)) << trial;
            EXPECT_EQ(kept, "untouched");
            ++refused;
        }
    }
    EXPECT_GT(applied, 120);
    EXPECT_GT(undone_after_other_edit, 100);
    EXPECT_GT(refused, 20);
}

}  // namespace
