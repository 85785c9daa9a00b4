#include "editor/api.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

using nlohmann::json;
// Keys and samples are single precision; read as such they print as their shortest decimal.
using float_json =
    nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, float>;

namespace {

template <typename Json> std::string text_of(const Json& value)
{
    // Comments and messages come from a file that may hold any bytes.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A field that must be a whole number within int32.
bool whole_field(const json& object, const char* name, int32_t& out, std::string& error)
{
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number()) {
        error = std::string("\"") + name + "\" must be a whole number";
        return false;
    }
    const double value = found->get<double>();
    if (!(value == std::floor(value)) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        error = std::string("\"") + name + "\" must be a whole number";
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

bool finite_field(const json& object, const char* name, double& out, std::string& error)
{
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number() || !std::isfinite(found->get<double>())) {
        error = std::string("\"") + name + "\" must be a finite number";
        return false;
    }
    out = found->get<double>();
    return true;
}

bool string_field(const json& object, const char* name, std::string& out, std::string& error)
{
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string()) {
        error = std::string("\"") + name + "\" must be a string";
        return false;
    }
    out = found->get<std::string>();
    return true;
}

bool track_field(const json& object, int& track, std::string& error)
{
    std::string name;
    if (!string_field(object, "track", name, error))
        return false;
    track = track_index(name);
    if (track < 0)
        error = "unknown track \"" + name + "\"";
    return track >= 0;
}

// The fields of a key that a set and a preview share: "track", "row", "value" (as the float the
// key will hold) and an optional "interp" (-1 when left out).
bool key_fields(const json& item, EditOp& op, std::string& error)
{
    double value = 0.0;
    if (!track_field(item, op.track, error) || !whole_field(item, "row", op.row, error) ||
        !finite_field(item, "value", value, error))
        return false;
    op.value = static_cast<float>(value);
    if (!std::isfinite(op.value)) {
        error = "\"value\" is beyond single precision";
        return false;
    }
    op.interpolation = -1;
    if (item.find("interp") == item.end())
        return true;
    std::string name;
    if (!string_field(item, "interp", name, error))
        return false;
    op.interpolation = parse_interpolation(name);
    if (op.interpolation < 0)
        error = "unknown interpolation \"" + name + "\" (hold, linear, smooth or ramp)";
    return op.interpolation >= 0;
}

bool parse_op(const json& item, EditOp& op, std::string& error)
{
    if (!item.is_object()) {
        error = R"(an op must be an object such as {"op": "delete", "track": "fog", "row": 0})";
        return false;
    }
    const auto kind = item.find("op");
    if (kind == item.end() || !kind->is_string()) {
        error = R"("op" must be "set", "delete" or "move")";
        return false;
    }
    if (*kind == "set") {
        op.kind = EditKind::Set;
        return key_fields(item, op, error);
    }
    if (*kind != "delete" && *kind != "move") {
        error = "unknown op " + text_of(*kind) + " (set, delete or move)";
        return false;
    }
    if (!track_field(item, op.track, error))
        return false;
    if (*kind == "delete") {
        op.kind = EditKind::Delete;
        return whole_field(item, "row", op.row, error);
    }
    op.kind = EditKind::Move;
    return whole_field(item, "from", op.row, error) && whole_field(item, "to", op.to_row, error);
}

// One dragged or typed value on the keys `shown`: the key at `from` (if given) goes, and the key at
// `row` takes the value, keeping the interpolation of the key it stands for unless "interp" names
// one. Checked as the edit that would make it is, so that no preview shows what an edit refuses.
bool preview_one(const json& item, int32_t rows, Timeline& shown, std::vector<int>& touched,
                 std::string& error)
{
    EditOp op;
    if (!item.is_object()) {
        error = R"(a preview must be an object such as {"track": "fog", "row": 0, "value": 1})";
        return false;
    }
    if (!key_fields(item, op, error))
        return false;
    std::vector<TrackKey>& keys = shown.tracks[static_cast<size_t>(op.track)].keys;
    const auto key_at = [&](int32_t row) {
        return std::find_if(keys.begin(), keys.end(), [row](const TrackKey& key) { return key.row == row; });
    };
    if (item.find("from") != item.end()) {
        EditOp drop{EditKind::Delete, op.track, 0, 0, 0.0f, -1};
        if (!whole_field(item, "from", drop.row, error) || !check_edit(shown, drop, rows, error))
            return false;
        const auto moved = key_at(drop.row);
        op.interpolation = op.interpolation < 0 ? moved->interpolation : op.interpolation;
        keys.erase(moved);
    }
    if (!check_edit(shown, op, rows, error))
        return false;
    if (std::find(touched.begin(), touched.end(), op.track) == touched.end())
        touched.push_back(op.track);
    const auto existing = key_at(op.row);
    if (existing != keys.end()) {
        existing->value = op.value;
        existing->interpolation = op.interpolation < 0 ? existing->interpolation : op.interpolation;
        return true;
    }
    const auto place =
        std::find_if(keys.begin(), keys.end(), [&](const TrackKey& key) { return key.row > op.row; });
    keys.insert(place, TrackKey{op.row, op.value, op.interpolation});
    return true;
}

// The text's sections as the answer lists them, and the section of each track (-1 if none).
float_json sections_of(const std::string& text, std::vector<int>& section_of_track)
{
    float_json sections = float_json::array();
    for (const TimelineSection& section : timeline_sections(text)) {
        for (const std::string& name : section.tracks) {
            const int track = track_index(name);
            if (track >= 0)
                section_of_track[static_cast<size_t>(track)] = static_cast<int>(sections.size());
        }
        sections.push_back({{"tracks", section.tracks}, {"comment", section.comment}});
    }
    return sections;
}

}  // namespace

std::string error_json(const std::string& reason)
{
    return text_of(json{{"error", reason}});
}

std::string version_json(uint64_t version)
{
    return text_of(json{{"version", version}});
}

namespace {

bool same_keys(const std::vector<TrackKey>& a, const std::vector<TrackKey>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const TrackKey& x, const TrackKey& y) {
        return x.row == y.row && x.value == y.value && x.interpolation == y.interpolation;
    });
}

}  // namespace

std::string timeline_json(const LiveSnapshot& snapshot, const std::string& load_message, int32_t rows,
                          uint64_t since_version, const Timeline* since)
{
    std::vector<int> section_of_track(TIMELINE_TRACK_COUNT, -1);
    float_json sections = sections_of(snapshot.text ? *snapshot.text : std::string(), section_of_track);
    float_json tracks = float_json::array();
    if (snapshot.good) {
        for (size_t k = 0; k < snapshot.good->tracks.size(); ++k) {
            const TrackData& track = snapshot.good->tracks[k];
            if (since != nullptr && k < since->tracks.size() &&
                same_keys(track.keys, since->tracks[k].keys)) {
                tracks.push_back({{"name", track.name}, {"section", section_of_track[k]}, {"same", true}});
                continue;
            }
            float_json keys = float_json::array();
            for (const TrackKey& key : track.keys)
                keys.push_back({{"row", key.row},
                                {"value", key.value},
                                {"interp", interpolation_name(key.interpolation)}});
            float_json samples = float_json::array();
            for (int32_t row = 0; row < rows; ++row)
                samples.push_back(static_cast<float>(keys_value(track.keys, static_cast<double>(row))));
            tracks.push_back({{"name", track.name},
                              {"section", section_of_track[k]},
                              {"keys", std::move(keys)},
                              {"samples", std::move(samples)}});
        }
    }
    float_json answer = {{"version", snapshot.version},
                         {"rows", rows},
                         {"load", {{"ok", snapshot.load_ok}, {"message", load_message}}},
                         {"editable", snapshot.load_ok && snapshot.good != nullptr},
                         {"tracks", std::move(tracks)},
                         {"sections", std::move(sections)}};
    if (since != nullptr)
        answer["since"] = since_version;
    return text_of(answer);
}

bool is_json_object(const std::string& body)
{
    const json value = json::parse(body, nullptr, false);
    return !value.is_discarded() && value.is_object();
}

bool parse_edit(const std::string& body, uint64_t& version, std::vector<EditOp>& ops, std::string& error)
{
    const json request = json::parse(body, nullptr, false);
    if (request.is_discarded() || !request.is_object()) {
        error = "the body is not a JSON object";
        return false;
    }
    const auto found_version = request.find("version");
    const auto found_ops = request.find("ops");
    if (found_version == request.end() || !found_version->is_number_unsigned()) {
        error = "\"version\" must be the timeline's version";
        return false;
    }
    if (found_ops == request.end() || !found_ops->is_array() || found_ops->empty()) {
        error = "\"ops\" must be a list of edits";
        return false;
    }
    version = found_version->get<uint64_t>();
    ops.clear();
    for (const json& item : *found_ops) {
        EditOp op;
        if (!parse_op(item, op, error)) {
            error = "edit " + std::to_string(ops.size() + 1) + ": " + error;
            return false;
        }
        ops.push_back(op);
    }
    return true;
}

bool parse_preview(const std::string& body, const Timeline& good, int32_t rows,
                   std::vector<TrackPreview>& previews, std::string& error)
{
    const json request = json::parse(body, nullptr, false);
    previews.clear();
    if (request.is_discarded() || !(request.is_object() || request.is_array())) {
        error = "the body is not a JSON object or list";
        return false;
    }
    Timeline shown = good;
    std::vector<int> touched;
    if (request.is_object() && !preview_one(request, rows, shown, touched, error))
        return false;
    for (size_t i = 0; request.is_array() && i < request.size(); ++i) {
        if (!preview_one(request[i], rows, shown, touched, error)) {
            error = "preview " + std::to_string(i + 1) + ": " + error;
            return false;
        }
    }
    for (int track : touched)
        previews.push_back({track, std::move(shown.tracks[static_cast<size_t>(track)].keys)});
    return true;
}

bool parse_transport(const std::string& body, int32_t rows, TransportRequest& request, std::string& error)
{
    const json item = json::parse(body, nullptr, false);
    std::string action;
    if (item.is_discarded() || !item.is_object() || !string_field(item, "action", action, error)) {
        error = item.is_discarded() || !item.is_object() ? "the body is not a JSON object" : error;
        return false;
    }
    request = TransportRequest{};
    if (action == "pause" || action == "play") {
        request.action = action == "pause" ? TransportAction::Pause : TransportAction::Play;
        return true;
    }
    if (action == "seek") {
        request.action = TransportAction::Seek;
        if (!finite_field(item, "row", request.row, error))
            return false;
        if (request.row >= 0.0 && request.row < static_cast<double>(rows))
            return true;
        error = "row " + std::to_string(request.row) + " is outside the music";
        return false;
    }
    if (action != "loop") {
        error = "unknown action \"" + action + "\" (pause, play, seek or loop)";
        return false;
    }
    request.action = TransportAction::Loop;
    const auto on = item.find("on");
    if (on != item.end() && !on->is_boolean()) {
        error = "\"on\" must be true or false";
        return false;
    }
    request.loop_on = on == item.end() || on->get<bool>();
    if (!request.loop_on)
        return true;
    if (!whole_field(item, "first_bar", request.first_bar, error) ||
        !whole_field(item, "last_bar", request.last_bar, error))
        return false;
    const int32_t bars = (rows + ROWS_PER_BAR - 1) / ROWS_PER_BAR;
    if (request.first_bar < 0 || request.last_bar < request.first_bar || request.last_bar >= bars) {
        error = "the loop must run over bars 0-" + std::to_string(bars - 1) + ", first to last";
        return false;
    }
    return true;
}
