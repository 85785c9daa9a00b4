// The undo and redo lists of the edits made through the editor. Each step is the patch of the
// lines one edit changed and the keys it changed, so that it can be taken back on a text that
// someone has changed elsewhere meanwhile, and refused when its own lines or keys were changed.
//
// Limits: at most HISTORY_STEPS steps and HISTORY_BYTES of their text in both lists together; the
// oldest go first, and a step larger than the whole budget is not kept. Plain data and functions;
// the caller holds whatever lock guards the lists. Saves made in a text editor are not steps: they
// are the text the steps apply to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "timeline/timeline.h"
#include "timeline/timeline_edit.h"

constexpr size_t HISTORY_STEPS = 200;
constexpr size_t HISTORY_BYTES = size_t{64} << 20;

// One key's place: a track (demo order) and a row.
struct KeyPlace {
    int track = 0;
    int32_t row = 0;
    bool operator==(const KeyPlace& other) const { return track == other.track && row == other.row; }
};

struct HistoryStep {
    TextPatch patch;             // as the edit made it
    std::vector<KeyPlace> keys;  // the keys whose row, value or interpolation it changed, sorted
    size_t bytes = 0;            // the text the patch holds
};

struct EditHistory {
    std::vector<HistoryStep> undo;  // the newest last
    std::vector<HistoryStep> redo;
    size_t bytes = 0;  // of every step in both lists
};

// The keys that differ between two timelines: present in one only, or with another value or
// interpolation. Sorted by track, then row.
std::vector<KeyPlace> changed_keys(const Timeline& a, const Timeline& b);

// A new edit, from the text and keys `before` to `after`: a step to undo, and nothing left to redo.
void history_record(EditHistory& history, const std::string& before, const Timeline& before_keys,
                    const std::string& after, const Timeline& after_keys);

// The newest step to undo (or redo); null when there is none.
const HistoryStep* history_next(const EditHistory& history, bool undo);

// The text that taking the step back (undo) or doing it again (redo) gives: false with a reason
// when its lines were changed meanwhile.
bool history_apply(const HistoryStep& step, bool undo, const std::string& text, std::string& result,
                   std::string& error);

// Once the result of history_apply is written: the step moves to the other list.
void history_commit(EditHistory& history, bool undo);

// A step that can no longer apply goes, so that the ones before it stay within reach.
void history_drop(EditHistory& history, bool undo);
