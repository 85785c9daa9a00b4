// The live timeline of the authoring mode: the one owner of "the timeline now". It holds the text
// the frame loop runs, the keys compiled from it and its version, and takes new content from the
// file's watch and the editor's transactions (live_edit.h) through a hand-over that never blocks
// the frame loop and never grows: one pending install and one pending preview, a newer one
// replacing the older (the older was never shown, so nothing that plays is lost).
//
// A version is a name for exactly one text and its keys, handed out only once the frame loop has
// installed them: whatever a snapshot calls version V is what V's frames draw. It counts up by one
// for each installed text that differs from the one before. Any thread may call these functions
// unless a comment names the frame loop; nothing here touches GL, files or the audio layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sync/demo_tracks.h"
#include "timeline/timeline.h"

// What the frame loop runs, and the last outcome shown (a good load, a mistake or a file problem).
struct LiveSnapshot {
    uint64_t version = 0;                     // 0 until the first good text is installed
    std::shared_ptr<const std::string> text;  // that version's text; null before it
    std::shared_ptr<const Timeline> good;     // the keys compiled from `text`
    bool load_ok = false;                     // the last outcome
    std::string load_message;                 // "loaded PATH", "PATH:LINE: reason", "PATH: problem"
    uint64_t change_counter = 0;              // moves with every install and every outcome shown
};

// Keys one track shows from the next frame on, without any file changing.
struct TrackPreview {
    int track = 0;  // demo order
    std::vector<TrackKey> keys;
};

// Before anything is submitted: the file the timeline lives in (for edits and messages).
void live_open(const std::string& path);
const std::string& live_path();

// The state the frame loop runs now.
LiveSnapshot live_snapshot();

// The text of the newest content handed over, installed or still pending: what the watch compares a
// new read with. Null before the first.
std::shared_ptr<const std::string> live_latest_text();

// Hands over a compiled good text to install, with its outcome message. Replaces an install still
// pending and drops a pending preview. Returns a ticket for live_wait_installed, or 0 when the keys
// could not be allocated (the outcome then says so) or the hand-over is closed.
uint64_t live_submit_install(std::shared_ptr<const std::string> text,
                             std::shared_ptr<const Timeline> timeline, const std::string& message);

// Hands over an outcome that installs nothing (a mistake, a file problem, or "loaded" for a text
// already installed). A newer outcome replaces one still pending.
void live_submit_outcome(bool ok, const std::string& message);

// Hands over the keys some tracks show instead of the file's; an empty list takes every preview
// back. Tracks not in the list show the file's keys again.
void live_submit_preview(std::vector<TrackPreview> previews);

// Frame loop only (or a thread standing in for it in tests): installs what is pending into
// `sync`'s tracks, then the preview, then shows the outcome (printed on standard error when it
// changed or installed something). Takes a lock for pointer moves only; the replaced keys are freed
// by live_free_released, off the frame loop. True when anything was pending.
bool live_drain(SyncState& sync);

// Frees what the frame loop replaced; the watch thread calls it as it polls.
void live_free_released();

// Waits until the install with `ticket` (or a newer one) has been drained, or `timeout_s` passed,
// or the hand-over was closed. True when installed.
bool live_wait_installed(uint64_t ticket, double timeout_s);

// Waits until the change counter differs from `seen` or `timeout_s` passes; returns the counter.
uint64_t live_wait_change(uint64_t seen, double timeout_s);

// After the frame loop's last frame: nothing is installed any more, and every waiter is answered
// at once.
void live_close();
bool live_closed();
