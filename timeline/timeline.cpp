// Timeline text parser, track file encoder/decoder and printer (see timeline.h).
#include "timeline/timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "sync/track_value.h"
#include "timeline/timeline_syntax.h"

namespace {

constexpr int64_t ROW_LIMIT = INT32_MAX;
constexpr size_t MAX_DIGITS = 10;  // more digits than this cannot fit a 32-bit row
const char* const INTERPOLATION_NAMES[] = {"hold", "linear", "smooth", "ramp"};
constexpr int INTERPOLATION_COUNT = 4;

// A run of 1 to MAX_DIGITS decimal digits as a number; false if empty, too long or not digits.
bool parse_digits(const std::string& text, int64_t& out)
{
    if (text.empty() || text.size() > MAX_DIGITS)
        return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

// A plain decimal number: optional sign, digits with an optional fraction, optional exponent.
// Refuses what strtof would also take but an author would not mean: hex, inf, nan, spaces.
bool is_decimal(const std::string& text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        size_t exp_digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++exp_digits;
        }
        if (exp_digits == 0)
            return false;
    }
    return i == text.size();
}

// Field text for messages: long or binary fields are cut and escaped so the line stays one line.
std::string quoted(const std::string& text)
{
    constexpr size_t SHOWN = 40;
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < SHOWN; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (text.size() > SHOWN)
        out += "...";
    return out + "\"";
}

bool fail(ParseError& error, int line, const std::string& reason)
{
    error.line = line;
    error.reason = reason;
    return false;
}

void put_u32(std::vector<unsigned char>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

uint32_t get_u32(const std::vector<unsigned char>& in, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(in[at + i]) << (8 * i);
    return v;
}

}  // namespace

std::vector<FieldSpan> line_fields(const std::string& line)
{
    std::vector<FieldSpan> fields;
    const size_t limit = std::min(line.find('#'), line.size());
    const auto blank = [&](size_t i) { return line[i] == ' ' || line[i] == '\t' || line[i] == '\r'; };
    size_t i = 0;
    while (i < limit) {
        while (i < limit && blank(i))
            ++i;
        const size_t start = i;
        while (i < limit && !blank(i))
            ++i;
        if (i > start)
            fields.push_back({start, i});
    }
    return fields;
}

int parse_interpolation(const std::string& text)
{
    for (int i = 0; i < INTERPOLATION_COUNT; ++i) {
        if (text == INTERPOLATION_NAMES[i])
            return i;
    }
    return -1;
}

const char* interpolation_name(int interpolation)
{
    return interpolation >= 0 && interpolation < INTERPOLATION_COUNT ? INTERPOLATION_NAMES[interpolation]
                                                                     : nullptr;
}

bool parse_value(const std::string& text, float& value)
{
    if (!is_decimal(text))
        return false;
    const float v = std::strtof(text.c_str(), nullptr);
    if (!std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool parse_row(const std::string& text, int32_t& row)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ':') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    int64_t value = 0;
    if (parts.size() == 1) {
        const bool negative = !text.empty() && text[0] == '-';
        if (!parse_digits(negative ? text.substr(1) : text, value))
            return false;
        if (negative)
            value = -value;
        if (value > ROW_LIMIT || value < -ROW_LIMIT)
            return false;
        row = static_cast<int32_t>(value);
        return true;
    }
    if (parts.size() > 3)
        return false;
    int64_t bar = 0, beat = 0, sub = 0;
    if (!parse_digits(parts[0], bar) || !parse_digits(parts[1], beat))
        return false;
    if (parts.size() == 3 && !parse_digits(parts[2], sub))
        return false;
    if (beat >= BEATS_PER_BAR || sub >= ROWS_PER_BEAT)
        return false;
    value = bar * ROWS_PER_BAR + beat * ROWS_PER_BEAT + sub;
    if (value > ROW_LIMIT)
        return false;
    row = static_cast<int32_t>(value);
    return true;
}

int track_index(const std::string& name)
{
    for (int i = 0; i < TIMELINE_TRACK_COUNT; ++i) {
        if (name == TIMELINE_TRACK_NAMES[i])
            return i;
    }
    return -1;
}

std::vector<TimelineSection> timeline_sections(const std::string& text)
{
    std::vector<TimelineSection> sections;
    std::string comment;  // the comment lines just before, one a line, while they last
    int line_number = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        const std::vector<FieldSpan> fields = line_fields(line);
        if (!fields.empty() && line.compare(fields[0].begin, fields[0].end - fields[0].begin, "track") == 0) {
            TimelineSection section;
            section.line = line_number;
            for (size_t f = 1; f < fields.size(); ++f)
                section.tracks.push_back(line.substr(fields[f].begin, fields[f].end - fields[f].begin));
            section.comment = comment;
            sections.push_back(std::move(section));
        }
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] != '#') {
            comment.clear();
            continue;
        }
        const size_t from = line.find_first_not_of("# \t", first);
        const size_t to = line.find_last_not_of(" \t\r");
        if (!comment.empty())
            comment += '\n';
        comment += from == std::string::npos || from > to ? "" : line.substr(from, to + 1 - from);
    }
    return sections;
}

std::string track_file_name(const std::string& name)
{
    return "sync_" + name + ".track";
}

bool parse_timeline(const std::string& text, Timeline& timeline, ParseError& error)
{
    std::vector<TrackData> tracks(TIMELINE_TRACK_COUNT);
    std::vector<int> declared_at(TIMELINE_TRACK_COUNT, 0);  // line of each track's header, 0 = not yet
    std::vector<int> section;                               // track indices of the current section
    std::vector<std::string> fields;  // kept across lines: one allocation, not one a line
    int line_number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        fields.clear();
        for (const FieldSpan& span : line_fields(line))
            fields.push_back(line.substr(span.begin, span.end - span.begin));
        if (fields.empty())
            continue;

        if (fields[0] == "track") {
            if (fields.size() < 2)
                return fail(error, line_number, "'track' needs at least one track name");
            section.clear();
            for (size_t f = 1; f < fields.size(); ++f) {
                const int index = track_index(fields[f]);
                if (index < 0)
                    return fail(error, line_number, "unknown track " + quoted(fields[f]));
                if (declared_at[index] != 0) {
                    return fail(error, line_number,
                                "track " + quoted(fields[f]) + " already has a section (line " +
                                    std::to_string(declared_at[index]) + ")");
                }
                declared_at[index] = line_number;
                section.push_back(index);
            }
            continue;
        }

        if (section.empty())
            return fail(error, line_number, "key line before any 'track' line: " + quoted(fields[0]));
        const size_t wanted = section.size() + 2;
        if (fields.size() != wanted) {
            return fail(error, line_number,
                        "expected a row, " + std::to_string(section.size()) +
                            " value(s) and an interpolation, found " + std::to_string(fields.size()) +
                            " field(s)");
        }
        int32_t row = 0;
        if (!parse_row(fields[0], row)) {
            return fail(error, line_number,
                        "malformed row " + quoted(fields[0]) +
                            " (want ROW, BAR:BEAT or BAR:BEAT:ROW with beat 0-3, row 0-7)");
        }
        const int interpolation = parse_interpolation(fields.back());
        if (interpolation < 0) {
            return fail(error, line_number,
                        "unknown interpolation " + quoted(fields.back()) +
                            " (want hold, linear, smooth or ramp)");
        }
        for (size_t s = 0; s < section.size(); ++s) {
            const std::string& field = fields[s + 1];
            if (field == "-")
                continue;
            float value = 0.0f;
            if (!parse_value(field, value))
                return fail(error, line_number, "value " + quoted(field) + " is not a number");
            TrackData& track = tracks[section[s]];
            // Refused here rather than by the player, which would leave such a track empty.
            if (track.keys.size() >= static_cast<size_t>(MAX_TRACK_KEYS)) {
                return fail(error, line_number,
                            "track " + quoted(TIMELINE_TRACK_NAMES[section[s]]) + " has more than " +
                                std::to_string(MAX_TRACK_KEYS) + " keys, the most a track file holds");
            }
            if (!track.keys.empty() && track.keys.back().row >= row) {
                return fail(error, line_number,
                            "row " + std::to_string(row) + " of track " +
                                quoted(TIMELINE_TRACK_NAMES[section[s]]) + " is not after row " +
                                std::to_string(track.keys.back().row));
            }
            track.keys.push_back({row, value, interpolation});
        }
    }
    for (int i = 0; i < TIMELINE_TRACK_COUNT; ++i) {
        if (declared_at[i] == 0) {
            // Reported at the last line: that is where the author would add it.
            return fail(error, line_number > 0 ? line_number : 1,
                        "track " + quoted(TIMELINE_TRACK_NAMES[i]) + " is missing");
        }
        tracks[i].name = TIMELINE_TRACK_NAMES[i];
    }
    timeline.tracks = std::move(tracks);
    return true;
}

std::vector<unsigned char> encode_track(const std::vector<TrackKey>& keys)
{
    std::vector<unsigned char> out;
    out.reserve(TRACK_HEADER_BYTES + keys.size() * TRACK_KEY_BYTES);
    put_u32(out, static_cast<uint32_t>(keys.size()));
    for (const TrackKey& key : keys) {
        uint32_t bits = 0;
        std::memcpy(&bits, &key.value, sizeof bits);
        put_u32(out, static_cast<uint32_t>(key.row));
        put_u32(out, bits);
        out.push_back(static_cast<unsigned char>(key.interpolation));
    }
    return out;
}

bool decode_track(const std::vector<unsigned char>& bytes, std::vector<TrackKey>& out, std::string& error)
{
    out.clear();
    std::vector<TrackKey> keys;  // handed out only when the whole file is sound
    if (bytes.size() < TRACK_HEADER_BYTES) {
        error = "file is " + std::to_string(bytes.size()) + " bytes, too short for a key count";
        return false;
    }
    const int32_t count = static_cast<int32_t>(get_u32(bytes, 0));
    if (count < 0) {
        error = "negative key count " + std::to_string(count);
        return false;
    }
    if (count > MAX_TRACK_KEYS) {
        error = "key count " + std::to_string(count) + " is more than the " + std::to_string(MAX_TRACK_KEYS) +
                " a track holds";
        return false;
    }
    const size_t body = bytes.size() - TRACK_HEADER_BYTES;
    const size_t needed = static_cast<size_t>(count) * TRACK_KEY_BYTES;
    if (needed > body) {
        error = "key count " + std::to_string(count) + " needs " + std::to_string(needed) +
                " bytes of keys, file has " + std::to_string(body);
        return false;
    }
    if (needed < body) {
        error = std::to_string(body - needed) + " trailing byte(s) after the last key";
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        const size_t at = TRACK_HEADER_BYTES + static_cast<size_t>(i) * TRACK_KEY_BYTES;
        TrackKey key{};
        key.row = static_cast<int32_t>(get_u32(bytes, at));
        const uint32_t bits = get_u32(bytes, at + 4);
        std::memcpy(&key.value, &bits, sizeof bits);
        key.interpolation = static_cast<int8_t>(bytes[at + 8]);
        const std::string where = "key " + std::to_string(i) + " (byte " + std::to_string(at) + "): ";
        if (key.interpolation < 0 || key.interpolation >= INTERPOLATION_COUNT) {
            error = where + "unknown interpolation byte " + std::to_string(bytes[at + 8]);
            return false;
        }
        if (!std::isfinite(key.value)) {
            error = where + "value is not a finite number";
            return false;
        }
        if (!keys.empty() && keys.back().row >= key.row) {
            error = where + "row " + std::to_string(key.row) + " is not after row " +
                    std::to_string(keys.back().row);
            return false;
        }
        keys.push_back(key);
    }
    out = std::move(keys);
    return true;
}

std::string format_row(int32_t row)
{
    if (row < 0)
        return std::to_string(row);
    const int32_t bar = row / ROWS_PER_BAR;
    const int32_t beat = row % ROWS_PER_BAR / ROWS_PER_BEAT;
    const int32_t sub = row % ROWS_PER_BEAT;
    std::string out = std::to_string(bar) + ":" + std::to_string(beat);
    if (sub != 0)
        out += ":" + std::to_string(sub);
    return out;
}

std::string format_value(float value)
{
    constexpr int MIN_DIGITS = 1, MAX_FLOAT_DIGITS = 9;  // 9 significant digits always round-trip a float
    char text[48];
    constexpr int MAX_PLAIN_EXPONENT = 15;  // up to 10^15 a value is written out: 10, not 1e+01
    int digits = MIN_DIGITS;
    for (; digits <= MAX_FLOAT_DIGITS; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        const float back = std::strtof(text, nullptr);
        if (std::memcmp(&back, &value, sizeof value) == 0)
            break;
    }
    // The shortest digits of a whole number such as 10 or 1500 come out with an exponent; written
    // with as many digits as it has before the point it reads back the same and as people write it.
    const char* exponent = std::strchr(text, 'e');
    if (exponent != nullptr && exponent[1] == '+') {
        const int power = std::atoi(exponent + 2);
        if (power <= MAX_PLAIN_EXPONENT)
            std::snprintf(text, sizeof text, "%.*g", std::max(digits, power + 1), static_cast<double>(value));
    }
    return text;
}

std::string format_track(const TrackData& track)
{
    constexpr int ROW_COLUMN = 10, VALUE_COLUMN = 12;
    std::string out = "track " + track.name + "\n";
    for (const TrackKey& key : track.keys) {
        std::string row = format_row(key.row), value = format_value(key.value);
        row.resize(std::max<size_t>(row.size() + 1, ROW_COLUMN), ' ');
        value.resize(std::max<size_t>(value.size() + 1, VALUE_COLUMN), ' ');
        const char* name = interpolation_name(key.interpolation);
        out += "  " + row + value + (name != nullptr ? name : "?") + "\n";
    }
    return out;
}

double keys_value(const std::vector<TrackKey>& keys, double row)
{
    // track_value only reads through the pointer.
    const Track view{nullptr, const_cast<TrackKey*>(keys.data()), static_cast<int32_t>(keys.size())};
    return track_value(&view, row);
}
