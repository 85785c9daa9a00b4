#include "editor/editor_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <cstdio>
#include <mutex>
#include <thread>

#include <httplib.h>

#include "editor/api.h"
#include "editor/events.h"
#include "editor/front_door.h"
#include "editor/security.h"
#include "editor/waveform.h"
#include "editor/web_assets.h"
#include "live/live_edit.h"
#include "live/live_timeline.h"

namespace {

// How long a request waits for the frame loop or the music's decoding before giving up. Generous:
// a loaded machine draws slowly, and the request holds only its own thread.
constexpr double FRAME_TIMEOUT_S = 5.0;
constexpr double DECODE_TIMEOUT_S = 30.0;
// An idle stream repeats the state this often, which also finds clients that have gone.
constexpr double EVENT_REPEAT_S = 1.0;
constexpr double WATCH_WAIT_S = 0.5;
// Each stream holds one of the front door's workers while it lasts; the rest stay free for
// requests.
constexpr int MAX_STREAMS = 4;
// Versions whose keys are kept for answers that send only what changed since one of them: the
// page asks since the one it shows, a version or two back.
constexpr size_t VERSIONS_KEPT = 8;

// An event stream's hold on a slot: its socket, and a number that tells its holder apart from a
// later stream given the same slot.
struct StreamSlot {
    int sock = -1;
    uint64_t owner = 0;
};

struct ServerState {
    DoorServer http;
    ServedAddress served;
    std::string token;
    std::thread watcher;
    std::mutex running_mutex;
    bool running = true;
    bool (*transport)(const TransportRequest&, double) = nullptr;
    std::mutex streams_mutex;
    StreamSlot streams[MAX_STREAMS];
    uint64_t stream_owners = 0;
    std::mutex cache_mutex;
    // The answer is built once for each version and load result.
    uint64_t cached_version = 0;
    bool cached_ok = false;
    std::string cached_message;
    std::string cached_timeline;
    std::deque<std::pair<uint64_t, std::shared_ptr<const Timeline>>> recent;  // newest last
};

ServerState* server = nullptr;  // on the heap: never destroyed behind a thread still running

// A refusal closes its connection, whatever the request asked (editor/front_door.h).
void answer(httplib::Response& res, int status, const std::string& json)
{
    res.status = status;
    res.set_content(json, "application/json");
    if (status >= 400)
        res.set_header("Connection", "close");
}

bool still_running()
{
    const std::lock_guard<std::mutex> lock(server->running_mutex);
    return server->running;
}

bool music_rows(httplib::Response& res, int32_t& rows)
{
    const Waveform* waveform = nullptr;
    if (!waveform_wait(DECODE_TIMEOUT_S, waveform)) {
        answer(res, 503, error_json("the music's length is not known (music.mp3 not decoded)"));
        return false;
    }
    rows = waveform->rows;
    return true;
}

// The watch says "loaded PATH"; the page and scripts get "loaded" alone, and mistakes and file
// problems as the watch words them ("PATH:LINE: reason").
std::string load_message_of(const LiveSnapshot& snapshot)
{
    return snapshot.load_ok && snapshot.load_message == "loaded " + live_path() ? "loaded"
                                                                                : snapshot.load_message;
}

// Keeps a version's keys among the recent ones, for answers since it. Under cache_mutex.
void remember(const LiveSnapshot& snapshot)
{
    auto& recent = server->recent;
    if (snapshot.good && (recent.empty() || recent.back().first != snapshot.version)) {
        recent.emplace_back(snapshot.version, snapshot.good);
        if (recent.size() > VERSIONS_KEPT)
            recent.pop_front();
    }
}

// The answer for the current version, built once per version and load result; with `since`, one
// version the recent ones hold, only the tracks changed since it (not kept: it is small).
std::string timeline_answer(int32_t rows, const char* since = nullptr)
{
    const LiveSnapshot snapshot = live_snapshot();
    std::shared_ptr<const Timeline> base;
    char* end = nullptr;
    const uint64_t version = since != nullptr ? std::strtoull(since, &end, 10) : 0;
    {
        const std::lock_guard<std::mutex> lock(server->cache_mutex);
        remember(snapshot);
        for (const auto& [kept, timeline] : server->recent)
            if (since != nullptr && *since != '\0' && *end == '\0' && kept == version && snapshot.good)
                base = timeline;
        if (!base && server->cached_version == snapshot.version && server->cached_ok == snapshot.load_ok &&
            server->cached_message == snapshot.load_message && !server->cached_timeline.empty())
            return server->cached_timeline;
    }
    // Built outside the lock: a large model takes tens of ms, and other answers need not wait.
    if (base)
        return timeline_json(snapshot, load_message_of(snapshot), rows, version, base.get());
    std::string built = timeline_json(snapshot, load_message_of(snapshot), rows);
    const std::lock_guard<std::mutex> lock(server->cache_mutex);
    server->cached_timeline = built;
    server->cached_version = snapshot.version;
    server->cached_ok = snapshot.load_ok;
    server->cached_message = snapshot.load_message;
    return built;
}

void get_timeline(const httplib::Request& req, httplib::Response& res)
{
    int32_t rows = 0;
    const std::string since = req.get_param_value("since");
    if (music_rows(res, rows))
        answer(res, 200, timeline_answer(rows, req.has_param("since") ? since.c_str() : nullptr));
}

// The timeline's changes, as the watch sees them, go to the event stream.
void watch_timeline()
{
    uint64_t seen = ~uint64_t{0};
    while (still_running()) {
        const uint64_t counter = live_wait_change(seen, WATCH_WAIT_S);
        if (counter == seen)
            continue;
        seen = counter;
        const LiveSnapshot snapshot = live_snapshot();
        // Kept before it is announced: the page asks for what changed since the version it shows.
        {
            const std::lock_guard<std::mutex> lock(server->cache_mutex);
            remember(snapshot);
        }
        events_publish_timeline(snapshot.version, snapshot.load_ok, load_message_of(snapshot));
        // Scripts ask for the whole model on a new version: have it ready (the page's answer, of
        // what changed, does not wait for it).
        const Waveform* waveform = nullptr;
        if (waveform_wait(0.0, waveform))
            timeline_answer(waveform->rows);
    }
}

// A stream only learns that its client left at its next write, up to a second later; a new
// stream therefore also takes the slot of one whose client has hung up.
bool client_gone(int sock)
{
    pollfd entry{sock, POLLRDHUP, 0};
    return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

bool still_holds(int slot, uint64_t owner)
{
    const std::lock_guard<std::mutex> lock(server->streams_mutex);
    return server->streams[slot].owner == owner;
}

void get_events(httplib::Response& res)
{
    const int sock = front_door_socket();
    int slot = -1;
    uint64_t owner = 0;
    {
        const std::lock_guard<std::mutex> lock(server->streams_mutex);
        for (int i = 0; i < MAX_STREAMS && slot < 0; ++i)
            if (server->streams[i].sock < 0)
                slot = i;
        for (int i = 0; i < MAX_STREAMS && slot < 0; ++i)
            if (client_gone(server->streams[i].sock))
                slot = i;
        if (slot >= 0) {
            owner = ++server->stream_owners;
            server->streams[slot] = StreamSlot{sock, owner};
        }
    }
    if (slot < 0) {
        answer(res, 503, error_json("too many event streams (4)"));
        return;
    }
    const auto send = [seen = uint64_t{0}, slot, owner](size_t, httplib::DataSink& sink) mutable {
        std::string event;
        if (!still_holds(slot, owner))
            return false;
        if (!events_wait(seen, EVENT_REPEAT_S, event)) {
            sink.done();
            return true;
        }
        return sink.write(event.data(), event.size());
    };
    // Runs before the socket is closed, so a slot never names a socket that is gone.
    const auto release = [slot, owner](bool) {
        const std::lock_guard<std::mutex> lock(server->streams_mutex);
        if (server->streams[slot].owner == owner)
            server->streams[slot] = StreamSlot();
    };
    res.set_chunked_content_provider("text/event-stream", send, release);
}

// A transaction's outcome as the API answers it.
void answer_live(httplib::Response& res, const LiveAnswer& outcome)
{
    switch (outcome.status) {
    case LiveStatus::Ok:
        return answer(res, 200, version_json(outcome.version));
    case LiveStatus::BadRequest:
        return answer(res, 400, error_json(outcome.error));
    case LiveStatus::Conflict:
        return answer(res, 409, error_json(outcome.error));
    case LiveStatus::Failed:
        return answer(res, 500, error_json(outcome.error));
    case LiveStatus::Unavailable:
        return answer(res, 503, error_json(outcome.error));
    }
}

void post_edit(const httplib::Request& req, httplib::Response& res)
{
    uint64_t version = 0;
    std::vector<EditOp> ops;
    std::string error;
    int32_t rows = 0;
    if (!parse_edit(req.body, version, ops, error))
        return answer(res, 400, error_json(error));
    if (music_rows(res, rows))
        answer_live(res, live_edit(version, ops, rows, FRAME_TIMEOUT_S));
}

void post_history(const httplib::Request& req, httplib::Response& res, bool undo)
{
    if (!is_json_object(req.body))
        return answer(res, 400, error_json("the body is not a JSON object"));
    answer_live(res, live_undo(undo, FRAME_TIMEOUT_S));
}

// A preview is handed over and shown from the next frame on; nothing waits for it.
void post_preview(const httplib::Request& req, httplib::Response& res)
{
    int32_t rows = 0;
    if (!music_rows(res, rows))
        return;
    const LiveSnapshot snapshot = live_snapshot();
    if (!snapshot.good)
        return answer(res, 409, error_json("the timeline has a mistake: " + snapshot.load_message));
    std::vector<TrackPreview> previews;
    std::string error;
    if (!parse_preview(req.body, *snapshot.good, rows, previews, error))
        return answer(res, 400, error_json(error));
    live_submit_preview(std::move(previews));
    answer(res, 200, "{}");
}

void post_transport(const httplib::Request& req, httplib::Response& res)
{
    int32_t rows = 0;
    if (!music_rows(res, rows))
        return;
    TransportRequest request;
    std::string error;
    if (!parse_transport(req.body, rows, request, error))
        return answer(res, 400, error_json(error));
    if (server->transport == nullptr || !server->transport(request, FRAME_TIMEOUT_S))
        return answer(res, 503, error_json("the demo did not answer in time"));
    answer(res, 200, events_state_json());
}

void route_get(const httplib::Request& req, httplib::Response& res)
{
    if (req.path == "/api/timeline")
        return get_timeline(req, res);
    if (req.path == "/api/waveform") {
        int32_t rows = 0;
        if (music_rows(res, rows))
            answer(res, 200, waveform_json());
        return;
    }
    if (req.path == "/api/events")
        return get_events(res);
    const WebAsset* asset = find_web_asset(req.path);
    if (asset == nullptr)
        return answer(res, 404, error_json("not found"));
    res.set_content(reinterpret_cast<const char*>(asset->bytes), asset->size, asset->content_type);
}

void route_post(const httplib::Request& req, httplib::Response& res)
{
    if (req.path == "/api/edit")
        return post_edit(req, res);
    if (req.path == "/api/undo" || req.path == "/api/redo")
        return post_history(req, res, req.path == "/api/undo");
    if (req.path == "/api/preview")
        return post_preview(req, res);
    if (req.path == "/api/transport")
        return post_transport(req, res);
    answer(res, 404, error_json("not found"));
}

// Reads the body into memory, never more than MAX_BODY_BYTES of it whether its length was declared
// or it comes in chunks, and only then routes the request.
void post_with_body(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& read)
{
    std::string body;
    bool over = false;
    const bool complete = read([&](const char* data, size_t size) {
        over = body.size() + size > MAX_BODY_BYTES;
        if (!over)
            body.append(data, size);
        return !over;
    });
    if (over || res.status == 413)
        return answer(res, 413, error_json("the body is over 1 MB"));
    if (!complete)
        return answer(res, 400,
                      error_json("the body did not arrive whole within 5 s (malformed chunks, or fewer bytes "
                                 "than its Content-Length)"));
    httplib::Request whole = req;
    whole.body = std::move(body);
    route_post(whole, res);
}

// Host and Origin as the front door saw them, empty values included.
httplib::Server::HandlerResponse check(const httplib::Request& req, httplib::Response& res)
{
    RequestFacts facts;
    facts.method = req.method;
    facts.path = req.path;
    facts.host = req.get_header_value("Host");
    facts.has_origin = req.has_header("Origin");
    facts.origin = req.get_header_value("Origin");
    facts.authorization = req.get_header_value("Authorization");
    facts.host_headers = static_cast<int>(req.get_header_value_count("Host"));
    facts.origin_headers = static_cast<int>(req.get_header_value_count("Origin"));
    facts.body_bytes = req.get_header_value<uint64_t>("Content-Length");
    const Refusal refusal = check_request(facts, server->served, server->token);
    if (refusal.status == 0)
        return httplib::Server::HandlerResponse::Unhandled;
    answer(res, refusal.status, error_json(refusal.reason));
    return httplib::Server::HandlerResponse::Handled;
}

// The library's own refusals in our one-line form. The front door has already refused a malformed
// head, so a request line the library cannot read names a method it does not know.
void refusal_body(const httplib::Request& req, httplib::Response& res)
{
    if (!res.body.empty())
        return;
    const std::string reason =
        res.status == 413   ? "the body is over 1 MB"
        : res.status == 404 ? "not found"
        : res.status == 414 ? "the request's path is over 8 KB"
        : res.status == 416 ? "the Range header names no part of the answer"
        : res.status == 400 && req.method.empty()
            ? "the request line is not METHOD /PATH HTTP/1.1 with a method this server knows"
            : "the request could not be read (status " + std::to_string(res.status) + ")";
    res.set_content(error_json(reason), "application/json");
    res.set_header("Connection", "close");
}

// Only SO_REUSEADDR: the library's default also shares the port with another program listening
// on it, which would hide a port in use.
void socket_options(socket_t sock)
{
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void stop_threads()
{
    {
        const std::lock_guard<std::mutex> lock(server->running_mutex);
        server->running = false;
    }
    events_close();
    front_door_close();
    if (server->watcher.joinable())
        server->watcher.join();
    waveform_stop();
}

}  // namespace

bool editor_start(const EditorOptions& options, std::string& error)
{
    server = new ServerState;
    server->served.listen = options.listen;
    const std::string address = options.listen.empty() ? "127.0.0.1" : options.listen;
    if (!make_token(server->token)) {
        error = "the editor has no random token (getrandom failed)";
        delete server;
        server = nullptr;
        return false;
    }
    DoorServer& http = server->http;
    http.set_socket_options(socket_options);
    http.set_payload_max_length(MAX_BODY_BYTES);
    http.set_default_headers({{"X-Content-Type-Options", "nosniff"}, {"Cache-Control", "no-store"}});
    http.set_pre_routing_handler(check);
    http.set_error_handler(refusal_body);
    http.Get(".*", route_get);
    http.Post(".*", post_with_body);
    const int port = options.port == 0                          ? http.bind_to_any_port(address)
                     : http.bind_to_port(address, options.port) ? options.port
                                                                : -1;
    if (port <= 0) {
        error = "the editor cannot serve on " + address + ":" + std::to_string(options.port) + " (in use?)";
        delete server;
        server = nullptr;
        return false;
    }
    server->served.port = port;
    events_open();
    server->transport = options.transport;
    waveform_start(options.music_path);
    server->watcher = std::thread(watch_timeline);
    // Connections are taken from here on; the port was already listening, so none is lost.
    front_door_open(http);
    if (!options.listen.empty())
        std::fprintf(stderr,
                     "editor: warning: serving on %s, not only this machine: whoever reaches it with the "
                     "token can change the timeline\n",
                     options.listen.c_str());
    const std::string host = address.find(':') == std::string::npos ? address : "[" + address + "]";
    std::fprintf(stderr, "editor: http://%s:%d/#%s\n", host.c_str(), port, server->token.c_str());
    return true;
}

void editor_stop()
{
    if (server == nullptr)
        return;
    stop_threads();
    delete server;
    server = nullptr;
}
