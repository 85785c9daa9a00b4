// The editor API's requests: what each reads into, and each refusal's one-line reason.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "editor/api.h"

namespace {

constexpr int32_t ROWS = 100;  // the music's length in rows for these cases

// Twenty empty tracks but clear.r: a hold key at 0 and a linear one at 64.
Timeline small_timeline()
{
    Timeline timeline;
    for (const char* name : TIMELINE_TRACK_NAMES)
        timeline.tracks.push_back({name, {}});
    timeline.tracks[TRACK_CLEAR_R].keys = {{0, 0.25f, 0}, {64, 0.5f, 1}};
    return timeline;
}

std::string read(const std::string& kind, const std::string& body)
{
    std::string error;
    std::ostringstream seen;
    if (kind == "edit") {
        uint64_t version = 0;
        std::vector<EditOp> ops;
        if (!parse_edit(body, version, ops, error))
            return error;
        seen << "v" << version;
        for (const EditOp& op : ops)
            seen << " " << static_cast<int>(op.kind) << ":" << op.track << ":" << op.row << ":" << op.to_row
                 << ":" << op.value << ":" << op.interpolation;
    } else if (kind == "preview") {
        std::vector<TrackPreview> previews;
        if (!parse_preview(body, small_timeline(), ROWS, previews, error))
            return error;
        for (const TrackPreview& preview : previews) {
            seen << TIMELINE_TRACK_NAMES[preview.track];
            for (const TrackKey& key : preview.keys)
                seen << " " << key.row << ":" << key.value << ":" << key.interpolation;
        }
    } else {
        TransportRequest request;
        if (!parse_transport(body, ROWS, request, error))
            return error;
        seen << static_cast<int>(request.action) << " " << request.row << " " << request.first_bar << "-"
             << request.last_bar << " " << request.loop_on;
    }
    return seen.str();
}

}  // namespace

TEST(EditorApi, RequestsAreReadOrRefusedWithAReason)
{
    struct Case {
        const char* kind;
        std::string body;
        std::string expected;  // what was read (kinds: set 0, delete 1, move 2) or the reason
    };
    // clang-format off
    const Case cases[] = {
        {"edit", R"({"version": 3, "ops": [{"op": "set", "track": "clear.r", "row": 64, "value": 0.5}]})", "v3 0:1:64:0:0.5:-1"},
        {"edit", R"({"version": 3, "ops": [{"op": "set", "track": "fog", "row": 2, "value": -1, "interp": "smooth"},
                                            {"op": "delete", "track": "scene", "row": 7},
                                            {"op": "move", "track": "text.i", "from": 8, "to": 9}]})",
         "v3 0:17:2:0:-1:2 1:0:7:0:0:-1 2:18:8:9:0:-1"},
        {"edit", "{", "the body is not a JSON object"},
        {"edit", "[]", "the body is not a JSON object"},
        {"edit", R"({"ops": [{"op": "delete", "track": "fog", "row": 1}]})", "\"version\" must be the timeline's version"},
        {"edit", R"({"version": -1, "ops": [{"op": "delete", "track": "fog", "row": 1}]})", "\"version\" must be the timeline's version"},
        {"edit", R"({"version": 1, "ops": []})", "\"ops\" must be a list of edits"},
        {"edit", R"({"version": 1, "ops": [{"op": "delete", "track": "nope", "row": 1}]})", "edit 1: unknown track \"nope\""},
        {"edit", R"({"version": 1, "ops": [{"op": "delete", "track": "fog", "row": 1.5}]})", "edit 1: \"row\" must be a whole number"},
        {"edit", R"({"version": 1, "ops": [{"op": "delete", "track": "fog", "row": "1"}]})", "edit 1: \"row\" must be a whole number"},
        {"edit", R"({"version": 1, "ops": [{"op": "move", "track": "fog", "from": 1}]})", "edit 1: \"to\" must be a whole number"},
        {"edit", R"({"version": 1, "ops": [{"op": "set", "track": "fog", "row": 1}]})", "edit 1: \"value\" must be a finite number"},
        {"edit", R"({"version": 1, "ops": [{"op": "set", "track": "fog", "row": 1, "value": 1e39}]})",
         "edit 1: \"value\" is beyond single precision"},
        {"edit",
         R"({"version": 1, "ops": [{"op": "set", "track": "fog", "row": 1, "value": 1, "interp": "cubic"}]})",
         "edit 1: unknown interpolation \"cubic\" (hold, linear, smooth or ramp)"},
        {"edit", R"({"version": 1, "ops": [{"op": "copy", "track": "nope", "row": 1}]})",
         "edit 1: unknown op \"copy\" (set, delete or move)"},
        {"edit", R"({"version": 1, "ops": [1]})",
         "edit 1: an op must be an object such as {\"op\": \"delete\", \"track\": \"fog\", \"row\": 0}"},
        {"edit", R"({"version": 1, "ops": [{"op": "delete", "track": "fog", "row": 1}, {"op": [[{}]]}]})",
         "edit 2: \"op\" must be \"set\", \"delete\" or \"move\""},
        // Previews start from the last good keys and keep the interpolation of the key they stand for.
        {"preview", R"({"track": "clear.r", "row": 64, "value": 0.75})", "clear.r 0:0.25:0 64:0.75:1"},
        {"preview", R"({"track": "clear.r", "row": 10, "value": 0.75, "interp": "smooth"})", "clear.r 0:0.25:0 10:0.75:2 64:0.5:1"},
        {"preview", R"({"track": "clear.r", "from": 0, "row": 80, "value": 1})", "clear.r 64:0.5:1 80:1:0"},
        {"preview",
         R"([{"track": "clear.r", "row": 64, "value": 2}, {"track": "clear.r", "from": 64, "row": 65,
                        "value": 3}])",
         "clear.r 0:0.25:0 65:3:1"},
        {"preview", R"({"track": "clear.r", "from": 30, "row": 31, "value": 1})", "track clear.r has no key at row 30"},
        {"preview", R"({"track": "clear.r", "row": 64, "value": 1, "interp": "cubic"})",
         "unknown interpolation \"cubic\" (hold, linear, smooth or ramp)"},
        // a preview refuses what an edit refuses, for the same reason
        {"preview", R"({"track": "fog", "row": 1, "value": 1e39})", "\"value\" is beyond single precision"},
        {"preview", R"({"track": "clear.r", "row": 10, "value": 1})",
         "track clear.r has no key at row 10, so a new key there needs an interpolation"},
        {"preview", R"({"track": "clear.r", "from": 64, "row": -1, "value": 1})", "row -1 is outside 0..99"},
        {"preview", R"([{"track": "clear.r", "row": 64, "value": 1}, [2]])",
         "preview 2: a preview must be an object such as {\"track\": \"fog\", \"row\": 0, \"value\": 1}"},
        {"preview", R"({"track": "clear.r", "row": 1, "value": "1"})", "\"value\" must be a finite number"},
        {"preview", "7", "the body is not a JSON object or list"},
        // Actions: pause 0, play 1, seek 2, loop 3.
        {"transport", R"({"action": "seek", "row": 96.5})", "2 96.5 0-0 1"},
        {"transport", R"({"action": "seek", "row": 100})", "row 100.000000 is outside the music"},
        {"transport", R"({"action": "loop", "first_bar": 1, "last_bar": 3})", "3 0 1-3 1"},
        {"transport", R"({"action": "loop", "on": false})", "3 0 0-0 0"},
        {"transport", R"({"action": "loop", "first_bar": 2, "last_bar": 1})", "the loop must run over bars 0-3, first to last"},
        {"transport", R"({"action": "loop", "first_bar": 0, "last_bar": 4})", "the loop must run over bars 0-3, first to last"},
        {"transport", R"({"action": "stop"})", "unknown action \"stop\" (pause, play, seek or loop)"},
        {"transport", R"({"row": 1})", "\"action\" must be a string"},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(read(c.kind, c.body), c.expected) << c.body;
}
