// Who may talk to the editor's server: the checks every request passes before it is answered,
// as pure functions over the request's head, so each refusal can be tested without a socket. The
// server refuses whatever these refuse and changes nothing then.
//
// Limits: a head (request line and headers) of at most 16 KB, a body of at most 1 MB (declared
// or, for a chunked body, counted while it is read). Nothing here reads a body or the file
// system. The token is 128 bits from the operating system, as 32 lowercase hex digits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t MAX_HEAD_BYTES = 16384;
constexpr size_t MAX_BODY_BYTES = 1048576;

// What the server serves: the port it listens on and the address given with --listen ("" for
// the loopback only).
struct ServedAddress {
    int port = 0;
    std::string listen;
};

struct RequestFacts {
    std::string method;  // "GET", "POST", ...
    std::string path;    // as decoded by the HTTP library
    std::string host;    // the first Host header
    bool has_origin = false;
    std::string origin;         // the first Origin header, "" when absent or empty
    std::string authorization;  // the Authorization header, "" when absent
    int host_headers = 1;       // how many Host headers came
    int origin_headers = 0;
    uint64_t body_bytes = 0;  // the declared Content-Length, 0 when none
};

struct Refusal {
    int status = 0;  // 0: allowed
    std::string reason;
};

// The first check the request fails, in this order: one Host (400), the right Host (403, against
// DNS rebinding), the declared body size (413), method (405; POST only under /api/, so that no
// body is read without the token), token on /api/* (401), one non-empty Origin that is the
// Host's own on POST and on the event stream (400 for two, 403 otherwise).
Refusal check_request(const RequestFacts& request, const ServedAddress& served, const std::string& token);

// The raw values of the headers the checks need, as sent: the HTTP library drops a header with an
// empty value, and an empty Origin must be seen to be refused.
struct HeadFacts {
    std::vector<std::string> hosts;
    std::vector<std::string> origins;
    bool keep_alive = false;  // "Connection: keep-alive", as browsers send it
};

// Reads the head at the start of `bytes` (it may hold the start of a body too). `head_bytes` is the
// head's length up to and including its blank line, 0 while it has not all arrived. Refuses a
// head over MAX_HEAD_BYTES (431) and a malformed request line or header line (400), naming it.
Refusal read_head(const std::string& bytes, size_t& head_bytes, HeadFacts& facts);

// "Bearer TOKEN" against the token, comparing every byte whatever the first difference.
bool token_matches(const std::string& authorization, const std::string& token);

// A fresh token; false when the operating system gives no randomness.
bool make_token(std::string& token);
