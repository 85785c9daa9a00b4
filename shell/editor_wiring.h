// Wires the editor's server (editor/) to the running demo for vordel --edit: the server reaches the
// timeline through the live timeline, and the transport through the hook made here, which carries
// each request out on the frame loop. The only file of the shell that knows the server.
#pragma once

#include <string>

#include "shell/options.h"

// Starts the server for `options`; false with a one-line reason (the port is taken, no token).
bool wire_editor(const Options& options, std::string& error);
