// Fuzz target: key edits on the timeline text. The input is a count byte, that many edits of 8
// bytes each, then a timeline text. The edits apply exactly when the text parses and the keys alone
// accept them; the edited text then reads back as exactly the keys worked out apart from the text,
// and its patch takes it back to the very bytes and does it again. A refused edit leaves the
// result alone.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/timeline/key_model.h"
#include "timeline/timeline_edit.h"

namespace {

constexpr int32_t ROWS = 1100;
constexpr size_t OP_BYTES = 8, MAX_OPS = 8;

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A row from two bytes: mostly a row that holds a key of the track (where edits have something to
// do), else any row, one past either end included.
int32_t pick_row(const uint8_t* bytes, const Timeline& timeline, int track)
{
    const unsigned n = bytes[0] | static_cast<unsigned>(bytes[1]) << 8;
    if (track >= 0 && track < static_cast<int>(timeline.tracks.size()) && (n & 0x8000) == 0) {
        const std::vector<TrackKey>& keys = timeline.tracks[static_cast<size_t>(track)].keys;
        if (!keys.empty())
            return keys[n % keys.size()].row;
    }
    return static_cast<int32_t>(n % (ROWS + 2)) - 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t count = std::min<size_t>(data[0] % (MAX_OPS + 1), (size - 1) / OP_BYTES);
    const uint8_t* text_start = data + 1 + count * OP_BYTES;
    const std::string text(reinterpret_cast<const char*>(text_start),
                           size - static_cast<size_t>(text_start - data));
    Timeline keys;
    ParseError parse_error;
    const bool parsed = parse_timeline(text, keys, parse_error);

    const float values[] = {0.1f, -2.5f, 1.0f / 3, 1e-7f, 3e38f, -0.0f, NAN, INFINITY};
    std::vector<EditOp> ops;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* b = data + 1 + i * OP_BYTES;
        EditOp op;
        op.kind = static_cast<EditKind>(b[0] % 3);
        op.track = b[1] % (TIMELINE_TRACK_COUNT + 2) - 1;
        op.row = pick_row(b + 2, keys, op.track);
        op.to_row = pick_row(b + 4, keys, op.track);
        op.value = values[b[6] % 8];
        op.interpolation = b[7] % 6 - 1;
        ops.push_back(op);
    }

    std::string edited = "untouched", error;
    Timeline expected = keys;
    const bool valid = parsed && model_edits(expected, ops, ROWS);
    const bool applied = apply_edits(text, ops, ROWS, edited, error);
    check(applied == valid);
    if (!applied) {
        check(edited == "untouched" && !error.empty());
        return 0;
    }
    Timeline back_keys;
    check(parse_timeline(edited, back_keys, parse_error) && same_timeline_keys(back_keys, expected));
    const TextPatch patch = make_patch(text, edited);
    std::string back, again;
    check(revert_patch(edited, patch, back, error) && back == text);
    check(revert_patch(text, invert_patch(patch), again, error) && again == edited);
    return 0;
}
