// The editor server's admission checks: every refusal, and what must still pass, as one table.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "editor/security.h"

namespace {

const std::string TOKEN = "0123456789abcdef0123456789abcdef";
const std::string BEARER = "Bearer " + TOKEN;
const std::string HOST = "127.0.0.1:8517";
const std::string OWN = "http://127.0.0.1:8517";

}  // namespace

TEST(EditorSecurity, EveryRefusalAndWhatPasses)
{
    struct Case {
        std::string listen;
        RequestFacts request;  // method, path, host, has_origin, origin, authorization, counts, size
        int status;
        std::string reason;
    };
    // clang-format off
    const Case cases[] = {
        // The page's files need no token: the page is opened by a plain address.
        {"", {"GET", "/", HOST, false, "", ""}, 0, ""},
        {"", {"GET", "/main.js", "localhost:8517", false, "", ""}, 0, ""},
        // DNS rebinding: any other name or port, or none.
        {"", {"GET", "/", "evil.example:8517", false, "", ""}, 403, "bad host"},
        {"", {"GET", "/api/timeline", "127.0.0.1:8518", false, "", BEARER}, 403, "bad host"},
        {"", {"GET", "/", "127.0.0.1", false, "", ""}, 403, "bad host"},
        {"", {"GET", "/", "", false, "", ""}, 403, "bad host"},
        {"", {"GET", "/", "192.168.1.5:8517", false, "", ""}, 403, "bad host"},
        {"192.168.1.5", {"GET", "/", "192.168.1.5:8517", false, "", ""}, 0, ""},
        {"::1", {"GET", "/", "[::1]:8517", false, "", ""}, 0, ""},
        {"::1", {"GET", "/", "::1:8517", false, "", ""}, 403, "bad host"},
        // Methods other than GET and POST, OPTIONS included: no pre-flight is ever answered.
        {"", {"OPTIONS", "/api/edit", HOST, true, "http://evil.example", ""}, 405, "method not allowed"},
        {"", {"PUT", "/api/edit", HOST, false, "", BEARER}, 405, "method not allowed"},
        // The token, on every /api/ path.
        {"", {"GET", "/api/timeline", HOST, false, "", ""}, 401, "missing or wrong token"},
        {"", {"GET", "/api/events", HOST, false, "", "Bearer " + TOKEN.substr(0, 31) + "0"}, 401, "missing or wrong token"},
        {"", {"GET", "/api/timeline", HOST, false, "", "Bearer " + TOKEN.substr(0, 31)}, 401, "missing or wrong token"},
        {"", {"GET", "/api/timeline", HOST, false, "", BEARER + "0"}, 401, "missing or wrong token"},
        {"", {"GET", "/api/timeline", HOST, false, "", "bearer " + TOKEN}, 401, "missing or wrong token"},
        {"", {"POST", "/api/nowhere", HOST, false, "", TOKEN}, 401, "missing or wrong token"},
        {"", {"GET", "/api/timeline", HOST, false, "", BEARER}, 0, ""},
        // A browser's Origin on changes and on the stream must be the Host's own.
        {"", {"POST", "/api/edit", HOST, true, "http://evil.example", BEARER}, 403, "cross-origin request refused"},
        {"", {"POST", "/api/undo", HOST, true, "null", BEARER}, 403, "cross-origin request refused"},
        {"", {"POST", "/api/edit", HOST, true, "http://localhost:8517", BEARER}, 403, "cross-origin request refused"},
        {"", {"POST", "/api/edit", HOST, true, "https://127.0.0.1:8517", BEARER}, 403, "cross-origin request refused"},
        {"", {"GET", "/api/events", HOST, true, "http://evil.example", BEARER}, 403, "cross-origin request refused"},
        {"", {"POST", "/api/edit", HOST, true, OWN, BEARER}, 0, ""},
        {"", {"POST", "/api/transport", "localhost:8517", true, "http://localhost:8517", BEARER}, 0, ""},
        {"", {"GET", "/api/events", HOST, false, "", BEARER}, 0, ""},
        // Raw facts: header counts, an empty Origin (the HTTP library would drop it), a declared size.
        {"", {"GET", "/", HOST, false, "", "", 2}, 400, "more than one Host header"},
        {"", {"POST", "/api/edit", HOST, true, "", BEARER}, 403, "empty Origin refused"},
        {"", {"GET", "/api/events", HOST, true, "", BEARER}, 403, "empty Origin refused"},
        {"", {"GET", "/api/timeline", HOST, true, "", BEARER}, 0, ""},
        {"", {"POST", "/api/edit", HOST, true, OWN, BEARER, 1, 2}, 400, "more than one Origin header"},
        {"", {"POST", "/api/edit", HOST, false, "", "", 1, 0, 1048577}, 413, "the body is over 1 MB"},
        {"", {"POST", "/api/edit", HOST, false, "", BEARER, 1, 0, 1048576}, 0, ""},
        {"", {"POST", "/index.html", HOST, false, "", ""}, 405, "POST is only for /api/ paths"},
    };
    // clang-format on
    for (const Case& c : cases) {
        ServedAddress served;
        served.port = 8517;
        served.listen = c.listen;
        const Refusal refusal = check_request(c.request, served, TOKEN);
        EXPECT_EQ(refusal.status, c.status)
            << c.request.method << " " << c.request.path << " " << c.request.host;
        EXPECT_EQ(refusal.reason, c.reason)
            << c.request.method << " " << c.request.path << " " << c.request.host;
    }
}

TEST(EditorSecurity, HeadsAreReadWholeOrRefusedByName)
{
    const std::string line = "GET /api/events HTTP/1.1\r\n";
    const std::string two_hosts = line + "Host:  a:1 \r\nhost: b\r\n\r\n";
    const std::string empty_origins = line + "Origin:\r\nORIGIN: \t\r\n\r\n";
    struct Case {
        std::string bytes;
        int status;
        std::string reason;
        size_t head_bytes;
        std::vector<std::string> hosts, origins;
    };
    // clang-format off
    const Case cases[] = {
        {"", 0, "", 0, {}, {}},
        {line + "Host: a", 0, "", 0, {}, {}},
        {two_hosts + "BODY", 0, "", two_hosts.size(), {"a:1", "b"}, {}},
        {empty_origins, 0, "", empty_origins.size(), {}, {"", ""}},
        {"GET / HTTP/1.0\r\n\r\n", 0, "", 18, {}, {}},
        {std::string(MAX_HEAD_BYTES + 1, 'a'), 431, "the request's head is over 16 KB", 0, {}, {}},
        {line + "X: " + std::string(MAX_HEAD_BYTES, 'a') + "\r\n\r\n", 431, "the request's head is over 16 KB", 0, {}, {}},
        {"GET /\r\n\r\n", 400, "the request line is not METHOD /PATH HTTP/1.1", 0, {}, {}},
        {"GET  / HTTP/1.1\r\n\r\n", 400, "the request line is not METHOD /PATH HTTP/1.1", 0, {}, {}},
        {"GET http://a/ HTTP/1.1\r\n\r\n", 400, "the request line is not METHOD /PATH HTTP/1.1", 0, {}, {}},
        {"GET / HTTP/2\r\n\r\n", 400, "the request line is not METHOD /PATH HTTP/1.1", 0, {}, {}},
        {line + "Host: a\r\nno colon\r\n\r\n", 400, "header line 2 is not NAME: VALUE", 0, {}, {}},
        {line + " Host: folded\r\n\r\n", 400, "header line 1 is not NAME: VALUE", 0, {}, {}},
        {line + ": empty name\r\n\r\n", 400, "header line 1 is not NAME: VALUE", 0, {}, {}},
        {line + "Host: a\nHost: b\r\n\r\n", 400, "header line 1 holds a control character", 0, {}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        size_t head_bytes = 99;
        HeadFacts facts;
        const Refusal refusal = read_head(c.bytes, head_bytes, facts);
        const std::string shown = c.bytes.substr(0, 60);
        EXPECT_EQ(refusal.status, c.status) << shown;
        EXPECT_EQ(refusal.reason, c.reason) << shown;
        EXPECT_EQ(head_bytes, c.head_bytes) << shown;
        if (c.status == 0 && c.head_bytes != 0) {
            EXPECT_EQ(facts.hosts, c.hosts) << shown;
            EXPECT_EQ(facts.origins, c.origins) << shown;
        }
    }
}

TEST(EditorSecurity, OnlyABrowsersKeepAliveKeepsTheConnection)
{
    const std::string line = "GET /api/timeline HTTP/1.1\r\n";
    const std::pair<std::string, bool> cases[] = {
        {line + "Connection: keep-alive\r\n\r\n", true},
        {line + "connection:  Keep-Alive \r\n\r\n", true},
        {line + "Connection: close\r\n\r\n", false},
        {line + "Connection: keep-alive\r\nConnection: close\r\n\r\n", false},  // the last one says
        {line + "Connection: keep-alive, Upgrade\r\n\r\n", false},
        {line + "\r\n", false},
    };
    for (const auto& [bytes, kept] : cases) {
        size_t head_bytes = 0;
        HeadFacts facts;
        EXPECT_EQ(read_head(bytes, head_bytes, facts).status, 0) << bytes;
        EXPECT_EQ(facts.keep_alive, kept) << bytes;
    }
}

TEST(EditorSecurity, TokensAre128FreshBitsInHex)
{
    std::string first, second;
    ASSERT_TRUE(make_token(first));
    ASSERT_TRUE(make_token(second));
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(first, second);
    EXPECT_FALSE(token_matches("Bearer ", ""));
}
