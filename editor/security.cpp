#include "editor/security.h"

#include <sys/random.h>

#include <cstdio>

namespace {

constexpr size_t TOKEN_BYTES = 16;

// An IPv6 address is written in brackets before its port.
std::string host_with_port(const std::string& address, int port)
{
    const std::string name = address.find(':') == std::string::npos ? address : "[" + address + "]";
    return name + ":" + std::to_string(port);
}

bool host_allowed(const std::string& host, const ServedAddress& served)
{
    if (host == host_with_port("127.0.0.1", served.port) || host == host_with_port("localhost", served.port))
        return true;
    return !served.listen.empty() && host == host_with_port(served.listen, served.port);
}

bool is_api(const std::string& path)
{
    return path.compare(0, 5, "/api/") == 0;
}

}  // namespace

bool token_matches(const std::string& authorization, const std::string& token)
{
    const std::string expected = "Bearer " + token;
    // Every byte is compared, so the time taken tells nothing of where a guess goes wrong.
    unsigned difference = authorization.size() == expected.size() ? 0u : 1u;
    for (size_t i = 0; i < expected.size(); ++i) {
        const unsigned char seen =
            i < authorization.size() ? static_cast<unsigned char>(authorization[i]) : 0;
        difference |= static_cast<unsigned>(seen ^ static_cast<unsigned char>(expected[i]));
    }
    return difference == 0 && !token.empty();
}

Refusal check_request(const RequestFacts& request, const ServedAddress& served, const std::string& token)
{
    if (!host_allowed(request.host, served))
        return {403, "bad host"};
    const bool post = request.method == "POST";
    if (!post && request.method != "GET")
        return {405, "method not allowed"};
    if (!is_api(request.path))
        return {};
    if (!token_matches(request.authorization, token))
        return {401, "missing or wrong token"};
    // A browser names the page that sent a request; only the server's own page may change things
    // or read the stream. Tools that send no Origin are not browsers and carry the token.
    if ((post || request.path == "/api/events") && request.has_origin &&
        request.origin != "http://" + request.host)
        return {403, "cross-origin request refused"};
    return {};
}

bool make_token(std::string& token)
{
    unsigned char bytes[TOKEN_BYTES];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        return false;
    token.clear();
    for (unsigned char byte : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        token += hex;
    }
    return true;
}
