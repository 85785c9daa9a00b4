#include "shell/editor_wiring.h"

#include "editor/editor_server.h"
#include "shell/frame_tasks.h"
#include "shell/transport.h"

namespace {

bool carry_out(const TransportRequest& request, double timeout_s)
{
    const bool done = run_on_frame_loop(
        [request] {
            switch (request.action) {
            case TransportAction::Pause:
                transport_set_paused(true);
                break;
            case TransportAction::Play:
                transport_set_paused(false);
                break;
            case TransportAction::Seek:
                transport_seek(request.row);
                break;
            case TransportAction::Loop:
                transport_set_loop(request.first_bar, request.last_bar, request.loop_on);
                break;
            }
        },
        timeout_s);
    // Tasks run at the start of a frame and what it shows is published at its end: a task posted
    // now runs only after the frame that carried the request out was published.
    return done && run_on_frame_loop([] {}, timeout_s);
}

}  // namespace

bool wire_editor(const Options& options, std::string& error)
{
    EditorOptions editor;
    editor.port = options.port;
    editor.listen = options.listen;
    editor.transport = carry_out;
    return editor_start(editor, error);
}
