// The editor's API as JSON: the answers the server builds and the requests it reads. Pure
// functions over strings and the timeline; the server decides the status of each answer.
//
// Reading never throws and never trusts a field it has not checked: a malformed body, a missing
// field or a value of the wrong kind gives false and a one-line reason. Rows are music positions
// and must lie in [0, rows) where `rows` is the music's length in rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "live/live_timeline.h"
#include "timeline/timeline_edit.h"

// What the page asks of the transport; the shell carries it out on the frame loop.
enum class TransportAction { Pause, Play, Seek, Loop };
struct TransportRequest {
    TransportAction action = TransportAction::Pause;
    double row = 0.0;  // Seek
    int32_t first_bar = 0;
    int32_t last_bar = 0;
    bool loop_on = true;
};

// {"error": REASON} and {"version": V}.
std::string error_json(const std::string& reason);
std::string version_json(uint64_t version);

// The whole GET /api/timeline answer: version, rows, the last load (with `load_message` as the
// page shows it), every track's keys with the demo's own value at every whole row, and the text's
// sections. With `since` (the keys of version `since_version`), a track whose keys are the same
// there is only its name, its section and "same": true, and the answer says "since".
std::string timeline_json(const LiveSnapshot& snapshot, const std::string& load_message, int32_t rows,
                          uint64_t since_version = 0, const Timeline* since = nullptr);

// Whether the body is a JSON object (undo and redo take "{}").
bool is_json_object(const std::string& body);

// POST /api/edit: {"version": V, "ops": [...]}. A refused op's reason starts "edit N: " (1-based);
// whether an op fits the timeline (rows, keys there, a new key's interpolation) is apply_edits'.
bool parse_edit(const std::string& body, uint64_t& version, std::vector<EditOp>& ops, std::string& error);

// POST /api/preview: one entry or a list; the keys each named track shows, starting from `good`.
// Each entry is checked with check_edit as the set that would make it ("preview N: " in a list),
// so a preview refuses exactly what an edit refuses.
bool parse_preview(const std::string& body, const Timeline& good, int32_t rows,
                   std::vector<TrackPreview>& previews, std::string& error);

// POST /api/transport.
bool parse_transport(const std::string& body, int32_t rows, TransportRequest& request, std::string& error);
