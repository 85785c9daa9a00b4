// Who may talk to the editor's server: the checks every request passes before it is answered,
// as pure functions over the request's method, path and headers, so each refusal can be tested
// without a socket. The server refuses whatever these refuse and changes nothing then.
//
// It does not read bodies (their size limit is the HTTP library's) and never looks at the file
// system. The token is 128 bits from the operating system, as 32 lowercase hex digits.
#pragma once

#include <string>

// What the server serves: the port it listens on and the address given with --listen ("" for
// the loopback only).
struct ServedAddress {
    int port = 0;
    std::string listen;
};

struct RequestFacts {
    std::string method;  // "GET", "POST", ...
    std::string path;    // as decoded by the HTTP library
    std::string host;    // the Host header
    bool has_origin = false;
    std::string origin;
    std::string authorization;  // the Authorization header, "" when absent
};

struct Refusal {
    int status = 0;  // 0: allowed
    std::string reason;
};

// The first check the request fails, in this order: Host (403, against DNS rebinding), method
// (405), token on /api/* (401), Origin on POST and on the event stream (403).
Refusal check_request(const RequestFacts& request, const ServedAddress& served, const std::string& token);

// "Bearer TOKEN" against the token, comparing every byte whatever the first difference.
bool token_matches(const std::string& authorization, const std::string& token);

// A fresh token; false when the operating system gives no randomness.
bool make_token(std::string& token);
