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
    serve("/trickledBody", loopback::trickle(head(300), pattern(300)));
    serve("/trickledHead", loopback::trickle("", head(300) + pattern(300)));
    serve("/trickledChunks",
        loopback::trickle(chunkedHead(), loopback::chunk("a") + loopback::chunk(pattern(300))));
    serve("/steady", loopback::trickle(head(12), pattern(12)));
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
    // How a row runs: as it is, cancelled after 300 ms, or with http_proxy naming
    // the proxy above (and no_proxy naming another host and 0.0.0.0).
    enum Run { Plain, Cancel, Proxy, ProxyNoProxy };
    enum Body { Whole, Start }; // all of body, or only a part of it from its start
    using F = DownloadFailure;
    const std::optional<F> any; // a failure depending on the machine
    struct Row {
        const char *name;
        std::string url;
        DownloadLimits limits;
        Run run;
        long status;
        std::string body;
        Body part;
        std::optional<F> failure;
        std::string error; // a part of the error text
        std::size_t proxied = 0; // requests the proxy saw
    };
    const Row rows[] = {
        {"200", url("/200"), defaults, Plain, 200, "page", Whole, F::None, ""},
        {"404 with its body", url("/404"), defaults, Plain, 404, "not here", Whole, F::None, ""},
        {"503 empty", url("/503"), defaults, Plain, 503, "", Whole, F::None, ""},
        {"empty", url("/empty"), defaults, Plain, 200, "", Whole, F::None, ""},
        {"one read", url("/8192"), defaults, Plain, 200, big.substr(0, 8192), Whole, F::None, ""},
        {"many reads", url("/300000"), defaults, Plain, 200, big, Whole, F::None, ""},
        {"chunked", url("/chunked"), defaults, Plain, 200, big.substr(0, 20000), Whole, F::None,
            ""},
        {"ended by a close", url("/close"), defaults, Plain, 200, body, Whole, F::None, ""},
        {"at the cap", url("/cap"), capped, Plain, 200, pattern(1000), Whole, F::None, ""},
        {"over the cap", url("/overCap"), capped, Plain, 200, "", Whole, F::TooLarge,
            "body: larger than 1000 bytes"},
        {"over the cap, chunked", url("/overCapChunked"), capped, Plain, 200, "", Whole,
            F::TooLarge, "body: larger than 1000 bytes"},
        // libcurl's words differ by release ("transfer closed with 600 bytes
        // remaining to read", "end of response with 600 bytes missing").
        {"cut short of its length", url("/cut"), defaults, Plain, 200, body, Whole, F::Cut,
            "600 bytes"},
        {"cut mid-chunk", url("/cutChunk"), defaults, Plain, 200, body + "abc", Whole, F::Cut,
            "body: "},
        {"silent", url("/silent"), stall, Plain, 0, "", Whole, F::TimedOut,
            "receive: nothing for 300 ms"},
        {"stalled after the head", url("/stalledHead"), stall, Plain, 200, "", Whole, F::TimedOut,
            "receive: nothing for 300 ms"},
        {"stalled mid-body", url("/stalledBody"), stall, Plain, 200, body.substr(0, 100), Whole,
            F::TimedOut, "receive: "},
        {"trickled body past the bound", url("/trickledBody"), bound, Plain, 200, pattern(300),
            Start, F::TimedOut, "time-out: "},
        {"trickled head past the bound", url("/trickledHead"), bound, Plain, 0, "", Whole,
            F::TimedOut, "time-out: "},
        {"trickled chunks past the bound", url("/trickledChunks"), bound, Plain, 200,
            "a" + pattern(300), Start, F::TimedOut, "time-out: "},
        // Gaps within the stall limit, a whole longer than it: the stall counts
        // from the last byte, not from the start.
        {"slow but steady", url("/steady"), steady, Plain, 200, pattern(12), Whole, F::None, ""},
        {"never accepted", fullQueue.url(), connect, Plain, 0, "", Whole, F::TimedOut,
            "time-out: "},
        {"refused", refused, defaults, Plain, 0, "", Whole, F::ConnectionRefused, "connect: "},
        {"cancelled mid-body", url("/trickledBody"), defaults, Cancel, 200, pattern(300), Start,
            F::Cancelled, "transfer: cancelled"},
        {"ten redirects", url("/hop1"), defaults, Plain, 200, "arrived", Whole, F::None, ""},
        {"absolute redirect", url("/absolute"), defaults, Plain, 200, "arrived", Whole, F::None,
            ""},
        {"eleven redirects", url("/hop0"), defaults, Plain, 302, "moved", Whole, F::Other,
            "redirect: more than 10"},
        {"redirect to ftp", url("/toFtp"), defaults, Plain, 0, "", Whole, F::Other, "address: "},
        {"not an address", "not an address", defaults, Plain, 0, "", Whole, F::Other, "address: "},
        {"file scheme", "file:///etc/hostname", defaults, Plain, 0, "", Whole, F::Other,
            "address: "},
        // The proxy rule: loopback never through the proxy, on every hop; any
        // other host (0.0.0.0 here, refused on port 9 when asked directly) through it.
        {"127.0.0.1 direct", url("/200"), defaults, Proxy, 200, "page", Whole, F::None, ""},
        {"localhost direct", "http://LocalHost:" + port + "/200", defaults, ProxyNoProxy, 200,
            "page", Whole, F::None, ""},
        {"127.0.0.2 direct", "http://127.0.0.2:1/x", defaults, Proxy, 0, "", Whole,
            F::ConnectionRefused, "connect: "},
        {"::1 direct", "http://[::1]:1/x", defaults, Proxy, 0, "", Whole, any, "connect: "},
        {"another host proxied", "http://0.0.0.0:9/x?a=1%232", defaults, Proxy, 200, "via proxy",
            Whole, F::None, "", 1},
        {"no_proxy names it", "http://0.0.0.0:9/x", defaults, ProxyNoProxy, 0, "", Whole,
            F::ConnectionRefused, "connect: "},
        {"loopback redirected elsewhere", url("/away"), defaults, Proxy, 200, "via proxy", Whole,
            F::None, "", 1},
        {"elsewhere redirected to loopback", "http://0.0.0.0:9/back", defaults, Proxy, 200, "page",
            Whole, F::None, "", 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t proxiedBefore = proxy.requests().size();
        const ProxyEnvironment environment(row.run >= Proxy ? proxy.baseUrl() : "",
            row.run == ProxyNoProxy ? "other.example,0.0.0.0" : nullptr);
        std::atomic<bool> cancel {false};
        std::thread canceller;
        if (row.run == Cancel) {
            canceller = std::thread([&] {
                std::this_thread::sleep_for(300ms);
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
        if (row.part == Start) {
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
