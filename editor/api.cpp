#include "editor/api.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

using nlohmann::json;
// Keys and samples are single precision; read as such they print as their shortest decimal.
using float_json =
    nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, float>;

namespace {

const char* const INTERPOLATION_NAMES[] = {"hold", "linear", "smooth", "ramp"};

template <typename Json> std::string text_of(const Json& value)
{
    // Comments and messages come from a file that may hold any bytes.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const char* interpolation_name(int32_t interpolation)
{
    return interpolation >= 0 && interpolation < 4 ? INTERPOLATION_NAMES[interpolation] : "hold";
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

bool row_in_range(int32_t row, int32_t rows, std::string& error)
{
    if (row >= 0 && row < rows)
        return true;
    error = "row " + std::to_string(row) + " is outside the music (0-" + std::to_string(rows - 1) + ")";
    return false;
}

bool parse_op(const json& item, EditOp& op, std::string& error)
{
    std::string kind;
    if (!item.is_object() || !string_field(item, "op", kind, error) || !track_field(item, op.track, error))
        return false;
    if (kind == "delete") {
        op.kind = EditKind::Delete;
        return whole_field(item, "row", op.row, error);
    }
    if (kind == "move") {
        op.kind = EditKind::Move;
        return whole_field(item, "from", op.row, error) && whole_field(item, "to", op.to_row, error);
    }
    if (kind != "set") {
        error = "unknown op \"" + kind + "\"";
        return false;
    }
    op.kind = EditKind::Set;
    double value = 0.0;
    if (!whole_field(item, "row", op.row, error) || !finite_field(item, "value", value, error))
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
    op.interpolation = interpolation_from_name(name);
    if (op.interpolation < 0)
        error = "unknown interpolation \"" + name + "\" (hold, linear, smooth or ramp)";
    return op.interpolation >= 0;
}

std::vector<TrackKey>::iterator key_at(std::vector<TrackKey>& keys, int32_t row)
{
    for (auto key = keys.begin(); key != keys.end(); ++key)
        if (key->row == row)
            return key;
    return keys.end();
}

// One dragged or typed value on the track's keys: the key at `from` (if given) goes, and the key
// at `row` takes the value, keeping the interpolation of the key it stands for.
bool preview_one(const json& item, int32_t rows, std::vector<TrackPreview>& previews, const Timeline& good,
                 std::string& error)
{
    int track = 0;
    int32_t row = 0;
    double value = 0.0;
    if (!item.is_object() || !track_field(item, track, error) || !whole_field(item, "row", row, error) ||
        !row_in_range(row, rows, error) || !finite_field(item, "value", value, error))
        return false;
    TrackPreview* preview = nullptr;
    for (TrackPreview& seen : previews)
        preview = seen.track == track ? &seen : preview;
    if (preview == nullptr) {
        previews.push_back({track, good.tracks[static_cast<size_t>(track)].keys});
        preview = &previews.back();
    }
    std::vector<TrackKey>& keys = preview->keys;
    int32_t interpolation = static_cast<int32_t>(KeyInterpolation::Linear);
    if (item.find("from") != item.end()) {
        int32_t from = 0;
        if (!whole_field(item, "from", from, error))
            return false;
        const auto moved = key_at(keys, from);
        if (moved == keys.end()) {
            error = "no key at row " + std::to_string(from);
            return false;
        }
        interpolation = moved->interpolation;
        keys.erase(moved);
    }
    const auto existing = key_at(keys, row);
    if (existing != keys.end()) {
        existing->value = static_cast<float>(value);
        return true;
    }
    auto place = keys.begin();
    while (place != keys.end() && place->row < row)
        ++place;
    keys.insert(place, TrackKey{row, static_cast<float>(value), interpolation});
    return true;
}

// Each "track" line starts a section; the comment line just above it, if any, describes it.
float_json sections_of(const std::string& text, std::vector<int>& section_of_track)
{
    float_json sections = float_json::array();
    std::string previous;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t first = line.find_first_not_of(" \t\r");
        const std::string trimmed = first == std::string::npos ? "" : line.substr(first);
        if (trimmed.compare(0, 6, "track ") == 0 || trimmed.compare(0, 6, "track\t") == 0) {
            float_json names = float_json::array();
            size_t at = 5;
            const std::string words = trimmed.substr(0, trimmed.find('#'));
            while ((at = words.find_first_not_of(" \t\r", at)) != std::string::npos) {
                const size_t stop = words.find_first_of(" \t\r", at);
                const std::string name = words.substr(at, stop - at);
                const int track = track_index(name);
                if (track >= 0)
                    section_of_track[static_cast<size_t>(track)] = static_cast<int>(sections.size());
                names.push_back(name);
                at = stop;
            }
            std::string comment;
            if (!previous.empty() && previous[0] == '#')
                comment = previous.substr(previous.find_first_not_of("# \t") == std::string::npos
                                              ? previous.size()
                                              : previous.find_first_not_of("# \t"));
            sections.push_back({{"tracks", names}, {"comment", comment}});
        }
        previous = trimmed;
        while (!previous.empty() && (previous.back() == '\r' || previous.back() == ' '))
            previous.pop_back();
    }
    return sections;
}

}  // namespace

int interpolation_from_name(const std::string& name)
{
    for (int i = 0; i < 4; ++i)
        if (name == INTERPOLATION_NAMES[i])
            return i;
    return -1;
}

std::string error_json(const std::string& reason)
{
    return text_of(json{{"error", reason}});
}

std::string version_json(uint64_t version)
{
    return text_of(json{{"version", version}});
}

std::string timeline_json(const LiveSnapshot& snapshot, const std::string& load_message, int32_t rows)
{
    std::vector<int> section_of_track(TIMELINE_TRACK_COUNT, -1);
    float_json sections = sections_of(snapshot.text ? *snapshot.text : std::string(), section_of_track);
    float_json tracks = float_json::array();
    if (snapshot.good) {
        for (size_t k = 0; k < snapshot.good->tracks.size(); ++k) {
            const TrackData& track = snapshot.good->tracks[k];
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
        if (!parse_op(item, op, error))
            return false;
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
    if (request.is_object())
        return preview_one(request, rows, previews, good, error);
    for (const json& item : request)
        if (!preview_one(item, rows, previews, good, error))
            return false;
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
