// The editor's changes of the live timeline, as transactions: each checks that the writer saw the
// version that runs now, makes the new text, compiles it, writes it over the file only if the file
// still holds that version's bytes (so a text editor's save is never replaced unseen), records the
// step, hands the keys to the frame loop and waits until they are installed.
//
// One transaction at a time; each holds its calling thread for at most `timeout_s` of waiting for
// the frame loop, never the frame loop itself. Nothing here knows HTTP: the server turns a status
// into its answer. Rows are music positions in [0, rows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "timeline/timeline_edit.h"

enum class LiveStatus {
    Ok,           // written and installed: `version` runs now (or nothing needed changing)
    BadRequest,   // the ops cannot apply to that version's text
    Conflict,     // another version, a mistake in the file, a save on disk, or history that no longer applies
    Failed,       // the file could not be written: nothing changed
    Unavailable,  // the demo is ending; the file may have been written (`error` says)
};

struct LiveAnswer {
    LiveStatus status = LiveStatus::Ok;
    std::string error;  // one line, for a person
    uint64_t version = 0;
};

// Applies `ops` to the text of `version`.
LiveAnswer live_edit(uint64_t version, const std::vector<EditOp>& ops, int32_t rows, double timeout_s);

// Takes the newest edit back (undo) or does the newest undone one again (redo). A step whose lines
// or keys a text editor has changed since is refused, says which, and is dropped, so that the
// steps before it stay within reach.
LiveAnswer live_undo(bool undo, double timeout_s);
