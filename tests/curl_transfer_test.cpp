// The libcurl transfer against scripted servers on loopback: every way a GET can
// end (status, sizes and framings, the cap, a cut, a stall, the overall bound
// against a trickle, a refusal, a cancel, redirects, the proxy rule), what goes
// on the wire, the connection kept, and libcurl's results classified. What the
// window and the service make of a result is tested on their own thin layers.
#include "transfer/curl_transfer.h"

#include "loopback_http_server.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace
{

using namespace std::chrono_literals;
using core::DownloadFailure;
using core::DownloadLimits;

// Printable bytes that differ from one position to the next.
std::string pattern(std::size_t size)
{
    std::string bytes(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char('!' + (i * 7 + i / 91) % 90);
    return bytes;
}

std::string head(std::size_t length)
{
    return loopback::responseHead(200, {{"Content-Length", std::to_string(length)}});
}

std::string chunkedHead()
{
    return loopback::responseHead(200, {{"Transfer-Encoding", "chunked"}});
}

// The first bytes at once, then one at a time every 100 ms.
loopback::Answer trickle(const std::string &first, const std::string &bytes)
{
    loopback::Answer answer;
    answer.send(first);
    for (char c : bytes)
        answer.pause(100ms).send(std::string(1, c));
    return answer;
}

// Sets the proxy variables for one row and puts the old values back.
class ProxyEnvironment
{
public:
    ProxyEnvironment(const std::string &proxy, const char *noProxy)
    {
        for (const char *name :
            {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            const char *value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        if (!proxy.empty())
            ::setenv("http_proxy", proxy.c_str(), 1);
        if (noProxy)
            ::setenv("no_proxy", noProxy, 1);
    }
    ~ProxyEnvironment()
    {
        for (const auto &[name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// A listener whose queue is full leaves new connections unanswered, so only the
// connect time-out can end a GET there.
class FullQueue
{
public:
    FullQueue()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 0);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        for (int i = 0; i < 3; ++i) {
            m_fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            ::connect(m_fillers.back(), reinterpret_cast<sockaddr *>(&address), sizeof address);
        }
    }
    ~FullQueue()
    {
        for (const int filler : m_fillers)
            ::close(filler);
        ::close(m_listener);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/x"; }

private:
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::vector<int> m_fillers;
};

class CurlTransferTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.start());
        ASSERT_TRUE(m_transfer.isOpen());
    }

    void serve(const std::string &path, loopback::Answer answer)
    {
        const std::lock_guard lock(m_mutex);
        m_answers[path] = answer;
    }
    std::string url(const std::string &path) const { return m_server.baseUrl() + path; }

    std::mutex m_mutex; // guards m_answers, read by the server's threads
    std::map<std::string, loopback::Answer> m_answers;
    loopback::Server m_server {[this](const loopback::Request &request) {
        const std::lock_guard lock(m_mutex);
        const auto found = m_answers.find(request.target);
        return found != m_answers.end() ? found->second : loopback::response(404, "none");
    }};
    transfer::CurlTransfer m_transfer {"korvalux-test"};
};

TEST_F(CurlTransferTest, EndsEveryWayAGetCan)
{
    const std::string body = pattern(400);
    const std::string big = pattern(300000);
    std::string chunks;
    for (std::size_t at = 0; at < 20000; at += 7000)
        chunks += loopback::chunk(
            std::string_view(big).substr(at, std::min<std::size_t>(7000, 20000 - at)));
    serve("/200", loopback::response(200, "page"));
    serve("/404", loopback::response(404, "not here"));
    serve("/503", loopback::response(503, ""));
    serve("/empty", loopback::response(200, ""));
    serve("/8192", loopback::response(200, big.substr(0, 8192)));
    serve("/300000", loopback::response(200, big));
    serve("/chunked", loopback::Answer().send(chunkedHead()).send(chunks + loopback::chunk("")));
    serve("/close", loopback::Answer().send(loopback::responseHead(200) + body).close());
    serve("/cap", loopback::response(200, pattern(1000)));
    serve("/overCap", loopback::response(200, pattern(1001)));
    serve("/overCapChunked",
        loopback::Answer().send(chunkedHead()).send(loopback::chunk(big) + loopback::chunk("")));
    serve("/cut", loopback::Answer().send(head(1000) + body).close());
    serve("/cutChunk",
        loopback::Answer().send(chunkedHead()).send(loopback::chunk(body) + "3e8\r\nabc").close());
    serve("/silent", loopback::Answer().pause(10s));
    serve("/stalledHead", loopback::Answer().send(head(1000)).pause(10s));
    serve("/stalledBody", loopback::Answer().send(head(1000) + body.substr(0, 100)).pause(10s));
    // 30 s at the trickle's pace: only a limit ends these.
    serve("/trickledBody", trickle(head(300), pattern(300)));
    serve("/trickledHead", trickle("", head(300) + pattern(300)));
    serve("/trickledChunks",
        trickle(chunkedHead(), loopback::chunk("a") + loopback::chunk(pattern(300))));
    serve("/steady", trickle(head(12), pattern(12)));
    for (int hop = 0; hop < 11; ++hop) {
        serve("/hop" + std::to_string(hop),
            loopback::response(302, "moved", {{"Location", "/hop" + std::to_string(hop + 1)}}));
    }
    serve("/hop11", loopback::response(200, "arrived"));
    serve("/absolute", loopback::response(301, "", {{"Location", url("/hop11")}}));
    serve("/toFtp", loopback::response(302, "", {{"Location", "ftp://127.0.0.1/x"}}));
    // A "#" in a Location header starts a fragment, which is not sent.
    serve("/away", loopback::response(302, "", {{"Location", "http://0.0.0.0:9/moved#x"}}));

    loopback::Server gone([](const loopback::Request &) { return loopback::response(200, ""); });
    ASSERT_TRUE(gone.start());
    const std::string refused = gone.baseUrl() + "/x";
    gone.stop(); // nobody listens on a port just given back
    const FullQueue fullQueue;
    // A proxy that answers everything itself, but sends a request for /back on
    // to this server's /200.
    loopback::Server proxy([this](const loopback::Request &request) {
        if (request.target.ends_with("/back"))
            return loopback::response(302, "", {{"Location", url("/200")}});
        return loopback::response(200, "via proxy");
    });
    ASSERT_TRUE(proxy.start());
    const std::string port = std::to_string(m_server.port());

    const DownloadLimits defaults;
    const DownloadLimits capped {60s, 60s, 1000, 60s};
    const DownloadLimits stall {60s, 300ms, 1 << 20, 60s};
    const DownloadLimits bound {60s, 2s, 1 << 20, 700ms};
    const DownloadLimits steady {60s, 1s, 1 << 20, 60s};
    const DownloadLimits connect {300ms, 1h, 1000, 1h};
    const std::optional<DownloadFailure> none = DownloadFailure::None;
    struct Row {
        const char *name;
        std::string url;
        DownloadLimits limits {};
        std::chrono::milliseconds cancelAfter {-1}; // negative: never
        bool viaProxy = false; // http_proxy names the proxy above
        const char *noProxy = nullptr;
        long status = 200;
        std::string body = "";
        bool prefix = false; // only a part of body, from its start, arrives
        std::optional<DownloadFailure> failure = std::nullopt; // nullopt: whichever
        std::string error = ""; // a part of the error text
        std::size_t proxied = 0; // requests the proxy saw
    };
    const Row rows[] = {
        {.name = "200", .url = url("/200"), .body = "page", .failure = none},
        {.name = "404 with its body",
            .url = url("/404"),
            .status = 404,
            .body = "not here",
            .failure = none},
        {.name = "503 empty", .url = url("/503"), .status = 503, .failure = none},
        {.name = "empty", .url = url("/empty"), .failure = none},
        {.name = "one read", .url = url("/8192"), .body = big.substr(0, 8192), .failure = none},
        {.name = "many reads", .url = url("/300000"), .body = big, .failure = none},
        {.name = "chunked", .url = url("/chunked"), .body = big.substr(0, 20000), .failure = none},
        {.name = "ended by a close", .url = url("/close"), .body = body, .failure = none},
        {.name = "at the cap",
            .url = url("/cap"),
            .limits = capped,
            .body = pattern(1000),
            .failure = none},
        {.name = "over the cap",
            .url = url("/overCap"),
            .limits = capped,
            .failure = DownloadFailure::TooLarge,
            .error = "body: larger than 1000 bytes"},
        {.name = "over the cap, chunked",
            .url = url("/overCapChunked"),
            .limits = capped,
            .failure = DownloadFailure::TooLarge,
            .error = "larger than 1000 bytes"},
        // libcurl's words differ by release ("transfer closed with 600 bytes
        // remaining to read", "end of response with 600 bytes missing").
        {.name = "cut short of its length",
            .url = url("/cut"),
            .body = body,
            .failure = DownloadFailure::Cut,
            .error = "600 bytes"},
        {.name = "cut mid-chunk",
            .url = url("/cutChunk"),
            .body = body + "abc",
            .failure = DownloadFailure::Cut,
            .error = "body: "},
        {.name = "silent",
            .url = url("/silent"),
            .limits = stall,
            .status = 0,
            .failure = DownloadFailure::TimedOut,
            .error = "receive: nothing for 300 ms"},
        {.name = "stalled after the head",
            .url = url("/stalledHead"),
            .limits = stall,
            .failure = DownloadFailure::TimedOut,
            .error = "nothing for 300 ms"},
        {.name = "stalled mid-body",
            .url = url("/stalledBody"),
            .limits = stall,
            .body = body.substr(0, 100),
            .failure = DownloadFailure::TimedOut},
        {.name = "trickled body past the bound",
            .url = url("/trickledBody"),
            .limits = bound,
            .body = pattern(300),
            .prefix = true,
            .failure = DownloadFailure::TimedOut,
            .error = "time-out: "},
        {.name = "trickled head past the bound",
            .url = url("/trickledHead"),
            .limits = bound,
            .status = 0,
            .failure = DownloadFailure::TimedOut},
        {.name = "trickled chunks past the bound",
            .url = url("/trickledChunks"),
            .limits = bound,
            .body = "a" + pattern(300),
            .prefix = true,
            .failure = DownloadFailure::TimedOut},
        // Gaps within the stall limit, a whole longer than it: the stall counts
        // from the last byte, not from the start.
        {.name = "slow but steady",
            .url = url("/steady"),
            .limits = steady,
            .body = pattern(12),
            .failure = none},
        {.name = "never accepted",
            .url = fullQueue.url(),
            .limits = connect,
            .status = 0,
            .failure = DownloadFailure::TimedOut,
            .error = "time-out: "},
        {.name = "refused",
            .url = refused,
            .status = 0,
            .failure = DownloadFailure::ConnectionRefused,
            .error = "connect: "},
        {.name = "cancelled mid-body",
            .url = url("/trickledBody"),
            .cancelAfter = 300ms,
            .body = pattern(300),
            .prefix = true,
            .failure = DownloadFailure::Cancelled,
            .error = "cancelled"},
        {.name = "ten redirects", .url = url("/hop1"), .body = "arrived", .failure = none},
        {.name = "absolute redirect", .url = url("/absolute"), .body = "arrived", .failure = none},
        {.name = "eleven redirects",
            .url = url("/hop0"),
            .status = 302,
            .body = "moved",
            .failure = DownloadFailure::Other,
            .error = "redirect: more than 10"},
        {.name = "redirect to ftp",
            .url = url("/toFtp"),
            .status = 0,
            .failure = DownloadFailure::Other,
            .error = "address: "},
        {.name = "not an address",
            .url = "not an address",
            .status = 0,
            .failure = DownloadFailure::Other,
            .error = "address: "},
        {.name = "file scheme",
            .url = "file:///etc/hostname",
            .status = 0,
            .failure = DownloadFailure::Other,
            .error = "address: "},
        // The proxy rule: loopback never through the proxy, on every hop; any
        // other host (0.0.0.0 here, refused on port 9 when asked directly) through it.
        {.name = "127.0.0.1 direct",
            .url = url("/200"),
            .viaProxy = true,
            .body = "page",
            .failure = none},
        {.name = "localhost direct",
            .url = "http://LocalHost:" + port + "/200",
            .viaProxy = true,
            .noProxy = "other.example",
            .body = "page",
            .failure = none},
        {.name = "127.0.0.2 direct",
            .url = "http://127.0.0.2:1/x",
            .viaProxy = true,
            .status = 0,
            .failure = DownloadFailure::ConnectionRefused},
        {.name = "::1 direct", .url = "http://[::1]:1/x", .viaProxy = true, .status = 0},
        {.name = "another host proxied",
            .url = "http://0.0.0.0:9/x?a=1%232",
            .viaProxy = true,
            .body = "via proxy",
            .failure = none,
            .proxied = 1},
        {.name = "no_proxy names it",
            .url = "http://0.0.0.0:9/x",
            .viaProxy = true,
            .noProxy = "other.example,0.0.0.0",
            .status = 0,
            .failure = DownloadFailure::ConnectionRefused},
        {.name = "loopback redirected elsewhere",
            .url = url("/away"),
            .viaProxy = true,
            .body = "via proxy",
            .failure = none,
            .proxied = 1},
        {.name = "elsewhere redirected to loopback",
            .url = "http://0.0.0.0:9/back",
            .viaProxy = true,
            .body = "page",
            .failure = none,
            .proxied = 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t proxiedBefore = proxy.requests().size();
        const ProxyEnvironment environment(row.viaProxy ? proxy.baseUrl() : "", row.noProxy);
        std::atomic<bool> cancel {false};
        std::thread canceller;
        if (row.cancelAfter >= 0ms) {
            canceller = std::thread([&] {
                std::this_thread::sleep_for(row.cancelAfter);
                cancel = true;
            });
        }
        const auto started = std::chrono::steady_clock::now();
        const transfer::Result result = m_transfer.get(row.url, row.limits, &cancel);
        const auto took = std::chrono::steady_clock::now() - started;
        if (canceller.joinable())
            canceller.join();

        // Far below the 10 s and more the servers would go on for.
        EXPECT_LT(took, 5s);
        EXPECT_EQ(result.status, row.status);
        if (row.prefix) {
            EXPECT_LT(result.body.size(), row.body.size());
            EXPECT_TRUE(row.body.starts_with(result.body)) << result.body;
        } else {
            EXPECT_EQ(result.body, row.body);
        }
        if (row.failure) {
            EXPECT_EQ(result.failure, *row.failure) << result.error;
        }
        EXPECT_EQ(result.error.empty(), result.failure == DownloadFailure::None) << result.error;
        EXPECT_NE(result.error.find(row.error), std::string::npos) << result.error;
        const std::vector<loopback::Request> proxied = proxy.requests();
        ASSERT_EQ(proxied.size() - proxiedBefore, row.proxied);
        if (row.proxied) {
            const std::string target = proxied.back().target;
            EXPECT_TRUE(target == row.url || target == "http://0.0.0.0:9/moved") << target;
        }
    }
    // The handle carries on after every ending above.
    EXPECT_EQ(m_transfer.get(url("/200"), defaults).body, "page");
}

TEST_F(CurlTransferTest, SendsItsAgentAndNoCacheHeadersAndNothingElse)
{
    serve("/x", loopback::response(200, "x"));
    ASSERT_EQ(m_transfer.get(url("/x"), {}).body, "x");
    const std::vector<loopback::Request> requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const loopback::Request &request = requests.front();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/x");
    EXPECT_EQ(request.header("User-Agent"), "korvalux-test");
    EXPECT_EQ(request.header("Cache-Control"), "no-cache");
    EXPECT_EQ(request.header("Pragma"), "no-cache");
    std::multiset<std::string> names;
    for (const auto &[name, value] : request.headers)
        names.insert(name);
    EXPECT_EQ(names, (std::multiset<std::string> {"Host", "User-Agent", "Cache-Control", "Pragma"}))
        << request.raw;
}

TEST_F(CurlTransferTest, KeepsOneConnectionAliveAcrossGets)
{
    serve("/a", loopback::response(200, "a"));
    serve("/b", loopback::response(404, "b"));
    for (const char *path : {"/a", "/b", "/a"})
        EXPECT_EQ(m_transfer.get(url(path), {}).body, path + 1);
    EXPECT_EQ(m_server.connectionCount(), 1);
}

// Only the system's own "refused" starts the service; libcurl's "could not
// connect" covers unreachable networks too. None of these but refused happens on
// loopback on demand.
TEST(CurlResult, IsClassifiedByCodeAndSystemError)
{
    const struct {
        int code;
        long osErrno;
        DownloadFailure failure;
    } rows[] = {
        {CURLE_OK, 0, DownloadFailure::None},
        {CURLE_COULDNT_CONNECT, ECONNREFUSED, DownloadFailure::ConnectionRefused},
        {CURLE_COULDNT_CONNECT, ENETUNREACH, DownloadFailure::Other},
        {CURLE_COULDNT_CONNECT, EHOSTUNREACH, DownloadFailure::Other},
        {CURLE_COULDNT_CONNECT, ETIMEDOUT, DownloadFailure::Other},
        {CURLE_COULDNT_CONNECT, 0, DownloadFailure::Other},
        {CURLE_OPERATION_TIMEDOUT, ECONNREFUSED, DownloadFailure::TimedOut},
        {CURLE_RECV_ERROR, ECONNRESET, DownloadFailure::Cut},
        {CURLE_COULDNT_RESOLVE_HOST, 0, DownloadFailure::Other},
        {CURLE_SSL_CONNECT_ERROR, 0, DownloadFailure::Other},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(transfer::classifyCurlResult(row.code, row.osErrno), row.failure)
            << row.code << " " << row.osErrno;
    }
}

} // namespace
