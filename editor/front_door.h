// The editor server's front door: one thread accepts every connection and reads its request head
// against a deadline, and a worker is taken only by a request whose head has fully arrived, so idle
// or slow clients hold a socket each and never a worker. A connection carries one request, except a
// browser's ("Connection: keep-alive"): after a good answer the door holds it again, idle for up to
// 2 s and then closed unanswered, for up to 100 requests; a refusal closes it. No worker ever waits
// for a client's next request.
//
// Limits and what happens at them: the head within 1.5 s of the connection (of its first byte on a
// kept connection), else 408 and close; at most 16 KB of head (431) and a well-formed one (400, see
// editor/security.h); 512 connections waiting for their heads, the oldest closed for a new one; the
// body read within 5 s and at most 3 MB on the wire (chunk framing included); a write blocked for
// 5 s ends the request; 24 workers.
// After the answer the socket's writing side is shut and what the client still sends is read and
// dropped for up to a second, so that it reads the answer rather than a reset. The door neither
// routes nor checks tokens: that is the HTTP library's and editor/security.h's.
#pragma once

#include <functional>
#include <string>

#include <httplib.h>

// The library's server, handed one request at a time by the door instead of running its own loop.
class DoorServer : public httplib::Server {
public:
    // Serves the one request read from `stream`, its answer saying "Connection: close" when `close`;
    // `setup` sees the request before any handler. False when the connection must close after it.
    bool serve(httplib::Stream& stream, bool close, const std::function<void(httplib::Request&)>& setup);
    socket_t listening_socket() const { return svr_sock_; }
    // Closes the bound socket; a chunked answer in progress ends at its next write.
    void close_listening();
};

// Starts the door's thread and its workers on `http`, already bound (bind_to_port).
void front_door_open(DoorServer& http);

// Stops accepting, closes every waiting connection and joins the door's thread and its workers
// (a request being served is finished first). Safe when the door never opened.
void front_door_close();

// The socket of the request the calling worker serves; -1 outside a request.
int front_door_socket();
