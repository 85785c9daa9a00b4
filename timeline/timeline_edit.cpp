// Key edits on the timeline text that rewrite only the lines they change, and the line patches that
// take them back (see timeline_edit.h). The text is held as lines with the spans of their fields;
// an edit replaces one field's bytes, adds a line or drops one, and never re-prints anything else.
#include "timeline/timeline_edit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

#include "timeline/timeline_syntax.h"

namespace {

constexpr size_t NONE = static_cast<size_t>(-1);
constexpr int RAMP = static_cast<int>(KeyInterpolation::Ramp);
// A key line in a section that has none to copy from is laid out as the bundled timeline's are.
constexpr size_t NEW_INDENT = 2, NEW_ROW_WIDTH = 9, NEW_VALUE_WIDTH = 8;

enum class LineKind { Other, Header, Key };

// One line of the text. The document is only ever built from text that parses, so a Key line has
// a row, one field per track of its section and an interpolation.
struct Line {
    std::string text;    // without the line ending
    std::string ending;  // "\n", "\r\n", or "" on a last line that has none
    LineKind kind = LineKind::Other;
    std::vector<FieldSpan> fields;
    int32_t row = 0;
    int interpolation = 0;
    bool written = false;  // by the edit under way: only such lines are ever joined
};

struct Document {
    std::vector<Line> lines;
    std::string ending;  // the file's first line ending, for a new line after a last line without one
};

// Where a track's keys are: its section's lines [header, end) and its field in their key lines.
struct Section {
    size_t header = 0;
    size_t end = 0;
    size_t column = 0;
};

bool field_is(const Line& line, size_t i, const char* text)
{
    const FieldSpan& span = line.fields[i];
    return line.text.compare(span.begin, span.end - span.begin, text) == 0;
}

std::string field_text(const Line& line, size_t i)
{
    return line.text.substr(line.fields[i].begin, line.fields[i].end - line.fields[i].begin);
}

void scan(Line& line)
{
    line.fields = line_fields(line.text);
    line.kind = LineKind::Other;
    if (line.fields.empty())
        return;
    if (field_is(line, 0, "track")) {
        line.kind = LineKind::Header;
        return;
    }
    line.kind = LineKind::Key;
    parse_row(field_text(line, 0), line.row);
    line.interpolation = parse_interpolation(field_text(line, line.fields.size() - 1));
}

Document read_document(const std::string& text)
{
    Document doc;
    doc.lines.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    size_t start = 0;
    while (start < text.size()) {
        Line line;
        const size_t newline = text.find('\n', start);
        if (newline == std::string::npos) {
            line.text = text.substr(start);
            start = text.size();
        } else {
            const size_t stop = newline > start && text[newline - 1] == '\r' ? newline - 1 : newline;
            line.text = text.substr(start, stop - start);
            line.ending = text.substr(stop, newline + 1 - stop);
            start = newline + 1;
        }
        if (doc.ending.empty())
            doc.ending = line.ending;
        scan(line);
        doc.lines.push_back(std::move(line));
    }
    if (doc.ending.empty())
        doc.ending = "\n";
    return doc;
}

std::string write_document(const Document& doc)
{
    size_t size = 0;
    for (const Line& line : doc.lines)
        size += line.text.size() + line.ending.size();
    std::string out;
    out.reserve(size);
    for (const Line& line : doc.lines)
        out.append(line.text).append(line.ending);
    return out;
}

Section find_section(const Document& doc, int track)
{
    Section section;
    for (size_t i = 0; i < doc.lines.size() && section.column == 0; ++i) {
        const Line& line = doc.lines[i];
        for (size_t f = 1; line.kind == LineKind::Header && f < line.fields.size(); ++f) {
            if (field_is(line, f, TIMELINE_TRACK_NAMES[track])) {
                section.header = i;
                section.column = f;
            }
        }
    }
    section.end = section.header + 1;
    while (section.end < doc.lines.size() && doc.lines[section.end].kind != LineKind::Header)
        ++section.end;
    return section;
}

bool is_key(const Line& line)
{
    return line.kind == LineKind::Key;
}

bool holds(const Line& line, size_t column)
{
    return is_key(line) && !field_is(line, column, "-");
}

// True when the line has no key but the one in `column`.
bool holds_only(const Line& line, size_t column)
{
    for (size_t f = 1; f + 1 < line.fields.size(); ++f) {
        if (f != column && !field_is(line, f, "-"))
            return false;
    }
    return true;
}

size_t key_line(const Document& doc, const Section& section, int32_t row)
{
    for (size_t i = section.header + 1; i < section.end; ++i) {
        const Line& line = doc.lines[i];
        if (line.row == row && holds(line, section.column))
            return i;
    }
    return NONE;
}

bool only_spaces(const std::string& text, size_t begin, size_t end)
{
    return std::all_of(text.begin() + static_cast<long>(begin), text.begin() + static_cast<long>(end),
                       [](char c) { return c == ' '; });
}

// Replaces one field. The spaces after it give or take the difference in length, so that the next
// field (or the comment) keeps its column while at least one space is left.
void replace_field(Line& line, size_t i, const std::string& token)
{
    const FieldSpan span = line.fields[i];
    const size_t next = i + 1 < line.fields.size() ? line.fields[i + 1].begin : line.text.find('#', span.end);
    if (next != std::string::npos && only_spaces(line.text, span.end, next)) {
        const long gap = static_cast<long>(next - span.end);
        const long grown = static_cast<long>(token.size()) - static_cast<long>(span.end - span.begin);
        line.text.replace(span.end, next - span.end, static_cast<size_t>(std::max(1L, gap - grown)), ' ');
    }
    line.text.replace(span.begin, span.end - span.begin, token);
    line.written = true;
    scan(line);
}

void erase_line(Document& doc, size_t at)
{
    // A file without a final line ending keeps going without one.
    if (at + 1 == doc.lines.size() && at > 0 && doc.lines[at].ending.empty())
        doc.lines[at - 1].ending.clear();
    doc.lines.erase(doc.lines.begin() + static_cast<long>(at));
}

// Takes the track's key out of a key line: the field becomes "-", or the line goes when that key
// was all it held.
void take_out(Document& doc, const Section& section, size_t at)
{
    if (holds_only(doc.lines[at], section.column))
        erase_line(doc, at);
    else
        replace_field(doc.lines[at], section.column, "-");
}

std::string row_token(int32_t row, const Line* like)
{
    const bool plain = like != nullptr && field_text(*like, 0).find(':') == std::string::npos;
    return plain ? std::to_string(row) : format_row(row);
}

// The text of a new key line that goes before line `at`, aligned like the nearest key line of the
// section above it (else below it): its indent, its separators where they hold tabs, and otherwise
// its field columns wherever the new fields fit.
std::string new_key_line(const Document& doc, const Section& section, size_t at, int32_t row,
                         const std::string& value, int interpolation)
{
    const Line* like = nullptr;
    for (size_t i = at; i > section.header + 1 && like == nullptr; --i)
        like = is_key(doc.lines[i - 1]) ? &doc.lines[i - 1] : nullptr;
    for (size_t i = at; i < section.end && like == nullptr; ++i)
        like = is_key(doc.lines[i]) ? &doc.lines[i] : nullptr;
    const size_t values = doc.lines[section.header].fields.size() - 1;
    std::vector<std::string> tokens(values + 2, "-");
    tokens[0] = row_token(row, like);
    tokens[section.column] = value;
    tokens.back() = interpolation_name(interpolation);

    std::string out;
    for (size_t i = 0; i < tokens.size(); ++i) {
        size_t column = 0;
        if (like == nullptr) {
            column = i == 0 ? NEW_INDENT : NEW_INDENT + NEW_ROW_WIDTH + (i - 1) * NEW_VALUE_WIDTH;
        } else if (i == 0 || !only_spaces(like->text, like->fields[i - 1].end, like->fields[i].begin)) {
            const size_t from = i == 0 ? 0 : like->fields[i - 1].end;
            out.append(like->text, from, like->fields[i].begin - from);
        } else {
            column = like->fields[i].begin;
        }
        if (column > 0)
            out.append(column > out.size() ? column - out.size() : 1, ' ');
        out += tokens[i];
    }
    return out;
}

// Puts a key for the track into its section, which has none at `row`: into the "-" of a line at
// that row with the same interpolation, else on a line of its own after the last key line at or
// before the row, always between the track's keys before and after it so that its rows ascend.
void insert_key(Document& doc, int track, int32_t row, float value, int interpolation)
{
    const Section section = find_section(doc, track);
    size_t previous = NONE, next = section.end;
    for (size_t i = section.header + 1; i < section.end && next == section.end; ++i) {
        if (holds(doc.lines[i], section.column)) {
            if (doc.lines[i].row < row)
                previous = i;
            else
                next = i;
        }
    }
    const size_t first = previous == NONE ? section.header + 1 : previous;
    const std::string token = format_value(value);
    size_t at = NONE;
    for (size_t i = first; i < next; ++i) {
        Line& line = doc.lines[i];
        if (is_key(line) && line.row == row && line.interpolation == interpolation &&
            !holds(line, section.column)) {
            replace_field(line, section.column, token);
            return;
        }
        if (is_key(line) && line.row <= row)
            at = i + 1;
    }
    for (size_t i = first; i < section.end && at == NONE; ++i)
        at = is_key(doc.lines[i]) ? i : NONE;
    if (at == NONE)
        at = section.header + 1;

    Line line;
    line.text = new_key_line(doc, section, at, row, token, interpolation);
    // The line above decides between LF and CRLF, in case a file mixes them.
    line.ending = doc.lines[at - 1].ending.empty() ? doc.ending : doc.lines[at - 1].ending;
    if (at == doc.lines.size() && doc.lines[at - 1].ending.empty())
        std::swap(line.ending, doc.lines[at - 1].ending);
    scan(line);
    line.written = true;
    doc.lines.insert(doc.lines.begin() + static_cast<long>(at), std::move(line));
}

bool has_comment(const Line& line)
{
    return line.text.find('#') != std::string::npos;
}

// Moves the keys of one of the key lines `a` < `b` into the other's "-" fields and drops it, if
// the two can be one line (see join_written_lines).
bool join_lines(Document& doc, size_t a, size_t b)
{
    const Line &first = doc.lines[a], &second = doc.lines[b];
    if (first.row != second.row || first.interpolation != second.interpolation ||
        (has_comment(first) && has_comment(second)))
        return false;
    const size_t keep = has_comment(second) ? b : a, drop = keep == a ? b : a;
    std::vector<size_t> moved;
    for (size_t f = 1; f + 1 < first.fields.size(); ++f) {
        if (holds(first, f) && holds(second, f))
            return false;
        if (!holds(doc.lines[drop], f))
            continue;
        for (size_t i = a + 1; i < b; ++i) {
            if (holds(doc.lines[i], f))
                return false;
        }
        moved.push_back(f);
    }
    for (size_t f : moved)
        replace_field(doc.lines[keep], f, field_text(doc.lines[drop], f));
    erase_line(doc, drop);
    return true;
}

// Joins key lines that the edit wrote at one row with one interpolation in one section, when no
// track has a key on both and the keys moved stay between their track's neighbours. Ops place keys
// one at a time, so without this their order decides: a key left alone on its line keeps that line
// even after an earlier op of the same request opened another at its row. The line kept is the one
// with a comment, else the first; two with comments stay apart.
void join_written_lines(Document& doc)
{
    std::vector<std::pair<size_t, size_t>> written;  // (header, line) of each written key line
    bool joined = true;
    while (joined) {
        joined = false;
        written.clear();
        for (size_t i = 0, header = NONE; i < doc.lines.size(); ++i) {
            header = doc.lines[i].kind == LineKind::Header ? i : header;
            if (doc.lines[i].written && is_key(doc.lines[i]))
                written.emplace_back(header, i);
        }
        for (size_t p = 0; p < written.size() && !joined; ++p) {
            for (size_t q = p + 1; q < written.size() && !joined && written[q].first == written[p].first; ++q)
                joined = join_lines(doc, written[p].second, written[q].second);
        }
    }
}

// A key line that holds only the moved key keeps its place (and comment) when the new row still
// sits between the key lines around it; only its row field changes.
bool move_in_place(Document& doc, const Section& section, size_t at, int32_t to_row)
{
    Line& line = doc.lines[at];
    if (!holds_only(line, section.column))
        return false;
    size_t above = at, below = at + 1;
    while (above > section.header + 1 && !is_key(doc.lines[above - 1]))
        --above;
    while (below < section.end && !is_key(doc.lines[below]))
        ++below;
    if ((above > section.header + 1 && doc.lines[above - 1].row > to_row) ||
        (below < section.end && doc.lines[below].row < to_row))
        return false;
    replace_field(line, 0, row_token(to_row, &line));
    return true;
}

bool same_bits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// One op on the document and on `keys`, the keys it must read back as. The op is checked against
// `keys` first; false with a reason leaves the caller to drop both.
bool apply_op(Document& doc, Timeline& expected, const EditOp& op, int32_t row_count, std::string& why)
{
    if (!check_edit(expected, op, row_count, why))
        return false;
    std::vector<TrackKey>& keys = expected.tracks[static_cast<size_t>(op.track)].keys;
    const auto find = [&](int32_t row) {
        return std::lower_bound(keys.begin(), keys.end(), row,
                                [](const TrackKey& key, int32_t r) { return key.row < r; });
    };
    auto key = find(op.row);
    const bool found = key != keys.end() && key->row == op.row;
    const Section section = find_section(doc, op.track);

    if (op.kind == EditKind::Delete) {
        keys.erase(key);
        take_out(doc, section, key_line(doc, section, op.row));
        return true;
    }
    if (op.kind == EditKind::Move) {
        if (op.to_row == op.row)
            return true;
        const auto target = find(op.to_row);
        const TrackKey moved = {op.to_row, key->value, key->interpolation};
        // Only a move past none of the track's other keys can keep its line where it is.
        const bool stays = target == key + (op.to_row > op.row ? 1 : 0);
        keys.erase(key);
        keys.insert(find(op.to_row), moved);
        const size_t at = key_line(doc, section, op.row);
        if (stays && move_in_place(doc, section, at, op.to_row))
            return true;
        take_out(doc, section, at);
        insert_key(doc, op.track, op.to_row, moved.value, moved.interpolation);
        return true;
    }

    if (!found) {
        keys.insert(key, {op.row, op.value, op.interpolation});
        insert_key(doc, op.track, op.row, op.value, op.interpolation);
        return true;
    }
    const TrackKey old = *key;
    key->value = op.value;
    if (op.interpolation >= 0)
        key->interpolation = op.interpolation;
    const size_t at = key_line(doc, section, op.row);
    Line& line = doc.lines[at];
    if (key->interpolation != old.interpolation && !holds_only(line, section.column)) {
        take_out(doc, section, at);
        insert_key(doc, op.track, op.row, key->value, key->interpolation);
        return true;
    }
    if (!same_bits(key->value, old.value))
        replace_field(line, section.column, format_value(key->value));
    if (key->interpolation != old.interpolation)
        replace_field(line, line.fields.size() - 1, interpolation_name(key->interpolation));
    return true;
}

bool same_keys(const Timeline& a, const Timeline& b)
{
    for (size_t t = 0; t < a.tracks.size(); ++t) {
        const std::vector<TrackKey>&x = a.tracks[t].keys, &y = b.tracks[t].keys;
        if (x.size() != y.size())
            return false;
        for (size_t k = 0; k < x.size(); ++k) {
            if (x[k].row != y[k].row || !same_bits(x[k].value, y[k].value) ||
                x[k].interpolation != y[k].interpolation)
                return false;
        }
    }
    return true;
}

// ---- Patches ----

// Lines with their endings, so that joining them gives back every byte.
std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t newline = std::min(text.find('\n', start), text.size() - 1);
        lines.push_back(text.substr(start, newline + 1 - start));
        start = newline + 1;
    }
    return lines;
}

using Lines = std::vector<std::string>;

// Beyond this many changed lines the difference is not worth a minimal script: everything between
// the common start and end counts as changed. An editor's edit changes a handful of lines.
constexpr int MAX_EDITS = 1000;

// Marks the lines of `a` and `b` outside a shortest edit script's common lines (a greedy forward
// search on diagonals, keeping each step's frontier to walk the script back).
void mark_changes(const Lines& a, const Lines& b, std::vector<char>& a_changed, std::vector<char>& b_changed)
{
    a_changed.assign(a.size(), 0);
    b_changed.assign(b.size(), 0);
    size_t lo = 0, a_hi = a.size(), b_hi = b.size();
    while (lo < a_hi && lo < b_hi && a[lo] == b[lo])
        ++lo;
    while (a_hi > lo && b_hi > lo && a[a_hi - 1] == b[b_hi - 1])
        --a_hi, --b_hi;
    const int n = static_cast<int>(a_hi - lo), m = static_cast<int>(b_hi - lo);
    const int limit = std::min(n + m, MAX_EDITS), offset = limit + 1;
    std::vector<int> v(static_cast<size_t>(2 * limit + 3), 0);
    std::vector<std::vector<int>> frontiers;  // frontiers[d][k + d]: furthest x on diagonal k
    int edits = -1;
    for (int d = 0; d <= limit && edits < 0; ++d) {
        for (int k = -d; k <= d; k += 2) {
            const bool down = k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]);
            int x = down ? v[offset + k + 1] : v[offset + k - 1] + 1;
            int y = x - k;
            while (x < n && y < m && a[lo + x] == b[lo + y])
                ++x, ++y;
            v[offset + k] = x;
            if (x >= n && y >= m) {
                edits = d;
                break;
            }
        }
        frontiers.emplace_back(v.begin() + offset - d, v.begin() + offset + d + 1);
    }
    if (edits < 0) {
        std::fill(a_changed.begin() + static_cast<long>(lo), a_changed.begin() + static_cast<long>(a_hi), 1);
        std::fill(b_changed.begin() + static_cast<long>(lo), b_changed.begin() + static_cast<long>(b_hi), 1);
        return;
    }
    int x = n, y = m;
    for (int d = edits; d > 0; --d) {
        const std::vector<int>& before = frontiers[static_cast<size_t>(d - 1)];
        const int k = x - y;
        const bool down = k == -d || (k != d && before[k - 1 + d - 1] < before[k + 1 + d - 1]);
        const int from_k = down ? k + 1 : k - 1;
        x = before[from_k + d - 1];
        y = x - from_k;
        if (down)
            b_changed[lo + y] = 1;
        else
            a_changed[lo + x] = 1;
    }
}

// How often `block` (lines [begin, end) of `source`) stands in `lines`, counting up to two; `at` is
// the last place found. A rolling hash over line hashes keeps this linear in the lines.
int occurrences(const Lines& source, size_t begin, size_t end, const Lines& lines,
                const std::vector<uint64_t>& hashes, size_t& at)
{
    const size_t k = end - begin;
    if (k > lines.size())
        return 0;
    if (k == 0) {
        at = 0;
        return lines.empty() ? 1 : 2;
    }
    constexpr uint64_t BASE = 1000003;
    uint64_t wanted = 0, rolling = 0, top = 1;
    for (size_t i = 0; i < k; ++i) {
        wanted = wanted * BASE + std::hash<std::string>()(source[begin + i]);
        rolling = rolling * BASE + hashes[i];
        top = i + 1 < k ? top * BASE : top;
    }
    int count = 0;
    for (size_t p = 0;; ++p) {
        if (rolling == wanted &&
            std::equal(lines.begin() + static_cast<long>(p), lines.begin() + static_cast<long>(p + k),
                       source.begin() + static_cast<long>(begin))) {
            at = p;
            if (++count == 2)
                return count;
        }
        if (p + k >= lines.size())
            return count;
        rolling = (rolling - hashes[p] * top) * BASE + hashes[p + k];
    }
}

std::vector<uint64_t> line_hashes(const Lines& lines)
{
    std::vector<uint64_t> hashes;
    hashes.reserve(lines.size());
    for (const std::string& line : lines)
        hashes.push_back(std::hash<std::string>()(line));
    return hashes;
}

// A run of changed lines ([a0, a1) in the old text, [b0, b1) in the new) and the common lines
// kept around it.
struct Piece {
    size_t a0, a1, b0, b1;
    size_t context;
    size_t from_a() const { return a0 - std::min(a0, context); }
    size_t to_a(size_t n) const { return std::min(n, a1 + context); }
    size_t from_b() const { return b0 - std::min(b0, context); }
    size_t to_b(size_t n) const { return std::min(n, b1 + context); }
};

}  // namespace

bool check_edit(const Timeline& timeline, const EditOp& op, int32_t row_count, std::string& why)
{
    if (op.track < 0 || op.track >= TIMELINE_TRACK_COUNT ||
        static_cast<size_t>(op.track) >= timeline.tracks.size()) {
        why = "unknown track " + std::to_string(op.track);
        return false;
    }
    const std::string name = TIMELINE_TRACK_NAMES[op.track];
    const std::vector<TrackKey>& keys = timeline.tracks[static_cast<size_t>(op.track)].keys;
    const auto has_key = [&](int32_t row) {
        return std::binary_search(keys.begin(), keys.end(), TrackKey{row, 0.0f, 0},
                                  [](const TrackKey& x, const TrackKey& y) { return x.row < y.row; });
    };
    for (const int32_t row : {op.row, op.kind == EditKind::Move ? op.to_row : op.row}) {
        if (row < 0 || row >= row_count) {
            why = "row " + std::to_string(row) + " is outside 0.." + std::to_string(row_count - 1);
            return false;
        }
    }
    const bool found = has_key(op.row);
    if (op.kind != EditKind::Set && !found)
        why = "track " + name + " has no key at row " + std::to_string(op.row);
    else if (op.kind == EditKind::Move && op.to_row != op.row && has_key(op.to_row))
        why = "track " + name + " already has a key at row " + std::to_string(op.to_row);
    else if (op.kind == EditKind::Set && !std::isfinite(op.value))
        why = "value of track " + name + " at row " + std::to_string(op.row) + " is not a finite number";
    else if (op.kind == EditKind::Set && (op.interpolation < -1 || op.interpolation > RAMP))
        why = "unknown interpolation " + std::to_string(op.interpolation);
    else if (op.kind == EditKind::Set && !found && op.interpolation < 0)
        why = "track " + name + " has no key at row " + std::to_string(op.row) +
              ", so a new key there needs an interpolation";
    else
        return true;
    return false;
}

bool apply_edits(const std::string& text, const std::vector<EditOp>& ops, int32_t row_count,
                 std::string& result, std::string& error)
{
    Timeline expected;
    ParseError parse_error;
    if (!parse_timeline(text, expected, parse_error)) {
        error = "the timeline does not read: line " + std::to_string(parse_error.line) + ": " +
                parse_error.reason;
        return false;
    }
    Document doc = read_document(text);
    for (size_t i = 0; i < ops.size(); ++i) {
        std::string why;
        if (!apply_op(doc, expected, ops[i], row_count, why)) {
            error = "edit " + std::to_string(i + 1) + ": " + why;
            return false;
        }
    }
    join_written_lines(doc);
    std::string edited = write_document(doc);
    // Never hand out a text whose keys are not the edited ones: it would be written over the file.
    Timeline check;
    if (!parse_timeline(edited, check, parse_error) || !same_keys(check, expected)) {
        error = "the edited text does not read back as the edited keys";
        return false;
    }
    result = std::move(edited);
    return true;
}

TextPatch make_patch(const std::string& before, const std::string& after)
{
    const Lines a = split_lines(before), b = split_lines(after);
    std::vector<char> a_changed, b_changed;
    mark_changes(a, b, a_changed, b_changed);
    std::vector<Piece> pieces;
    for (size_t i = 0, j = 0; i < a.size() || j < b.size();) {
        if (i < a.size() && j < b.size() && !a_changed[i] && !b_changed[j]) {
            ++i, ++j;
            continue;
        }
        Piece piece{i, i, j, j, 1};
        while (i < a.size() && a_changed[i])
            ++i;
        while (j < b.size() && b_changed[j])
            ++j;
        piece.a1 = i;
        piece.b1 = j;
        pieces.push_back(piece);
    }
    // Context grows (doubling) until each hunk's lines stand only once in both texts, so that it is
    // found again in a text changed elsewhere; pieces whose context meets become one hunk.
    const std::vector<uint64_t> a_hashes = line_hashes(a), b_hashes = line_hashes(b);
    for (bool grown = true; grown;) {
        grown = false;
        std::vector<Piece> merged;
        for (const Piece& piece : pieces) {
            // Between pieces the lines are common, so meeting in one text is meeting in both.
            if (!merged.empty() && piece.from_b() <= merged.back().to_b(b.size())) {
                merged.back().a1 = piece.a1;
                merged.back().b1 = piece.b1;
                merged.back().context = std::max(merged.back().context, piece.context);
            } else {
                merged.push_back(piece);
            }
        }
        pieces = std::move(merged);
        for (Piece& piece : pieces) {
            size_t at = 0;
            const bool whole = piece.from_a() == 0 && piece.to_a(a.size()) == a.size() &&
                               piece.from_b() == 0 && piece.to_b(b.size()) == b.size();
            if (!whole && (occurrences(a, piece.from_a(), piece.to_a(a.size()), a, a_hashes, at) != 1 ||
                           occurrences(b, piece.from_b(), piece.to_b(b.size()), b, b_hashes, at) != 1)) {
                piece.context *= 2;
                grown = true;
            }
        }
    }
    TextPatch patch;
    for (const Piece& piece : pieces) {
        TextPatch::Hunk hunk;
        hunk.before.assign(a.begin() + static_cast<long>(piece.from_a()),
                           a.begin() + static_cast<long>(piece.to_a(a.size())));
        hunk.after.assign(b.begin() + static_cast<long>(piece.from_b()),
                          b.begin() + static_cast<long>(piece.to_b(b.size())));
        hunk.line = piece.from_b();
        patch.hunks.push_back(std::move(hunk));
    }
    return patch;
}

bool revert_patch(const std::string& text, const TextPatch& patch, std::string& result, std::string& error)
{
    const Lines lines = split_lines(text);
    const std::vector<uint64_t> hashes = line_hashes(lines);
    std::vector<std::pair<size_t, const TextPatch::Hunk*>> places;
    for (const TextPatch::Hunk& hunk : patch.hunks) {
        size_t at = 0;
        const int found = occurrences(hunk.after, 0, hunk.after.size(), lines, hashes, at);
        if (found != 1) {
            error = "the lines edited at line " + std::to_string(hunk.line + 1) +
                    (found == 0 ? " were changed since" : " are no longer found in one place only");
            return false;
        }
        places.emplace_back(at, &hunk);
    }
    std::sort(places.begin(), places.end());
    std::string out;
    size_t next = 0;
    for (const auto& [at, hunk] : places) {
        if (at < next) {
            error = "the lines edited at line " + std::to_string(hunk->line + 1) + " overlap another edit";
            return false;
        }
        for (; next < at; ++next)
            out += lines[next];
        for (const std::string& line : hunk->before)
            out += line;
        next = at + hunk->after.size();
    }
    for (; next < lines.size(); ++next)
        out += lines[next];
    result = std::move(out);
    return true;
}

TextPatch invert_patch(const TextPatch& patch)
{
    TextPatch inverse;
    long shift = 0;  // lines the hunks above this one added
    for (const TextPatch::Hunk& hunk : patch.hunks) {
        inverse.hunks.push_back(
            {hunk.after, hunk.before, static_cast<size_t>(static_cast<long>(hunk.line) - shift)});
        shift += static_cast<long>(hunk.after.size()) - static_cast<long>(hunk.before.size());
    }
    return inverse;
}
