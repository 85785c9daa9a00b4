#include "editor/security.h"

#include <strings.h>
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

bool is_token_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string("!#$%&'*+-.^_`|~").find(c) != std::string::npos;
}

bool is_token(const std::string& text)
{
    for (char c : text)
        if (!is_token_char(c))
            return false;
    return !text.empty();
}

// Control characters other than tab; a lone CR or LF inside a line is one of them.
bool has_control(const std::string& text)
{
    for (char c : text)
        if ((static_cast<unsigned char>(c) < 32 && c != '\t') || c == 127)
            return true;
    return false;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool request_line_ok(const std::string& line)
{
    const size_t first = line.find(' ');
    const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.find(' ', second + 1) != std::string::npos)
        return false;
    const std::string method = line.substr(0, first);
    const std::string target = line.substr(first + 1, second - first - 1);
    const std::string version = line.substr(second + 1);
    return is_token(method) && !target.empty() && target[0] == '/' && !has_control(target) &&
           (version == "HTTP/1.1" || version == "HTTP/1.0");
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
    // Two Host headers could name two hosts, one checked here and another seen by someone else.
    if (request.host_headers > 1)
        return {400, "more than one Host header"};
    if (!host_allowed(request.host, served))
        return {403, "bad host"};
    if (request.body_bytes > MAX_BODY_BYTES)
        return {413, "the body is over 1 MB"};
    const bool post = request.method == "POST";
    if (!post && request.method != "GET")
        return {405, "method not allowed"};
    if (post && !is_api(request.path))
        return {405, "POST is only for /api/ paths"};
    if (!is_api(request.path))
        return {};
    if (!token_matches(request.authorization, token))
        return {401, "missing or wrong token"};
    // A browser names the page that sent a request; only the server's own page may change things
    // or read the stream. Tools that send no Origin are not browsers and carry the token.
    if (!post && request.path != "/api/events")
        return {};
    if (request.origin_headers > 1)
        return {400, "more than one Origin header"};
    if (request.has_origin && request.origin.empty())
        return {403, "empty Origin refused"};
    if (request.has_origin && request.origin != "http://" + request.host)
        return {403, "cross-origin request refused"};
    return {};
}

Refusal read_head(const std::string& bytes, size_t& head_bytes, HeadFacts& facts)
{
    head_bytes = 0;
    facts = HeadFacts();
    const size_t end = bytes.find("\r\n\r\n");
    if (end == std::string::npos ? bytes.size() > MAX_HEAD_BYTES : end + 4 > MAX_HEAD_BYTES)
        return {431, "the request's head is over 16 KB"};
    if (end == std::string::npos)
        return {};
    size_t start = bytes.find("\r\n");
    if (!request_line_ok(bytes.substr(0, start)))
        return {400, "the request line is not METHOD /PATH HTTP/1.1"};
    for (int number = 1; start < end; ++number) {
        const size_t next = bytes.find("\r\n", start + 2);
        const std::string line = bytes.substr(start + 2, next - start - 2);
        start = next;
        const size_t colon = line.find(':');
        const std::string name = line.substr(0, colon);
        if (colon == std::string::npos || !is_token(name))
            return {400, "header line " + std::to_string(number) + " is not NAME: VALUE"};
        const std::string value = trimmed(line.substr(colon + 1));
        if (has_control(value))
            return {400, "header line " + std::to_string(number) + " holds a control character"};
        if (strcasecmp(name.c_str(), "Host") == 0)
            facts.hosts.push_back(value);
        if (strcasecmp(name.c_str(), "Origin") == 0)
            facts.origins.push_back(value);
        if (strcasecmp(name.c_str(), "Connection") == 0)
            facts.keep_alive = strcasecmp(value.c_str(), "keep-alive") == 0;
    }
    head_bytes = end + 4;
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
