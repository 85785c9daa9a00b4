#include "live/history.h"

#include <algorithm>
#include <utility>

namespace {

size_t patch_bytes(const TextPatch& patch)
{
    size_t bytes = 0;
    for (const TextPatch::Hunk& hunk : patch.hunks) {
        for (const std::string& line : hunk.before)
            bytes += line.size() + sizeof line;
        for (const std::string& line : hunk.after)
            bytes += line.size() + sizeof line;
    }
    return bytes;
}

void remove_step(EditHistory& history, std::vector<HistoryStep>& steps, size_t index)
{
    history.bytes -= steps[index].bytes;
    steps.erase(steps.begin() + static_cast<long>(index));
}

// Oldest first. Only a new step calls this, and a new step empties the redo list.
void keep_within_limits(EditHistory& history)
{
    while (!history.undo.empty() && (history.bytes > HISTORY_BYTES || history.undo.size() > HISTORY_STEPS))
        remove_step(history, history.undo, 0);
}

}  // namespace

std::vector<KeyPlace> changed_keys(const Timeline& a, const Timeline& b)
{
    std::vector<KeyPlace> changed;
    for (size_t k = 0; k < a.tracks.size() && k < b.tracks.size(); ++k) {
        const std::vector<TrackKey>& x = a.tracks[k].keys;
        const std::vector<TrackKey>& y = b.tracks[k].keys;
        const int track = static_cast<int>(k);
        size_t i = 0, j = 0;
        while (i < x.size() || j < y.size()) {
            if (j == y.size() || (i < x.size() && x[i].row < y[j].row)) {
                changed.push_back({track, x[i++].row});
            } else if (i == x.size() || y[j].row < x[i].row) {
                changed.push_back({track, y[j++].row});
            } else {
                // Compared as stored: a NaN never matches, and a changed NaN key counts as changed.
                if (!(x[i].value == y[j].value) || x[i].interpolation != y[j].interpolation)
                    changed.push_back({track, x[i].row});
                ++i;
                ++j;
            }
        }
    }
    return changed;
}

void history_record(EditHistory& history, const std::string& before, const Timeline& before_keys,
                    const std::string& after, const Timeline& after_keys)
{
    HistoryStep step;
    step.patch = make_patch(before, after);
    step.keys = changed_keys(before_keys, after_keys);
    step.bytes = patch_bytes(step.patch) + step.keys.size() * sizeof(KeyPlace) + sizeof step;
    while (!history.redo.empty())
        remove_step(history, history.redo, history.redo.size() - 1);
    if (step.bytes > HISTORY_BYTES)
        return;
    history.bytes += step.bytes;
    history.undo.push_back(std::move(step));
    keep_within_limits(history);
}

const HistoryStep* history_next(const EditHistory& history, bool undo)
{
    const std::vector<HistoryStep>& steps = undo ? history.undo : history.redo;
    return steps.empty() ? nullptr : &steps.back();
}

bool history_apply(const HistoryStep& step, bool undo, const std::string& text, std::string& result,
                   std::string& error)
{
    error.clear();
    // A step is stored as the edit made it; redoing it takes back its inverse.
    return revert_patch(text, undo ? step.patch : invert_patch(step.patch), result, error);
}

void history_commit(EditHistory& history, bool undo)
{
    std::vector<HistoryStep>& from = undo ? history.undo : history.redo;
    std::vector<HistoryStep>& to = undo ? history.redo : history.undo;
    if (from.empty())
        return;
    to.push_back(std::move(from.back()));
    from.pop_back();
}

void history_drop(EditHistory& history, bool undo)
{
    std::vector<HistoryStep>& steps = undo ? history.undo : history.redo;
    if (!steps.empty())
        remove_step(history, steps, steps.size() - 1);
}
