// The pieces of the timeline syntax that both the parser (timeline.cpp) and the text editor
// (timeline_edit.cpp) need, so that a line is read one way only. Internal to the timeline library:
// it may change with the editor. Offsets are bytes within one line, without its line ending.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct FieldSpan {
    size_t begin = 0;
    size_t end = 0;  // one past the last byte
};

// The fields of a line as the parser sees them: the text before the first '#', split at spaces,
// tabs and carriage returns.
std::vector<FieldSpan> line_fields(const std::string& line);

// A plain decimal number that fits a finite float (no hex, inf or nan).
bool parse_value(const std::string& text, float& value);
