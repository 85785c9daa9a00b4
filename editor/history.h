// The undo and redo lists of the edits made through the editor's API. Each step is the patch of
// the lines one request changed, so it can be taken back on a text that someone has changed
// elsewhere meanwhile, and is refused when its own lines were changed.
//
// Plain data and functions; the caller holds whatever lock guards the lists. Saves made in a text
// editor are not steps: they are the text the steps apply to.
#pragma once

#include <string>
#include <vector>

#include "timeline/timeline_edit.h"

constexpr size_t HISTORY_STEPS = 200;  // the oldest step goes beyond this

struct EditHistory {
    std::vector<TextPatch> undo;  // the newest last
    std::vector<TextPatch> redo;
};

// A new edit: a step to undo, and nothing left to redo.
void history_record(EditHistory& history, TextPatch patch);

// The text that undoing (or redoing) the newest step gives. False when there is no step (`error`
// empty) or its lines were changed meanwhile (`error` says how); `result` is then untouched.
bool history_apply(const EditHistory& history, bool undo, const std::string& text, std::string& result,
                   std::string& error);

// Once the result of history_apply is written: the step moves to the other list.
void history_commit(EditHistory& history, bool undo);
