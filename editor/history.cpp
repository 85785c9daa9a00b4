#include "editor/history.h"

#include <utility>

void history_record(EditHistory& history, TextPatch patch)
{
    history.undo.push_back(std::move(patch));
    if (history.undo.size() > HISTORY_STEPS)
        history.undo.erase(history.undo.begin());
    history.redo.clear();
}

bool history_apply(const EditHistory& history, bool undo, const std::string& text, std::string& result,
                   std::string& error)
{
    const std::vector<TextPatch>& steps = undo ? history.undo : history.redo;
    error.clear();
    if (steps.empty())
        return false;
    // A step is stored as the edit made it; redoing it takes back its inverse.
    return revert_patch(text, undo ? steps.back() : invert_patch(steps.back()), result, error);
}

void history_commit(EditHistory& history, bool undo)
{
    std::vector<TextPatch>& from = undo ? history.undo : history.redo;
    std::vector<TextPatch>& to = undo ? history.redo : history.undo;
    if (from.empty())
        return;
    to.push_back(std::move(from.back()));
    from.pop_back();
}
