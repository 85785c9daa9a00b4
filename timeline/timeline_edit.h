// Edits of the timeline text that keep everything they do not change: the editor's server applies
// key edits here and writes the result back over the file. The text stays the truth; the model is
// always read back from it with parse_timeline.
//
// An edit rewrites only the lines of the keys it changes: comments, blank lines, order and
// alignment of every other line stay byte for byte. Values are written as the shortest decimal
// that reads back to the same float; a new row in the notation its section already uses. Pure
// functions over strings, like timeline.h; nothing here touches files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "timeline/timeline.h"

enum class EditKind { Set, Delete, Move };

// One change of one key. Set inserts a key at `row` or replaces the one there (keeping its
// interpolation when `interpolation` is -1, which a new key therefore cannot have); Delete removes
// the key at `row`; Move takes the key at `row` to `to_row` with its value and interpolation.
struct EditOp {
    EditKind kind = EditKind::Set;
    int track = 0;  // index in demo order (track_index)
    int32_t row = 0;
    int32_t to_row = 0;      // Move only
    float value = 0.0f;      // Set only
    int interpolation = -1;  // Set only: a KeyInterpolation, or -1 to keep the key's own
};

// Whether `op` applies to `timeline` as it stands: false with a one-line reason for an unknown
// track, a row outside [0, row_count), no key at the row (Delete, Move), a move onto another key, a
// value that is not finite, an unknown interpolation, or a new key without one. apply_edits refuses
// exactly these; a preview of keys checks with it too, so that it shows nothing an edit refuses.
bool check_edit(const Timeline& timeline, const EditOp& op, int32_t row_count, std::string& why);

// Applies all ops in order to `text`, which must parse. Rows must lie in [0, row_count). On
// success `result` is the new text and true is returned; otherwise false with a one-line reason in
// `error` ("edit N: " and check_edit's reason, or a text that does not parse) and `result`
// untouched. Either every op applies or none does.
//
// Where keys go: a changed value replaces only its field (the spaces after it absorb the change in
// length); a key line of several tracks loses a key by writing "-" and goes when only "-" is left; a
// key that changes row or interpolation on such a line moves to a line of its own. A new key fills
// the "-" of a line at its row with its interpolation, or gets a line after the last key line at or
// before its row, aligned like the nearest key line of its section. Keys that one call puts at one
// row with one interpolation in one section end on one line whatever the order of the ops (unless
// two of those lines hold a comment each); lines it did not write are never joined.
bool apply_edits(const std::string& text, const std::vector<EditOp>& ops, int32_t row_count,
                 std::string& result, std::string& error);

// The lines that one edit replaced, each with its line ending, with at least a line of context on
// either side: more where needed so that the hunk's lines stand only once in the text, which lets
// the edit be taken back (or done again) on a text that others have changed elsewhere meanwhile.
struct TextPatch {
    struct Hunk {
        std::vector<std::string> before;  // lines, context included, as they were
        std::vector<std::string> after;   // the same place as the edit left it
        size_t line = 0;                  // 0-based line where `after` started in the edited text
    };
    std::vector<Hunk> hunks;
};

// The patch that turns `before` into `after`.
TextPatch make_patch(const std::string& before, const std::string& after);

// Takes a patch back on `text`: every hunk's `after` lines must stand exactly once in `text` (where
// the hunk left them, or moved by lines added or removed elsewhere), and are replaced by its
// `before` lines. False with a reason when any of them was changed meanwhile (or now stands twice);
// `result` is then untouched. Redo is revert_patch with the patch's before and after swapped
// (invert_patch).
bool revert_patch(const std::string& text, const TextPatch& patch, std::string& result, std::string& error);
TextPatch invert_patch(const TextPatch& patch);
