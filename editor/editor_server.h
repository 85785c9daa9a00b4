// The editor's HTTP server (vordel --edit): serves the embedded page and the JSON API over the
// running demo's timeline, on the loopback unless told otherwise, to whoever holds the token it
// prints at start. The API itself is described in README.md ("The editor's API").
//
// It runs on threads of its own: the timeline through the live timeline's transactions
// (live/live_edit.h), the transport through the hook the shell gives it. It writes nothing but the
// one timeline, and only through the edit, undo and redo requests. Connections, deadlines and
// worker counts are editor/front_door.h's; who may ask what, editor/security.h's.
#pragma once

#include <string>

#include "editor/api.h"

constexpr int EXIT_EDITOR_UNAVAILABLE = 69;  // the port is taken or no token could be made

struct EditorOptions {
    int port = 0;        // 0: any free port
    std::string listen;  // "" for the loopback only
    std::string music_path = "music.mp3";
    // Carries a transport request out on the frame loop and returns once a frame (drawn or not)
    // has published its result; false when the frame loop did not within `timeout_s` or is gone.
    bool (*transport)(const TransportRequest& request, double timeout_s) = nullptr;
};

// Binds the port, prints the "editor: http://HOST:PORT/#TOKEN" line on standard error and starts
// serving. False with a one-line reason when the port cannot be had; nothing keeps running then.
bool editor_start(const EditorOptions& options, std::string& error);

// Stops serving and joins every thread the server started; safe when it never started.
void editor_stop();
