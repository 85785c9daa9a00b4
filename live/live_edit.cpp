#include "live/live_edit.h"

#include <malloc.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "live/history.h"
#include "live/live_timeline.h"
#include "timeline/timeline_files.h"

namespace {

std::mutex edit_mutex;                    // one transaction at a time, from its check to its install
EditHistory& history = *new EditHistory;  // guarded by edit_mutex; never freed behind a late thread

LiveAnswer refuse(LiveStatus status, std::string error)
{
    return {status, std::move(error), 0};
}

// Whether `snapshot` is a version an edit may start from.
bool may_change(const LiveSnapshot& snapshot, LiveAnswer& answer)
{
    if (live_closed()) {
        answer = refuse(LiveStatus::Unavailable, "the demo is ending");
        return false;
    }
    if (!snapshot.load_ok || snapshot.good == nullptr) {
        answer = refuse(LiveStatus::Conflict, "the timeline has a mistake: " + snapshot.load_message);
        return false;
    }
    return true;
}

// Writes `result` over the file if it still holds `from`'s text, records the step with `record`
// and waits for the frame loop to install it.
template <typename Record>
LiveAnswer commit(const LiveSnapshot& from, const std::string& result, std::shared_ptr<const Timeline> keys,
                  double timeout_s, Record record)
{
    const std::vector<unsigned char> expected(from.text->begin(), from.text->end());
    std::string error;
    switch (replace_file(live_path(), std::vector<unsigned char>(result.begin(), result.end()), &expected,
                         error)) {
    case ReplaceResult::Changed:
        return refuse(LiveStatus::Conflict, "the timeline changed on disk; reload");
    case ReplaceResult::Failed:
        return refuse(LiveStatus::Failed, error);
    case ReplaceResult::Replaced:
        break;
    }
    record(*keys);
    const uint64_t ticket = live_submit_install(std::make_shared<const std::string>(result), std::move(keys),
                                                "loaded " + live_path());
    if (!live_wait_installed(ticket, timeout_s))
        return refuse(LiveStatus::Unavailable,
                      live_closed() ? "written to the file, but the demo is ending"
                                    : "written to the file, but the demo did not show it in time");
    return {LiveStatus::Ok, "", live_snapshot().version};
}

// The result compiled, or why a step cannot be taken back on today's text.
bool compile(const std::string& text, Timeline& timeline, std::string& error)
{
    ParseError parse_error;
    if (parse_timeline(text, timeline, parse_error))
        return true;
    error = "line " + std::to_string(parse_error.line) + " (" + parse_error.reason + ")";
    return false;
}

std::string key_name(const KeyPlace& key)
{
    return std::string(DEMO_TRACK_NAMES[key.track]) + " at " + format_row(key.row);
}

// The keys a step changed, as an author knows them: by track and place in the music.
std::string keys_named(const std::vector<KeyPlace>& keys)
{
    if (keys.empty())
        return "no key";
    std::string named = key_name(keys.front());
    if (keys.size() > 1)
        named +=
            " and " + std::to_string(keys.size() - 1) + (keys.size() == 2 ? " other key" : " other keys");
    return named;
}

}  // namespace

namespace {

LiveAnswer edit(uint64_t version, const std::vector<EditOp>& ops, int32_t rows, double timeout_s)
{
    const std::lock_guard<std::mutex> lock(edit_mutex);
    const LiveSnapshot from = live_snapshot();
    LiveAnswer answer;
    if (version != from.version)
        return refuse(LiveStatus::Conflict,
                      "the timeline changed (version " + std::to_string(from.version) + "); reload");
    if (!may_change(from, answer))
        return answer;
    std::string result, error;
    if (!apply_edits(*from.text, ops, rows, result, error))
        return refuse(LiveStatus::BadRequest, error);
    // Whatever was previewed goes back to the file's keys, also when nothing changes.
    if (result == *from.text) {
        live_submit_preview({});
        return {LiveStatus::Ok, "", from.version};
    }
    auto keys = std::make_shared<Timeline>();
    if (!compile(result, *keys, error))
        return refuse(LiveStatus::BadRequest, "the edit would leave the timeline unreadable (" + error + ")");
    return commit(from, result, keys, timeout_s, [&](const Timeline& after) {
        history_record(history, *from.text, *from.good, result, after);
    });
}

LiveAnswer take_back(bool undo, double timeout_s)
{
    const std::lock_guard<std::mutex> lock(edit_mutex);
    const LiveSnapshot from = live_snapshot();
    LiveAnswer answer;
    if (!may_change(from, answer))
        return answer;
    const std::string verb = undo ? "undo" : "redo";
    const HistoryStep* step = history_next(history, undo);
    if (step == nullptr)
        return refuse(LiveStatus::Conflict, "nothing to " + verb);
    // A refused step is dropped, so that the steps before it stay in reach.
    const std::string refused = "cannot " + verb + " your change to " + keys_named(step->keys) + ": ";
    const std::string dropped = "; that step is dropped: " + verb + " again to reach the one before it";
    std::string result, error;
    if (!history_apply(*step, undo, *from.text, result, error)) {
        history_drop(history, undo);
        return refuse(LiveStatus::Conflict,
                      refused + "a save since has rewritten its lines in the file" + dropped);
    }
    auto keys = std::make_shared<Timeline>();
    if (!compile(result, *keys, error)) {
        history_drop(history, undo);
        return refuse(LiveStatus::Conflict,
                      refused + "the file has changed around it since, and taking it back now " +
                          "would leave " + error + " unreadable" + dropped);
    }
    // Only the keys the step changed may change: anything else means its lines now stand for
    // other keys.
    for (const KeyPlace& key : changed_keys(*from.good, *keys)) {
        const auto own = std::lower_bound(step->keys.begin(), step->keys.end(), key,
                                          [](const KeyPlace& a, const KeyPlace& b) {
                                              return a.track != b.track ? a.track < b.track : a.row < b.row;
                                          });
        if (own == step->keys.end() || !(*own == key)) {
            history_drop(history, undo);
            return refuse(LiveStatus::Conflict,
                          refused + "the file has changed since, and taking it back now would " +
                              "also change " + key_name(key) + dropped);
        }
    }
    return commit(from, result, keys, timeout_s, [&](const Timeline&) { history_commit(history, undo); });
}

}  // namespace

// A transaction's texts are megabytes for a large timeline; once it is over they go back to the
// system, rather than stay in the arena of the server thread that ran it.
LiveAnswer live_edit(uint64_t version, const std::vector<EditOp>& ops, int32_t rows, double timeout_s)
{
    const LiveAnswer answer = edit(version, ops, rows, timeout_s);
    malloc_trim(0);
    return answer;
}

LiveAnswer live_undo(bool undo, double timeout_s)
{
    const LiveAnswer answer = take_back(undo, timeout_s);
    malloc_trim(0);
    return answer;
}
