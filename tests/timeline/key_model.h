// What a list of key edits leaves, worked out on the keys alone (no text): the keys that the
// edited timeline text must read back as. Shared by the editing tests and the fuzzer, and written
// apart from the editor so that the two can disagree.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>

#include "timeline/timeline_edit.h"

// Applies `ops` to `timeline`'s keys; false (and `timeline` untouched) when any op is refused.
inline bool model_edits(Timeline& timeline, const std::vector<EditOp>& ops, int32_t row_count)
{
    Timeline edited = timeline;
    const auto inside = [&](int32_t row) { return row >= 0 && row < row_count; };
    for (const EditOp& op : ops) {
        if (op.track < 0 || op.track >= TIMELINE_TRACK_COUNT || !inside(op.row))
            return false;
        std::vector<TrackKey>& keys = edited.tracks[static_cast<size_t>(op.track)].keys;
        const auto at = [&](int32_t row) {
            return std::find_if(keys.begin(), keys.end(),
                                [&](const TrackKey& key) { return key.row == row; });
        };
        auto old = at(op.row);
        TrackKey key{op.row, op.value, op.interpolation};
        if (op.kind == EditKind::Set) {
            if (!std::isfinite(op.value) || op.interpolation < -1 || op.interpolation > 3)
                return false;
            if (old == keys.end() && op.interpolation < 0)
                return false;  // a new key needs an interpolation
            if (op.interpolation < 0)
                key.interpolation = old->interpolation;
        } else {
            if (old == keys.end())
                return false;
            key = *old;
            if (op.kind == EditKind::Move &&
                (!inside(op.to_row) || (op.to_row != op.row && at(op.to_row) != keys.end())))
                return false;
            key.row = op.to_row;
        }
        if (old != keys.end())
            keys.erase(old);
        if (op.kind != EditKind::Delete) {
            keys.insert(
                std::find_if(keys.begin(), keys.end(), [&](const TrackKey& k) { return k.row > key.row; }),
                key);
        }
    }
    timeline = edited;
    return true;
}

// Rows, value bits and interpolations of every track agree.
inline bool same_timeline_keys(const Timeline& a, const Timeline& b)
{
    for (size_t t = 0; t < a.tracks.size() && t < b.tracks.size(); ++t) {
        const std::vector<TrackKey>&x = a.tracks[t].keys, &y = b.tracks[t].keys;
        for (size_t k = 0; k < x.size() && x.size() == y.size(); ++k) {
            if (x[k].row != y[k].row || std::memcmp(&x[k].value, &y[k].value, sizeof(float)) != 0 ||
                x[k].interpolation != y[k].interpolation)
                return false;
        }
        if (x.size() != y.size())
            return false;
    }
    return a.tracks.size() == b.tracks.size();
}
